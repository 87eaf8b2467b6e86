// SPDX-License-Identifier: GPL-3.0-or-later
#include <csignal>

#include <gtest/gtest.h>

#include <QAction>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QSystemTrayIcon>

#include "foundation/PoolServices.h"
#include "foundation/ServiceMode.h"
#include "support/TestHome.h"
#include "ui/dialogs/MainService.h"

TEST(ServiceActionStates, FollowInstalledRunningAndWhoAsks)
{
    // start, stop, install, uninstall
    EXPECT_EQ(ServiceActionStates(false, false, true), (TServiceActionStates{false, false, true, false}));
    EXPECT_EQ(ServiceActionStates(true, false, true), (TServiceActionStates{true, false, false, true}));
    EXPECT_EQ(ServiceActionStates(true, true, true), (TServiceActionStates{false, true, false, false}));
    // The service itself neither starts nor stops itself.
    EXPECT_EQ(ServiceActionStates(true, true, false), (TServiceActionStates{false, false, false, false}));
    EXPECT_EQ(ServiceActionStates(true, false, false), (TServiceActionStates{false, false, false, true}));
}

namespace {

// The monitor window against the stand-in systemctl, whose "service" is a
// sleeping shell.
class MainServiceTest : public TTestHome
{
protected:
    void SetUp() override
    {
        TTestHome::SetUp();
        qputenv("PLENWICK_SYSTEMCTL", PLENWICK_SYSTEMCTL_STANDIN);
        m_form = std::make_unique<TFormMainService>();
        m_form->warn = [this](const QString& text) { m_warnings.append(text); };
        m_form->ask = [this](const QString& question) {
            m_questions.append(question);
            return m_answer;
        };
        QObject::connect(m_form.get(), &TFormMainService::StateApplied, [this] { ++m_applied; });
    }
    void TearDown() override
    {
        if (const QByteArray pid = ReadFile(Dir() + "main.pid").trimmed(); !pid.isEmpty())
            ::kill(pid.toInt(), SIGKILL);
        m_form.reset();
        TTestHome::TearDown();
    }
    QString Dir() const { return m_dir.path() + "/systemd/"; }
    void InstallSleeper() { WriteFile(Dir() + "plenwick.service", "ExecStart=/bin/sleep 60\nWorkingDirectory=/\n"); }

    QPushButton* Button(const char* name) { return m_form->findChild<QPushButton*>(name); }
    QAction* Entry(const QString& caption)
    {
        for (QAction* action : m_form->findChild<QMenu*>("PopupMenuTray")->actions())
            if (action->text() == caption)
                return action;
        return nullptr;
    }
    // start, stop, install, uninstall as the buttons show them; the menu must agree.
    TServiceActionStates Shown()
    {
        const TServiceActionStates buttons{Button("ButtonStart")->isEnabled(), Button("ButtonStop")->isEnabled(),
                                           Button("ButtonInstall")->isEnabled(),
                                           Button("ButtonUninstall")->isEnabled()};
        const TServiceActionStates menu{
            Entry("Systemdienst starten")->isEnabled(), Entry("Systemdienst stoppen")->isEnabled(),
            Entry("Systemdienst installieren")->isEnabled(), Entry("Systemdienst deinstallieren")->isEnabled()};
        EXPECT_EQ(buttons, menu);
        return buttons;
    }
    QString State() { return m_form->findChild<QLabel*>("LabelState")->text(); }
    // Clicks and waits until the action and the refresh after it are done.
    void Click(const char* name)
    {
        const int before = m_applied;
        Button(name)->click();
        EXPECT_TRUE(m_form->Busy());
        EXPECT_EQ(Shown(), TServiceActionStates{});
        ASSERT_TRUE(RunEventsUntil([&] { return !m_form->Busy() && m_applied > before; }, 30000));
    }
    void Refresh()
    {
        const int before = m_applied;
        m_form->Refresh();
        ASSERT_TRUE(RunEventsUntil([&] { return m_applied > before; }));
    }

    std::unique_ptr<TFormMainService> m_form;
    QStringList m_warnings;
    QStringList m_questions;
    bool m_answer = false;
    int m_applied = 0;
};

} // namespace

TEST_F(MainServiceTest, ButtonsAndMenuFollowTheServiceThroughStartAndStop)
{
    EXPECT_EQ(m_form->windowTitle(), "Plenwick-Monitor");
    InstallSleeper();
    Refresh();
    EXPECT_EQ(Shown(), (TServiceActionStates{true, false, false, true}));
    EXPECT_EQ(State(), "Zustand: gestoppt");

    Click("ButtonStart");
    EXPECT_EQ(Shown(), (TServiceActionStates{false, true, false, false}));
    EXPECT_EQ(State(), "Zustand: läuft");

    Click("ButtonStop");
    EXPECT_EQ(Shown(), (TServiceActionStates{true, false, false, true}));
    EXPECT_TRUE(m_warnings.isEmpty()) << m_warnings.join('\n').toStdString();
}

TEST_F(MainServiceTest, InstallAndRemoveReportInTheProtocol)
{
    Refresh();
    EXPECT_EQ(Shown(), (TServiceActionStates{false, false, true, false}));
    Click("ButtonInstall");
    EXPECT_TRUE(ServiceInstalled());
    EXPECT_EQ(Shown(), (TServiceActionStates{true, false, false, true}));
    Click("ButtonUninstall");
    EXPECT_FALSE(ServiceInstalled());
    EXPECT_EQ(m_ui.Messages("MainService"),
              (QStringList{"Der Systemdienst wurde installiert", "Der Systemdienst wurde deinstalliert"}));
}

TEST_F(MainServiceTest, FailuresAreReportedAndTheStateStaysAsItWas)
{
    InstallSleeper();
    WriteFile(Dir() + "fail-start", "");
    Refresh();
    Click("ButtonStart");
    EXPECT_EQ(Shown(), (TServiceActionStates{true, false, false, true}));
    const QString reason = "\"systemctl --no-block start plenwick.service\" ist gescheitert (Code 1): "
                           "Failed to start: simulated failure";
    EXPECT_EQ(m_ui.Messages("MainService"), (QStringList{"Der Systemdienst konnte nicht gestartet werden", reason}));
    EXPECT_EQ(m_warnings, QStringList{"Der Systemdienst konnte nicht gestartet werden.\n\n" + reason});

    // Without systemctl nothing can be told: only installing stays possible.
    qputenv("PLENWICK_SYSTEMCTL", (m_dir.path() + "/no-such-systemctl").toUtf8());
    Refresh();
    EXPECT_EQ(State(), "Zustand: unbekannt (systemctl antwortet nicht)");
    EXPECT_EQ(Shown(), (TServiceActionStates{true, false, false, true}));
}

TEST_F(MainServiceTest, InTheServiceProcessItNeitherStartsNorStopsItself)
{
    InstallSleeper();
    SetRunningAsService(true);
    Refresh();
    EXPECT_EQ(Shown(), (TServiceActionStates{false, false, false, true}));
}

TEST_F(MainServiceTest, MonitorStartAsksToStartAStoppedServiceAndClosingKeepsItReachable)
{
    InstallSleeper();
    SetMonitorInstance(true);
    m_answer = true;
    m_form->StartUp();
    EXPECT_TRUE(m_form->isVisible());
    ASSERT_TRUE(RunEventsUntil([&] { return m_applied >= 2 && !m_form->Busy(); }, 30000));
    EXPECT_EQ(m_questions,
              QStringList{"Der Plenwick-Systemdienst ist im Moment nicht gestartet. Möchten Sie ihn jetzt starten?"});
    EXPECT_TRUE(ServiceRunning());

    m_form->close();
    // Without a notification area the window only minimises.
    if (QSystemTrayIcon::isSystemTrayAvailable())
        EXPECT_FALSE(m_form->isVisible());
    else
        EXPECT_TRUE(m_form->isVisible() && m_form->isMinimized());
}

TEST_F(MainServiceTest, AWorkingInstanceAsksNothingAtStart)
{
    InstallSleeper();
    m_form->StartUp();
    EXPECT_FALSE(m_form->isVisible());
    EXPECT_TRUE(m_questions.isEmpty());
}
