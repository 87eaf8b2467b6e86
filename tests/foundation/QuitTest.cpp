// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <QDateTime>
#include <QDeadlineTimer>
#include <QEventLoop>
#include <QTimer>

#include "foundation/ListenerControl.h"
#include "foundation/MainConfig.h"
#include "foundation/Quit.h"
#include "support/TestHome.h"

namespace {

// A kind of thread that stays busy until its deadline, whatever it is asked.
class TBusyParticipant : public TShutdownParticipant
{
public:
    explicit TBusyParticipant(int milliseconds) : m_until(milliseconds) {}
    bool IsRunning() override { return !m_until.hasExpired(); }
    void RequestStop() override { ++stopRequests; }
    int stopRequests = 0;

private:
    QDeadlineTimer m_until;
};

class TFailingListeners : public TListenerControl
{
public:
    void StartListeners() override {}
    void StopListeners() override
    {
        ++stops;
        throw EPlenwick(QStringLiteral("Port klemmt"));
    }
    int stops = 0;
};

const QStringList kChecks = {
    "Prüfe Server-Thread(s)", "Prüfe Client-Thread(s)",    "Prüfe Ordnerstruktur-Thread(s)", "Prüfe Treeview-Thread",
    "Prüfe Listview-Thread",  "Prüfe ChangeNotify-Thread", "Prüfe Skriptus-Thread",
};

class QuitTest : public TTestHome
{
protected:
    void TearDown() override
    {
        for (TShutdownParticipant* p : m_registered)
            UnregisterShutdownParticipant(p);
        SetListenerControl(nullptr);
        TTestHome::TearDown();
    }
    void Register(TShutdownStep step, TShutdownParticipant* p)
    {
        RegisterShutdownParticipant(step, p);
        m_registered.push_back(p);
    }
    std::vector<TShutdownParticipant*> m_registered;
};

} // namespace

TEST_F(QuitTest, NothingRunningEndsAtOnceWithTheSevenChecksInOrder)
{
    LayoutConfig().Set(QStringLiteral("MainWidth"), 1234);
    EXPECT_TRUE(RequestShutdown());
    QStringList expected = {"Persistente Einstellungen wurden gespeichert"};
    expected += kChecks;
    expected += "Anwendung ist bereit zum Terminieren";
    EXPECT_EQ(m_ui.Messages(QStringLiteral("Quit")), expected);
    EXPECT_TRUE(m_ui.windowCalls.contains(QStringLiteral("SaveLayout")));
    EXPECT_FALSE(m_ui.windowCalls.contains(QStringLiteral("ShowShutdownWindow 1")));
    EXPECT_FALSE(ShutdownWaiting());

    // The layout was really saved: a new start reads it back.
    Restart();
    EXPECT_EQ(LayoutConfig().GetInteger(QStringLiteral("MainWidth")), 1234);
}

TEST_F(QuitTest, BusyThreadKeepsTheProgramAliveUntilItEnds)
{
    TBusyParticipant busy(2300);
    Register(TShutdownStep::ClientThreads, &busy);
    const qint64 t0 = QDateTime::currentMSecsSinceEpoch();

    EXPECT_FALSE(RequestShutdown());
    EXPECT_TRUE(ShutdownWaiting());
    EXPECT_TRUE(m_ui.HasMessage(QStringLiteral("Threads sind noch aktiv, Anwendung wird bald beendet")));
    EXPECT_TRUE(m_ui.windowCalls.contains(QStringLiteral("ShowShutdownWindow 1")));
    EXPECT_FALSE(m_ui.HasMessage(QStringLiteral("Anwendung ist bereit zum Terminieren")));

    // The re-check ends the event loop by itself once the thread is gone.
    QEventLoop loop;
    QTimer::singleShot(10000, &loop, [&] { loop.exit(1); });
    EXPECT_EQ(loop.exec(), 0);
    const qint64 elapsed = QDateTime::currentMSecsSinceEpoch() - t0;
    EXPECT_GE(elapsed, 2300);
    EXPECT_LT(elapsed, 4500);
    EXPECT_FALSE(ShutdownWaiting());

    const QStringList quit = m_ui.Messages(QStringLiteral("Quit"));
    // The first round and one per unsuccessful second, each asking again.
    const qsizetype stillRunning = quit.count(QStringLiteral("Client-Thread noch nicht terminiert..."));
    EXPECT_GE(stillRunning, 3);
    EXPECT_EQ(busy.stopRequests, stillRunning);
    EXPECT_EQ(quit.count(QStringLiteral("Prüfe Skriptus-Thread")), stillRunning + 1);
    EXPECT_EQ(quit.last(), QStringLiteral("Anwendung ist bereit zum Terminieren"));
    EXPECT_FALSE(quit.contains(QStringLiteral("Server-Thread noch nicht terminiert...")));
}

TEST_F(QuitTest, EveryStepIsAskedInEveryRound)
{
    TBusyParticipant server(60000), monitor(60000);
    Register(TShutdownStep::ServerThreads, &server);
    Register(TShutdownStep::ChangeNotifyThread, &monitor);
    EXPECT_FALSE(RequestShutdown());
    RecheckShutdown();
    EXPECT_EQ(server.stopRequests, 2);
    EXPECT_EQ(monitor.stopRequests, 2);
    const QStringList quit = m_ui.Messages(QStringLiteral("Quit"));
    const qsizetype serverLine = quit.indexOf(QStringLiteral("Server-Thread noch nicht terminiert..."));
    EXPECT_EQ(quit.at(serverLine - 1), QStringLiteral("Prüfe Server-Thread(s)"));
    EXPECT_EQ(quit.at(quit.indexOf(QStringLiteral("ChangeNotify-Thread noch nicht terminiert...")) - 1),
              QStringLiteral("Prüfe ChangeNotify-Thread"));
    // Asking again while waiting runs the whole procedure again.
    m_ui.Clear();
    EXPECT_FALSE(RequestShutdown());
    EXPECT_TRUE(m_ui.HasMessage(QStringLiteral("Persistente Einstellungen wurden gespeichert")));
    EXPECT_TRUE(m_ui.windowCalls.contains(QStringLiteral("ShowShutdownWindow 1")));
    UnregisterShutdownParticipant(&server);
    UnregisterShutdownParticipant(&monitor);
    RecheckShutdown(); // all gone: ends (no loop runs here) and stops the timer
    EXPECT_FALSE(ShutdownWaiting());
}

TEST_F(QuitTest, TenthUnsuccessfulTickShowsTheProtocolPage)
{
    TBusyParticipant busy(60000);
    Register(TShutdownStep::ScriptusThread, &busy);
    ASSERT_LT(ShutdownTickCount(), 9) << "other tests ticked too often";
    EXPECT_FALSE(RequestShutdown());
    while (ShutdownTickCount() < 9)
        RecheckShutdown();
    EXPECT_FALSE(m_ui.protocolPageVisible);
    RecheckShutdown();
    EXPECT_EQ(ShutdownTickCount(), 10);
    EXPECT_TRUE(m_ui.protocolPageVisible);
    UnregisterShutdownParticipant(&busy);
    RecheckShutdown();
}

TEST_F(QuitTest, ListenerErrorIsReportedAndTheShutdownGoesOn)
{
    TFailingListeners listeners;
    SetListenerControl(&listeners);
    EXPECT_TRUE(RequestShutdown());
    EXPECT_EQ(listeners.stops, 1);
    EXPECT_EQ(m_ui.Messages(QStringLiteral("ServerBase")),
              QStringList{"Beim Deaktivieren der Server-Ports ist eine Ausnahme des Typs \"Port klemmt\" aufgetreten"});
}
