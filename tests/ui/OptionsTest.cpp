// SPDX-License-Identifier: GPL-3.0-or-later
#include <QCheckBox>
#include <QFile>
#include <QLineEdit>
#include <QTabWidget>

#include "foundation/PoolSystem.h"
#include "platform/ProgramPaths.h"
#include "ui/DialogFixture.h"
#include "ui/dialogs/Options.h"

namespace {

class OptionsTest : public TDialogTest
{
protected:
    QString OptionsFile() const { return MainConfig().FileName(); }
    static void Type(TPagesDlgOptions& dialog, const char* edit, const QString& text)
    {
        dialog.Edit(QLatin1String(edit))->setText(text);
    }
};

TEST_F(OptionsTest, UnitsConvertBetweenStoredAndShown)
{
    MainConfig().Set(QStringLiteral("ScriptusTimeout"), 180000);
    MainConfig().Set(QStringLiteral("ClientUpdateIntervalInMillisecs"), 1800000);
    TPagesDlgOptions dialog;
    dialog.Fill();
    EXPECT_EQ(dialog.Edit(QStringLiteral("EditScriptusTimeout"))->text(), QStringLiteral("180"));
    EXPECT_EQ(dialog.Edit(QStringLiteral("EditClientUpdateInterval"))->text(), QStringLiteral("30"));

    Type(dialog, "EditClientUpdateInterval", QStringLiteral("5"));
    Type(dialog, "EditScriptusTimeout", QStringLiteral("7"));
    ASSERT_TRUE(dialog.Store());
    EXPECT_EQ(MainConfig().GetInteger(QStringLiteral("ClientUpdateIntervalInMillisecs")), 300000);
    EXPECT_EQ(MainConfig().GetInteger(QStringLiteral("ScriptusTimeout")), 7000);
    EXPECT_TRUE(ReadFile(OptionsFile()).contains("ClientUpdateIntervalInMillisecs=300000"));

    // A value the shown unit cannot express survives an OK that did not touch it.
    MainConfig().Set(QStringLiteral("ClientUpdateIntervalInMillisecs"), 90000);
    MainConfig().Set(QStringLiteral("ScriptusTimeout"), 1500);
    dialog.Fill();
    ASSERT_TRUE(dialog.Store());
    EXPECT_EQ(MainConfig().GetInteger(QStringLiteral("ClientUpdateIntervalInMillisecs")), 90000);
    EXPECT_EQ(MainConfig().GetInteger(QStringLiteral("ScriptusTimeout")), 1500);
}

TEST_F(OptionsTest, ALetterInThePortStoresTheOtherPagesButSavesNothing)
{
    MainConfig().SaveAll();
    const QByteArray before = ReadFile(OptionsFile());
    TPagesDlgOptions dialog;
    dialog.Fill();
    Type(dialog, "EditClientInputWaitTime", QStringLiteral("45"));
    dialog.Check(QStringLiteral("CheckBoxEncodeData"))->setChecked(true);
    Type(dialog, "EditServer", QStringLiteral("master07"));
    Type(dialog, "EditServerPort", QStringLiteral("42x24"));
    Type(dialog, "EditScriptusTimeout", QStringLiteral("9"));
    dialog.Check(QStringLiteral("CheckBoxActivateSounds"))->setChecked(true);

    EXPECT_FALSE(dialog.Store());
    EXPECT_EQ(m_boxes.texts, QStringList{QStringLiteral(
                                 "Es wurden keine gültigen Daten in die Registerkarte \"Netzwerk\" eingetragen.")});
    TConfig& c = MainConfig();
    EXPECT_EQ(c.GetInteger(QStringLiteral("ClientInputWaitTimeInSecs")), 45);
    EXPECT_TRUE(c.GetBoolean(QStringLiteral("ServerEncodeData")));
    EXPECT_EQ(c.GetInteger(QStringLiteral("ScriptusTimeout")), 9000);
    EXPECT_TRUE(c.GetBoolean(QStringLiteral("MiscActivateSounds")));
    // Nothing of the failed page, not even the name before the bad port.
    EXPECT_EQ(c.GetString(QStringLiteral("NetServerName")), QStringLiteral("testhost"));
    EXPECT_EQ(c.GetInteger(QStringLiteral("NetServerPort")), 42424);
    EXPECT_EQ(ReadFile(OptionsFile()), before);
}

TEST_F(OptionsTest, NumbersOutOfRangeAreRefusedPageByPage)
{
    TPagesDlgOptions dialog;
    const struct {
        const char* edit;
        const char* text;
        const char* page;
    } cases[] = {
        {"EditServerPort", "0", "Netzwerk"},
        {"EditServerPort", "65536", "Netzwerk"},
        {"EditGeneralTimeout", "-1", "Netzwerk"},
        {"EditMaxSessions", "0", "Netzwerk"},
        {"EditMaxSessionsPerAddress", "", "Netzwerk"},
        {"EditClientUpdateInterval", "-5", "Client"},
        {"EditClientUpdateInterval", "99999999", "Client"},
        {"EditScriptusTimeout", "3000000", "Skriptus"},
        {"EditClientInputWaitTime", "", "Client"},
    };
    for (const auto& bad : cases) {
        dialog.Fill();
        m_boxes.texts.clear();
        Type(dialog, bad.edit, QLatin1String(bad.text));
        EXPECT_FALSE(dialog.Store()) << bad.edit << " " << bad.text;
        EXPECT_EQ(m_boxes.texts,
                  QStringList{QStringLiteral("Es wurden keine gültigen Daten in die Registerkarte \"%1\" "
                                             "eingetragen.")
                                  .arg(QLatin1String(bad.page))})
            << bad.edit << " " << bad.text;
    }
    EXPECT_EQ(MainConfig().GetInteger(QStringLiteral("NetServerPort")), 42424);
    EXPECT_EQ(MainConfig().GetInteger(QStringLiteral("ClientUpdateIntervalInMillisecs")), 1800000);
}

TEST_F(OptionsTest, ServerPageAndFolderFieldsOnlyOnTheMasterServer)
{
    TPagesDlgOptions dialog;
    dialog.Fill(); // no NetServerName: this computer counts as the master server
    EXPECT_TRUE(dialog.Pages()->isTabVisible(1));
    EXPECT_FALSE(dialog.Edit(QStringLiteral("EditObjectDir"))->isReadOnly());

    BecomeClient();
    dialog.Fill();
    EXPECT_FALSE(dialog.Pages()->isTabVisible(1));
    EXPECT_TRUE(dialog.Edit(QStringLiteral("EditObjectDir"))->isReadOnly());
    EXPECT_TRUE(dialog.Edit(QStringLiteral("EditScriptusDir"))->isReadOnly());
    EXPECT_FALSE(dialog.Check(QStringLiteral("CheckBoxAllowAnonymousUsers"))->isEnabled());
    EXPECT_FALSE(dialog.Edit(QStringLiteral("EditScriptusRetries"))->isEnabled());
    EXPECT_EQ(dialog.Edit(QStringLiteral("EditAdminAccountPassword"))->echoMode(), QLineEdit::Password);

    dialog.Check(QStringLiteral("CheckBoxClientAutoInstall"))->setChecked(true);
    dialog.Check(QStringLiteral("CheckBoxClientAutoInstall"))->click();
    EXPECT_FALSE(dialog.Edit(QStringLiteral("EditClientUpdateInterval"))->isEnabled());
    EXPECT_FALSE(dialog.Check(QStringLiteral("CheckBoxClientSilentInstall"))->isEnabled());
}

TEST_F(OptionsTest, EditsSurviveReactivationAndShowingRereadsTheStore)
{
    TPagesDlgOptions dialog;
    dialog.show();
    Type(dialog, "EditServer", QStringLiteral("typed"));
    QEvent activate(QEvent::WindowActivate);
    QApplication::sendEvent(&dialog, &activate);
    EXPECT_EQ(dialog.Edit(QStringLiteral("EditServer"))->text(), QStringLiteral("typed"));
    dialog.hide();
    MainConfig().Set(QStringLiteral("NetServerName"), QStringLiteral("stored"));
    dialog.show();
    EXPECT_EQ(dialog.Edit(QStringLiteral("EditServer"))->text(), QStringLiteral("stored"));
    dialog.hide();
}

TEST_F(OptionsTest, AutostartBoxRegistersAndRemovesTheStartWithTheSession)
{
    TPagesDlgOptions dialog;
    dialog.Fill();
    EXPECT_FALSE(dialog.Check(QStringLiteral("CheckBoxAutostart"))->isChecked());
    dialog.Check(QStringLiteral("CheckBoxAutostart"))->setChecked(true);
    ASSERT_TRUE(dialog.Store());
    EXPECT_TRUE(AutostartState(ExecutablePath()).registered);

    dialog.Fill();
    EXPECT_TRUE(dialog.Check(QStringLiteral("CheckBoxAutostart"))->isChecked());
    dialog.Check(QStringLiteral("CheckBoxAutostart"))->setChecked(false);
    ASSERT_TRUE(dialog.Store());
    EXPECT_FALSE(AutostartState(ExecutablePath()).registered);
}

TEST_F(OptionsTest, OkWithNothingChangedRebuildsNothing)
{
    TPagesDlgOptions dialog;
    dialog.Fill();
    ASSERT_TRUE(dialog.Store());
    EXPECT_EQ(m_ui.objectViewRebuilds, 0);
    EXPECT_TRUE(m_ui.windowCalls.filter("SetProtocolPageVisible").isEmpty());

    dialog.Fill();
    dialog.Check(QStringLiteral("CheckBoxShowNonPersistent"))->setChecked(true);
    ASSERT_TRUE(dialog.Store());
    EXPECT_EQ(m_ui.objectViewRebuilds, 1);
    dialog.Fill();
    ASSERT_TRUE(dialog.Store());
    EXPECT_EQ(m_ui.objectViewRebuilds, 1);
}

// The session bounds are the administrator's; a new master name drops the
// pinned key of the old one.
TEST_F(OptionsTest, SessionBoundsAreStoredAndANewMasterNameClearsThePinnedKey)
{
    MainConfig().Set(QStringLiteral("NetServerKey"), QString(64, QLatin1Char('a')));
    TPagesDlgOptions dialog;
    dialog.Fill();
    EXPECT_EQ(dialog.Edit(QStringLiteral("EditMaxSessions"))->text(), QStringLiteral("512"));
    Type(dialog, "EditMaxSessions", QStringLiteral("2000"));
    Type(dialog, "EditMaxSessionsPerAddress", QStringLiteral("3"));
    ASSERT_TRUE(dialog.Store());
    EXPECT_EQ(MainConfig().GetInteger(QStringLiteral("NetMaxSessions")), 2000);
    EXPECT_EQ(MainConfig().GetInteger(QStringLiteral("NetMaxSessionsPerAddress")), 3);
    EXPECT_FALSE(MainConfig().GetString(QStringLiteral("NetServerKey")).isEmpty());

    Type(dialog, "EditServer", QStringLiteral("master02"));
    ASSERT_TRUE(dialog.Store());
    EXPECT_TRUE(MainConfig().GetString(QStringLiteral("NetServerKey")).isEmpty());
}

} // namespace
