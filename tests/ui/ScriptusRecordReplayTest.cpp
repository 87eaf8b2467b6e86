// SPDX-License-Identifier: GPL-3.0-or-later
// A script recorded by pointing at and clicking into the Qt test program on a
// private desktop, with the real hooks library and xdotool driving pointer and
// keys from outside, saved, and replayed by the program's command line
// against a fresh start of the test program.
#include <cstdlib>
#include <memory>

#include <gtest/gtest.h>

#include <QAction>
#include <QLabel>
#include <QProcess>
#include <QTest>

#include "foundation/MainConfig.h"
#include "foundation/UiAdapter.h"
#include "platform/DesktopAutomation.h"
#include "scriptus/Hooks.h"
#include "scriptus/ScriptusBase.h"
#include "scriptus/SyncControl.h"
#include "support/DesktopSession.h"
#include "support/TestHome.h"
#include "ui/main/GuiUi.h"
#include "ui/main/Main.h"
#include "ui/pages/PageScriptus.h"

namespace {

class ScriptusRecordReplayTest : public TTestHome
{
protected:
    void SetUp() override
    {
        TTestHome::SetUp();
        ASSERT_TRUE(Desktop().Start()) << Desktop().Error();
        MainConfig().Set(QStringLiteral("NetServerName"), QStringLiteral("testhost"));
        ScriptusSequence().Clear();
        ScriptusEvents().Clear();
        RecordingTemplate() = TScriptus();
        SetRecordingHeld(false);
    }
    void TearDown() override
    {
        UnloadHooks();
        TUiAdapter::Install(&m_ui);
        m_gui.reset();
        FreeControlList();
        ScriptusSequence().Clear();
        TTestHome::TearDown();
    }

    TDesktopSession::TProgram* StartProbe()
    {
        TDesktopSession::TProgram* probe = Desktop().Launch({SCRIPTUS_QT_PROBE, "--title=Aufzeichnung"});
        EXPECT_FALSE(TDesktopSession::WaitForLine(*probe, "ready").empty());
        return probe;
    }

    static QPoint CentreOf(const QString& name, const QString& className)
    {
        TReadGuard guard(ControlListLock());
        for (TSyncControl* c = FirstControl(); c; c = NextControl(c))
            if (c->NameElement() == name && c->ClassName() == className)
                return DesktopAutomation::Rectangle(c->Handle()).center();
        return {};
    }

    static void Drive(const QString& arguments)
    {
        ASSERT_EQ(std::system(("xdotool " + arguments).toUtf8().constData()), 0);
    }

    // The accessibility library of this process keeps to the first desktop.
    static TDesktopSession& Desktop() { return TDesktopSession::Shared(); }

    std::unique_ptr<TGuiUi> m_gui;
};

} // namespace

TEST_F(ScriptusRecordReplayTest, ARecordedScriptDoesTheSameAgainAgainstAFreshStart)
{
    TDesktopSession::TProgram* probe = StartProbe();
    // The window as the program makes it: shown, active, and the window of
    // the core's calls, so the list's read builds the control tree.
    m_gui = std::make_unique<TGuiUi>();
    TUiAdapter::Install(m_gui.get());
    TFormMain& form = m_gui->Form();
    form.show();
    form.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&form));
    form.ShowPage(TPage::Scriptus);
    RebuildControlList();
    ASSERT_TRUE(LoadHooks(QStringLiteral(PLENWICK_HOOKS_LIBRARY)));
    InstallMessageHook();

    // Point at the button until recording shows it, then record a click on
    // it and a key press with "Alle Nachrichten protokollieren".
    const QPoint button = CentreOf(QStringLiteral("Weiter"), QStringLiteral("push button"));
    ASSERT_FALSE(button.isNull());
    Drive(QStringLiteral("mousemove %1 %2").arg(button.x()).arg(button.y()));
    ASSERT_TRUE(RunEventsUntil([] {
        return RecordingTemplate().HasPosition && RecordingTemplate().ClassName == QStringLiteral("push button");
    }));
    // The panel shows it too, also after the first movement gave the tree the focus.
    EXPECT_EQ(form.PageScriptus()->InfoLabel(2)->text(), QStringLiteral("push button"));
    form.Actions().ScriptusLogAll->setChecked(true);
    Drive(QStringLiteral("click 1 key a"));
    ASSERT_TRUE(RunEventsUntil([] { return ScriptusSequence().rowCount() >= 2; }));
    EXPECT_FALSE(TDesktopSession::WaitForLine(*probe, "click Weiter").empty());
    EXPECT_FALSE(TDesktopSession::WaitForLine(*probe, "key 65").empty());
    RunEventsFor(200);
    ASSERT_EQ(ScriptusSequence().rowCount(), 2);
    EXPECT_EQ(ScriptusSequence().Row(0).Command.Kind, ClickLeft);
    EXPECT_TRUE(ScriptusSequence().Row(0).Command.ControlPath.endsWith(QStringLiteral("\\Weiter [push button]")))
        << ScriptusSequence().Row(0).Command.ControlPath.toStdString();
    EXPECT_EQ(ScriptusSequence().Row(1).Command.Kind, KeyDown);

    const QString file = Home(QStringLiteral("aufgezeichnet.scriptus"));
    SaveCommandFile(file);
    UnloadHooks();
    Desktop().End(probe);

    TDesktopSession::TProgram* fresh = StartProbe();
    QProcess replay;
    replay.setProcessChannelMode(QProcess::MergedChannels);
    replay.start(QStringLiteral(PLENWICK_BINARY), {QStringLiteral("/SCRIPTUS=") + file});
    ASSERT_TRUE(replay.waitForFinished(60000));
    const QString protocol = QString::fromUtf8(replay.readAll());
    EXPECT_EQ(replay.exitCode(), 0) << protocol.toStdString();
    EXPECT_TRUE(protocol.contains(QStringLiteral("2. Skriptzeile wurde ausgeführt"))) << protocol.toStdString();
    EXPECT_FALSE(TDesktopSession::WaitForLine(*fresh, "click Weiter").empty());
    EXPECT_FALSE(TDesktopSession::WaitForLine(*fresh, "key 65").empty());
}
