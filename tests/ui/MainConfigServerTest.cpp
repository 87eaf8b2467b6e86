// SPDX-License-Identifier: GPL-3.0-or-later
#include <QCheckBox>
#include <QDir>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPushButton>

#include "foundation/PoolSystem.h"
#include "foundation/Startup.h"
#include "platform/ProgramPaths.h"
#include "replication/Broadcast.h"
#include "replication/HostKey.h"
#include "replication/MasterKey.h"
#include "replication/RemoteCommands.h"
#include "ui/DialogFixture.h"
#include "ui/dialogs/Countdown.h"
#include "ui/dialogs/MainConfigServer.h"

namespace {

class MainConfigServerTest : public TDialogTest
{
protected:
    void SetUp() override
    {
        TDialogTest::SetUp();
        MainConfig().Set(QStringLiteral("ClientInputWaitTimeInSecs"), 30);
        // Folders that do not exist yet, two levels deep.
        MainConfig().Set(QStringLiteral("ServerObjectDir"), Home("data/objects/"));
        MainConfig().Set(QStringLiteral("ServerScriptusDir"), Home("data/scriptus/"));
    }
};

TEST_F(MainConfigServerTest, MakingThisComputerTheMasterServer)
{
    TFormConfigServer dialog;
    dialog.show();
    dialog.ButtonSetMasterServer()->click();
    EXPECT_EQ(dialog.EditServerName()->text(), QStringLiteral("testhost"));
    ASSERT_TRUE(dialog.Confirm());
    dialog.hide();
    EXPECT_TRUE(m_boxes.texts.contains(QStringLiteral("Stellen Sie unbedingt sicher, dass sich nur ein einziger "
                                                      "Master-Server im Netzwerk befindet, und alle Clients auf diesen "
                                                      "verweisen.")));
    EXPECT_TRUE(IsMasterServer());
    EXPECT_FALSE(MainConfig().GetBoolean(QStringLiteral("ClientAutoInstall")));
    EXPECT_FALSE(MainConfig().GetBoolean(QStringLiteral("MiscStartMinimized")));
    EXPECT_TRUE(QDir(Home("data/objects")).exists());
    EXPECT_TRUE(QDir(Home("data/scriptus")).exists());
    EXPECT_TRUE(ReadFile(MainConfig().FileName()).contains("NetServerName=testhost"));
    EXPECT_FALSE(AutostartState(ExecutablePath()).registered);
}

TEST_F(MainConfigServerTest, NamingAnotherComputerMakesThisOneAClientThatStartsWithTheSystem)
{
    MainConfig().Set(QStringLiteral("ClientAutoInstall"), false);
    TFormConfigServer dialog;
    dialog.show();
    dialog.EditServerName()->setText(QStringLiteral(" master01 "));
    ASSERT_TRUE(dialog.Confirm());
    dialog.hide();
    EXPECT_EQ(MainConfig().GetString(QStringLiteral("NetServerName")), QStringLiteral("master01"));
    EXPECT_TRUE(MainConfig().GetBoolean(QStringLiteral("ClientAutoInstall")));
    EXPECT_TRUE(MainConfig().GetBoolean(QStringLiteral("MiscStartMinimized")));
    EXPECT_TRUE(AutostartState(ExecutablePath()).registered);
    EXPECT_FALSE(QDir(Home("data")).exists());

    dialog.EditServerName()->clear();
    EXPECT_FALSE(dialog.Confirm());
    EXPECT_EQ(MainConfig().GetString(QStringLiteral("NetServerName")), QStringLiteral("master01"));
}

TEST_F(MainConfigServerTest, TheCountdownConfirmsTheShownNameUnlessSomeoneTypes)
{
    MainConfig().Set(QStringLiteral("NetServerName"), QStringLiteral("master01"));
    MainConfig().Set(QStringLiteral("ClientInputWaitTimeInSecs"), 1);
    MainConfig().Set(QStringLiteral("MiscStartMinimized"), true);
    TFormConfigServer dialog;
    int minimized = 0;
    dialog.SetMinimizeWindow([&] { ++minimized; });
    dialog.open();
    ASSERT_TRUE(RunEventsUntil([&] { return !dialog.isVisible(); }, 5000));
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_EQ(minimized, 1);
    EXPECT_TRUE(ReadFile(MainConfig().FileName()).contains("NetServerName=master01"));

    // A half-typed name is never confirmed by the clock.
    dialog.open();
    QKeyEvent press(QEvent::KeyPress, Qt::Key_X, Qt::NoModifier, QStringLiteral("x"));
    QApplication::sendEvent(dialog.EditServerName(), &press);
    RunEventsFor(1500);
    EXPECT_TRUE(dialog.isVisible());
    EXPECT_FALSE(dialog.Countdown().IsRunning());
    dialog.reject();
    EXPECT_EQ(MainConfig().GetString(QStringLiteral("NetServerName")), QStringLiteral("master01"));
}

TEST_F(MainConfigServerTest, ANameSetFromTheNetworkWhileOpenIsNotOverwritten)
{
    MainConfig().Set(QStringLiteral("NetServerName"), QStringLiteral("master01"));
    TFormConfigServer dialog;
    dialog.open();
    dialog.EditServerName()->setText(QStringLiteral("master0"));
    dialog.ServerNameChanged(); // the port changed, say: a half-typed name stays
    EXPECT_EQ(dialog.EditServerName()->text(), QStringLiteral("master0"));
    ASSERT_TRUE(SetMasterServerName(QStringLiteral("master02")));
    dialog.ServerNameChanged();
    dialog.accept();
    EXPECT_EQ(MainConfig().GetString(QStringLiteral("NetServerName")), QStringLiteral("master02"));
}

TEST_F(MainConfigServerTest, UserFieldsAreHiddenButCarried)
{
    MainConfig().Set(QStringLiteral("ClientUsername"), QStringLiteral("anna"));
    MainConfig().Set(QStringLiteral("ClientAnonymousLogin"), false);
    TFormConfigServer dialog;
    dialog.show();
    EXPECT_FALSE(dialog.EditClientUsername()->isVisible());
    EXPECT_FALSE(dialog.CheckBoxAnonymousLogin()->isVisible());
    EXPECT_FALSE(dialog.CheckBoxAnonymousLogin()->isEnabled());
    EXPECT_EQ(dialog.EditClientUsername()->text(), QStringLiteral("anna"));
    EXPECT_EQ(dialog.EditClientPassword()->echoMode(), QLineEdit::Password);
    EXPECT_EQ(dialog.windowTitle(), QStringLiteral("Plenwick - Verbindungsdaten konfigurieren"));
    dialog.EditServerName()->setText(QStringLiteral("master01"));
    ASSERT_TRUE(dialog.Confirm());
    dialog.hide();
    EXPECT_EQ(MainConfig().GetString(QStringLiteral("ClientUsername")), QStringLiteral("anna"));
}

TEST_F(MainConfigServerTest, AFolderThatCannotBeCreatedIsNamed)
{
    WriteFile(Home("blocker"), "a file, not a folder");
    MainConfig().Set(QStringLiteral("ServerObjectDir"), Home("blocker/objects/"));
    TFormConfigServer dialog;
    dialog.EditServerName()->setText(QStringLiteral("TESTHOST"));
    EXPECT_TRUE(dialog.Confirm());
    EXPECT_EQ(
        m_boxes.texts,
        QStringList{QStringLiteral("Der Ordner \"%1\" konnte nicht erstellt werden.").arg(Home("blocker/objects/"))});
    EXPECT_TRUE(QDir(Home("data/scriptus")).exists());
}

} // namespace

namespace {

TEST_F(MainConfigServerTest, OpensByItselfOnlyAtTheFirstStartAfterTheQuietSearch)
{
    QStringList sent;
    SetDatagramSender(
        [&](const QByteArray& datagram, const QString& /*address*/) { sent << QString::fromUtf8(datagram); });
    TFormConfigServer dialog;
    RunMainWindowCreation(); // the lists are being read now
    dialog.RunFirstStart();  // no NetServerName in the options file
    EXPECT_TRUE(dialog.isVisible());
    EXPECT_TRUE(sent.isEmpty()) << "the answer would come to listeners not yet started";
    ASSERT_TRUE(RunEventsUntil([] { return ListsRead(); }));
    EXPECT_EQ(sent, QStringList{QStringLiteral("QUERYSERVER")});
    dialog.reject();

    WriteFile(MainConfig().FileName(), "[Options]\r\nNetServerName=master01\r\n");
    Restart();
    sent.clear();
    dialog.RunFirstStart();
    EXPECT_FALSE(dialog.isVisible());
    EXPECT_TRUE(sent.isEmpty());
    SetDatagramSender({});
}

} // namespace

namespace {

// The pinned key is shown, and clearing it takes effect with OK only.
TEST_F(MainConfigServerTest, ThePinnedMasterKeyIsShownAndClearedWithOk)
{
    const QString pinned = NormalizedFingerprint(QString(64, QLatin1Char('c')));
    PinMasterKey(pinned);
    TFormConfigServer dialog;
    dialog.show();
    EXPECT_EQ(dialog.EditServerKey()->text(), pinned);
    EXPECT_EQ(dialog.findChild<QLineEdit*>(QStringLiteral("EditOwnKey"))->text(), OwnIdentity()->Fingerprint());
    ASSERT_TRUE(dialog.ButtonClearServerKey()->isEnabled());
    dialog.ButtonClearServerKey()->click();
    EXPECT_TRUE(dialog.EditServerKey()->text().isEmpty());
    EXPECT_FALSE(dialog.ButtonClearServerKey()->isEnabled());
    EXPECT_EQ(PinnedMasterKey(), pinned); // not before OK
    dialog.EditServerName()->setText(QStringLiteral("master01"));
    ASSERT_TRUE(dialog.Confirm());
    dialog.hide();
    EXPECT_TRUE(PinnedMasterKey().isEmpty());

    // Naming another master clears the pin as well; the same name keeps it.
    PinMasterKey(pinned);
    dialog.show();
    ASSERT_TRUE(dialog.Confirm());
    EXPECT_EQ(PinnedMasterKey(), pinned);
    dialog.EditServerName()->setText(QStringLiteral("master02"));
    ASSERT_TRUE(dialog.Confirm());
    dialog.hide();
    EXPECT_TRUE(PinnedMasterKey().isEmpty());
}

} // namespace
