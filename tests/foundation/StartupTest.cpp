// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <atomic>

#include <QDeadlineTimer>
#include <QEventLoop>
#include <QFileInfo>
#include <QThread>
#include <QTimer>

#include "base/ContentDigest.h"
#include "foundation/ListenerControl.h"
#include "foundation/MainConfig.h"
#include "foundation/ObjectUpdateTimer.h"
#include "foundation/PendingMoves.h"
#include "foundation/Quit.h"
#include "foundation/ServiceMode.h"
#include "foundation/Startup.h"
#include "support/TestHome.h"

namespace {

class TRecordingListeners : public TListenerControl
{
public:
    explicit TRecordingListeners(QStringList& events) : m_events(events) {}
    void StartListeners() override { m_events.append("listeners"); }
    void StopListeners() override {}

private:
    QStringList& m_events;
};

class StartupTest : public TTestHome
{
protected:
    void SetUp() override
    {
        TTestHome::SetUp();
        SetListenerControl(&m_listeners);
        const std::pair<TListKind, const char*> lists[] = {{TListKind::Controls, "controls"},
                                                           {TListKind::Users, "users"},
                                                           {TListKind::Objects, "objects"},
                                                           {TListKind::Downloads, "downloads"},
                                                           {TListKind::Clients, "clients"}};
        for (const auto& [kind, name] : lists)
            SetListLoader(kind, [this, name = QString::fromLatin1(name)] { m_events.append(name); });
        SetUpdateSessionStarter([this](const QString& host, int port) {
            m_events.append(QStringLiteral("session %1:%2").arg(host).arg(port));
        });
    }
    void TearDown() override
    {
        for (TListKind kind :
             {TListKind::Objects, TListKind::Clients, TListKind::Downloads, TListKind::Users, TListKind::Controls})
            SetListLoader(kind, nullptr);
        SetUpdateSessionStarter(nullptr);
        SetListenerControl(nullptr);
        SetRunningAsService(false);
        TObjectUpdateTimer::SetEnabled(false);
        TTestHome::TearDown();
    }
    void WriteOptions(const QByteArray& lines) { WriteFile(Home("foundation_tests.config"), "[Options]\r\n" + lines); }
    // A working instance is complete once its lists are in as well.
    void RunToCompletion()
    {
        RunMainWindowCreation();
        RunEventsUntil([] { return MainWindowComplete() && (InstanceKind() != TInstanceKind::Working || ListsRead()); },
                       2000);
    }
    // The object list takes until the test lets it end (10 s at most).
    void SlowObjectList()
    {
        SetListLoader(TListKind::Objects, [this] {
            m_reading = true;
            const QDeadlineTimer limit(10000);
            while (!m_release && !limit.hasExpired())
                QThread::msleep(5);
            m_events.append(QStringLiteral("objects"));
        });
    }

    // Appended to by the list reader before the lists are in, by the main thread afterwards.
    QStringList m_events;
    std::atomic<bool> m_reading{false};
    std::atomic<bool> m_release{false};
    TRecordingListeners m_listeners{m_events};
};

} // namespace

TEST_F(StartupTest, WorkingInstanceComesUpInOrder)
{
    MainConfig().Set(QStringLiteral("MiscShowProtocol"), true);
    MainConfig().SaveAll();
    LayoutConfig().Set(QStringLiteral("MainActiveTab"), 2);
    LayoutConfig().SaveAll();
    // A move left from the last run is done before any list is read.
    const QString target = Home("plenwick.objects");
    WriteFile(Home("~$plenwick.objects"), "new list");
    ASSERT_TRUE(RecordPendingMove(target, Home("~$plenwick.objects"), DigestOfFile(Home("~$plenwick.objects"))));
    SetListLoader(TListKind::Objects,
                  [&] { m_events.append(QFileInfo::exists(target) ? "objects moved" : "objects"); });
    m_ui.Clear();

    EXPECT_EQ(RunMainWindowCreation(), TInstanceKind::Working);
    EXPECT_FALSE(MainWindowComplete());
    // The stored layout before the window shows, the lists after.
    EXPECT_EQ(m_ui.windowCalls, (QStringList{"RestoreLayout", "SetProtocolPageVisible 1", "SetActivePage 2",
                                             "SetListsReading 1", "SetWindowStart Shown", "UpdateActionStates"}));
    EXPECT_TRUE(m_ui.caption.startsWith(QStringLiteral("Plenwick - [testhost:42424]")));

    ASSERT_TRUE(RunEventsUntil([] { return MainWindowComplete() && ListsRead(); }, 2000));
    // The controls come from the desktop, read at once; the listeners only
    // once every list is in.
    EXPECT_EQ(m_events, (QStringList{"controls", "objects moved", "clients", "downloads", "users", "listeners"}));
    EXPECT_EQ(m_ui.windowCalls.mid(6),
              (QStringList{"CompleteCreation", "SetListsReading 0", "BuildAllViews", "UpdateActionStates"}));
    ASSERT_EQ(m_ui.clientPane.size(), 1);
    EXPECT_TRUE(m_ui.clientPane[0].contains(QStringLiteral("Plenwick wurde erfolgreich initialisiert")));
    // A fresh computer is its own master server: no session.
    EXPECT_FALSE(m_events.filter(QStringLiteral("session")).size());
}

TEST_F(StartupTest, ClientStartsItsFirstUpdateAtTheEnd)
{
    WriteOptions("NetServerName=master01\r\nNetServerPort=4711\r\nClientAutoInstall=1\r\n"
                 "ClientUpdateIntervalInMillisecs=50\r\nMiscStartMinimized=1\r\n");
    Restart();
    RunToCompletion();
    ASSERT_TRUE(MainWindowComplete());
    EXPECT_EQ(m_events.last(), QStringLiteral("session master01:4711"));
    EXPECT_TRUE(m_ui.windowCalls.contains(QStringLiteral("SetWindowStart InTray")));
    EXPECT_TRUE(m_ui.HasMessage(QStringLiteral("Starte Synchronisation mit Server master01:4711")));

    // The object update timer starts the same session.
    const qsizetype before = m_events.size();
    EXPECT_TRUE(RunEventsUntil([&] { return m_events.size() > before + 1; }, 2000));
    EXPECT_EQ(m_events.last(), QStringLiteral("session master01:4711"));
}

// A large catalogue: the window is there and answers while the lists are
// read; nothing that works on them starts before they are all in.
TEST_F(StartupTest, SlowListsKeepTheWindowButNothingThatNeedsThemWaiting)
{
    WriteOptions("NetServerName=master01\r\nClientAutoInstall=1\r\nClientUpdateIntervalInMillisecs=50\r\n");
    Restart();
    SlowObjectList();
    RunMainWindowCreation();
    EXPECT_TRUE(m_ui.windowCalls.contains(QStringLiteral("SetWindowStart Shown")));
    ASSERT_TRUE(RunEventsUntil([] { return MainWindowComplete(); }, 2000)) << "the completion does not wait";
    RunEventsFor(300); // six ticks of the update timer, were it running
    EXPECT_FALSE(ListsRead());
    EXPECT_EQ(m_events, QStringList{"controls"}) << "no listeners, no update session";
    EXPECT_FALSE(m_ui.windowCalls.contains(QStringLiteral("BuildAllViews")));

    bool answered = false;
    WhenListsRead([&] { answered = true; });
    m_release = true;
    ASSERT_TRUE(RunEventsUntil([] { return ListsRead(); }, 5000));
    EXPECT_TRUE(answered);
    EXPECT_EQ(m_events.mid(0, 7), (QStringList{"controls", "objects", "clients", "downloads", "users", "listeners",
                                               "session master01:42424"}));
    EXPECT_EQ(m_ui.windowCalls.filter(QStringLiteral("SetListsReading")),
              (QStringList{"SetListsReading 1", "SetListsReading 0"}));
}

// Ending the program while the lists are read waits for the reader and
// starts nothing on the lists it read in part.
TEST_F(StartupTest, AShutdownDuringTheReadingStartsNothing)
{
    SlowObjectList();
    RunMainWindowCreation();
    ASSERT_TRUE(RunEventsUntil([this] { return m_reading.load(); }));
    EXPECT_FALSE(RequestShutdown()) << "the reader still reads";
    m_release = true;
    QEventLoop loop;
    QTimer::singleShot(10000, &loop, [&] { loop.exit(1); });
    EXPECT_EQ(loop.exec(), 0);
    EXPECT_FALSE(ListsRead());
    EXPECT_EQ(m_events, (QStringList{"controls", "objects"})) << "no list after the shutdown's request, no listeners";
    EXPECT_FALSE(m_ui.windowCalls.contains(QStringLiteral("BuildAllViews")));
}

TEST_F(StartupTest, MonitorInstanceRunsNothing)
{
    WriteOptions("NetServerName=master01\r\n");
    WriteFile(m_dir.path() + "/systemd/plenwick.service", "[Service]\n");
    Restart();
    RunToCompletion();
    EXPECT_EQ(InstanceKind(), TInstanceKind::Monitor);
    EXPECT_TRUE(m_events.isEmpty());
    EXPECT_TRUE(m_ui.windowCalls.contains(QStringLiteral("SetWindowStart Hidden")));
    EXPECT_TRUE(m_ui.caption.endsWith(QStringLiteral("[Monitor]")));
}

TEST_F(StartupTest, ServiceProcessIsAWorkingInstanceInTheTray)
{
    WriteOptions("NetServerName=master01\r\n");
    WriteFile(m_dir.path() + "/systemd/plenwick.service", "[Service]\n");
    SetRunningAsService(true);
    Restart();
    RunToCompletion();
    EXPECT_EQ(InstanceKind(), TInstanceKind::Working);
    EXPECT_EQ(m_events.mid(5), (QStringList{"listeners", "session master01:42424"}));
    EXPECT_EQ(m_ui.windowCalls.filter(QStringLiteral("SetWindowStart")),
              (QStringList{"SetWindowStart Hidden", "SetWindowStart InTray"}));
}

// The move itself ends the process: the program tests cover it.
TEST_F(StartupTest, FileMoveComesBeforeTheServiceQuestion)
{
    WriteFile(m_dir.path() + "/systemd/plenwick.service", "[Service]\n");
    EXPECT_EQ(DecideInstanceKind(true), TInstanceKind::FileMove);
    EXPECT_EQ(DecideInstanceKind(false), TInstanceKind::Monitor);
    SetRunningAsService(true);
    EXPECT_EQ(DecideInstanceKind(false), TInstanceKind::Working);
}
