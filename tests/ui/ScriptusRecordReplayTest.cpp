// SPDX-License-Identifier: GPL-3.0-or-later
// A script recorded by pointing at and clicking into the Qt test program on a
// private desktop, with the real hooks library and xdotool driving pointer and
// keys from outside, saved, and replayed by the program's command line
// against a fresh start of the test program.
#include <cstdlib>
#include <functional>
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
#include "ui/pages/StatusPanels.h"

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

    // The window as the program makes it: shown, active, and the window of
    // the core's calls, so the list's read builds the control tree; the
    // Scriptus page in front and the hooks library loaded.
    void StartRecording()
    {
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
    }

    // The accessibility library of this process keeps to the first desktop.
    static TDesktopSession& Desktop() { return TDesktopSession::Shared(); }

    std::unique_ptr<TGuiUi> m_gui;
};

} // namespace

TEST_F(ScriptusRecordReplayTest, ARecordedScriptDoesTheSameAgainAgainstAFreshStart)
{
    TDesktopSession::TProgram* probe = StartProbe();
    ASSERT_NO_FATAL_FAILURE(StartRecording());
    TFormMain& form = m_gui->Form();

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

TEST_F(ScriptusRecordReplayTest, AControlMadeAfterItsWindowWasReadAndARetitledWindowAreReadAgain)
{
    TDesktopSession::TProgram* probe = Desktop().Launch({SCRIPTUS_QT_PROBE, "--wizard", "--title=Assistent"});
    ASSERT_FALSE(TDesktopSession::WaitForLine(*probe, "ready").empty());
    ASSERT_NO_FATAL_FAILURE(StartRecording());
    TFormMain& form = m_gui->Form();
    // The pointer wanders a pixel to and fro, so the look-up is asked again.
    auto pointAt = [](QPoint point, const std::function<bool()>& shown) {
        int step = 0;
        return RunEventsUntil([&] {
            Drive(QStringLiteral("mousemove %1 %2").arg(point.x() + (step++ % 2)).arg(point.y()));
            RunEventsFor(100);
            return shown();
        });
    };

    // The window is known, its new control not: the window must not be taken.
    const QPoint more = CentreOf(QStringLiteral("Mehr"), QStringLiteral("push button"));
    ASSERT_FALSE(more.isNull());
    Drive(QStringLiteral("mousemove %1 %2 click 1").arg(more.x()).arg(more.y()));
    const std::string made = TDesktopSession::WaitForLine(*probe, "made");
    ASSERT_FALSE(made.empty());
    const QStringList centre = QString::fromStdString(made).split(QLatin1Char(' '));
    EXPECT_TRUE(pointAt(QPoint(centre.value(1).toInt(), centre.value(2).toInt()), [] {
        return RecordingTemplate().Title == QStringLiteral("Später");
    })) << RecordingTemplate().Title.toStdString();

    // Retitled after the read: the path shown carries the new title.
    const QPoint retitle = CentreOf(QStringLiteral("Umbenennen"), QStringLiteral("push button"));
    Drive(QStringLiteral("mousemove %1 %2 click 1").arg(retitle.x()).arg(retitle.y()));
    ASSERT_FALSE(TDesktopSession::WaitForLine(*probe, "retitled").empty());
    EXPECT_TRUE(pointAt(CentreOf(QStringLiteral("Neu"), QStringLiteral("push button")), [&] {
        const QString path = form.PageScriptus()->Status()->Text(0);
        return path.contains(QStringLiteral("\\Seite 2 [")) && path.endsWith(QStringLiteral("\\Neu [push button]"));
    })) << form.PageScriptus()->Status()->Text(0).toStdString();
    Desktop().End(probe);
}
