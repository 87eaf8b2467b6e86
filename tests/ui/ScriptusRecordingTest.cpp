// SPDX-License-Identifier: GPL-3.0-or-later
// Recording against the Qt test program on a private desktop, with the real
// hooks library; xdotool moves the pointer and presses keys from outside.
#include <cstdlib>

#include <gtest/gtest.h>

#include <QAction>
#include <QLabel>
#include <QMenu>
#include <QTreeView>

#include "foundation/MainConfig.h"
#include "platform/DesktopAutomation.h"
#include "scriptus/Hooks.h"
#include "scriptus/ScriptusBase.h"
#include "scriptus/SyncControl.h"
#include "support/DesktopSession.h"
#include "support/TestHome.h"
#include "ui/main/Main.h"
#include "ui/pages/PageScriptus.h"
#include "ui/views/MainViews.h"

namespace {

class ScriptusRecordingTest : public TTestHome
{
protected:
    void SetUp() override
    {
        TTestHome::SetUp();
        ASSERT_TRUE(m_desktop.Start()) << m_desktop.Error();
        TDesktopSession::TProgram* probe = m_desktop.Launch({SCRIPTUS_QT_PROBE, "--title=Aufnahme"});
        ASSERT_FALSE(TDesktopSession::WaitForLine(*probe, "ready").empty());
        m_probe = probe;
        MainConfig().Set(QStringLiteral("NetServerName"), QStringLiteral("testhost"));
        m_form = std::make_unique<TFormMain>();
        new TMainViews(*m_form); // owned by the form
        m_form->ShowPage(TPage::Scriptus);
        ReadControlList();
        m_form->ViewHooks().rebuildControlTree();
        ASSERT_TRUE(LoadHooks(QStringLiteral(PLENWICK_HOOKS_LIBRARY)));
        InstallMessageHook();
        ScriptusSequence().Clear();
        RecordingTemplate() = TScriptus();
        SetRecordingHeld(false);
    }
    void TearDown() override
    {
        UnloadHooks();
        m_form.reset();
        FreeControlList();
        TTestHome::TearDown();
    }

    // The centre of the probe's button "Weiter" on the screen.
    QPoint ButtonCentre()
    {
        TReadGuard guard(ControlListLock());
        for (TSyncControl* c = FirstControl(); c; c = NextControl(c)) {
            if (c->NameElement() == QStringLiteral("Weiter") && c->ClassName() == QStringLiteral("push button"))
                return DesktopAutomation::Rectangle(c->Handle()).center();
        }
        return {};
    }

    static void Drive(const QString& arguments)
    {
        ASSERT_EQ(std::system(("xdotool " + arguments).toUtf8().constData()), 0);
    }

    QString Info(int row) const { return m_form->PageScriptus()->InfoLabel(row)->text(); }

    TDesktopSession m_desktop;
    TDesktopSession::TProgram* m_probe = nullptr;
    std::unique_ptr<TFormMain> m_form;
};

} // namespace

TEST_F(ScriptusRecordingTest, MovingOverAControlShowsItAndPauseHoldsThePanel)
{
    ASSERT_EQ(m_form->ActivePage(), TPage::Scriptus);
    const QPoint button = ButtonCentre();
    ASSERT_FALSE(button.isNull());
    Drive(QStringLiteral("mousemove %1 %2").arg(button.x()).arg(button.y()));
    ASSERT_TRUE(RunEventsUntil([&] { return Info(2) == QStringLiteral("push button"); })) << Info(2).toStdString();
    EXPECT_TRUE(Info(1).startsWith(QStringLiteral("Weiter (in \""))) << Info(1).toStdString();
    EXPECT_TRUE(RecordingTemplate().HasPosition);
    EXPECT_EQ(Info(3), QStringLiteral("%1,%2").arg(RecordingTemplate().X).arg(RecordingTemplate().Y));
    // The control's node is selected in the tree.
    EXPECT_EQ(m_form->PageScriptus()->Tree()->currentIndex().data().toString(), QStringLiteral("Weiter [push button]"));

    Drive(QStringLiteral("key Pause"));
    ASSERT_TRUE(RunEventsUntil([&] { return RecordingHeld(); }));
    EXPECT_TRUE(m_form->Actions().ScriptusTreeMenu()->isVisible());
    EXPECT_TRUE(m_form->PageScriptus()->ControlPanel()->autoFillBackground());
    m_form->Actions().ScriptusTreeMenu()->hide();
    // Held: the panel keeps its control while the pointer moves on.
    Drive(QStringLiteral("mousemove 1200 1000 key Pause"));
    ASSERT_TRUE(RunEventsUntil([&] { return !RecordingHeld(); }));
    EXPECT_EQ(Info(2), QStringLiteral("push button"));
    EXPECT_FALSE(m_form->PageScriptus()->ControlPanel()->autoFillBackground());
}

TEST_F(ScriptusRecordingTest, AllMessagesAppendsClicksAndKeyPressesOnly)
{
    const QPoint button = ButtonCentre();
    ASSERT_FALSE(button.isNull());
    Drive(QStringLiteral("mousemove %1 %2").arg(button.x()).arg(button.y()));
    ASSERT_TRUE(RunEventsUntil([&] { return Info(2) == QStringLiteral("push button"); }));
    m_form->Actions().ScriptusLogAll->setChecked(true);
    Drive(QStringLiteral("click 1 key a"));
    ASSERT_TRUE(RunEventsUntil([&] { return ScriptusSequence().rowCount() >= 2; }));
    RunEventsFor(300);
    ASSERT_EQ(ScriptusSequence().rowCount(), 2); // the key's release is never recorded
    const TScriptus& click = ScriptusSequence().Row(0).Command;
    EXPECT_EQ(click.Kind, ClickLeft);
    EXPECT_TRUE(click.ControlPath.contains(QStringLiteral("Weiter"))) << click.ControlPath.toStdString();
    const TScriptus& key = ScriptusSequence().Row(1).Command;
    EXPECT_EQ(key.Kind, KeyDown);
    EXPECT_EQ(key.X, 0x41);
    EXPECT_EQ(key.Y, 0x001e0001);
    EXPECT_TRUE(key.ControlPath.isEmpty());
    EXPECT_FALSE(TDesktopSession::WaitForLine(*m_probe, "click Weiter").empty());
}
