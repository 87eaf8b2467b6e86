// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <QFileInfo>

#include "base/ContentDigest.h"
#include "foundation/ListenerControl.h"
#include "foundation/MainConfig.h"
#include "foundation/ObjectUpdateTimer.h"
#include "foundation/PendingMoves.h"
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
    void RunToCompletion()
    {
        RunMainWindowCreation();
        RunEventsUntil([] { return MainWindowComplete(); }, 2000);
    }

    QStringList m_events;
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
    EXPECT_EQ(m_events, (QStringList{"listeners", "objects moved", "clients", "downloads", "users", "controls"}));
    EXPECT_EQ(m_ui.windowCalls, (QStringList{"SetWindowStart Shown", "SetProtocolPageVisible 1", "SetActivePage 2",
                                             "BuildAllViews", "UpdateActionStates"}));
    EXPECT_TRUE(m_ui.caption.startsWith(QStringLiteral("Plenwick - [testhost:42424]")));

    ASSERT_TRUE(RunEventsUntil([] { return MainWindowComplete(); }, 2000));
    EXPECT_EQ(m_ui.windowCalls.mid(5), (QStringList{"CompleteCreation", "RestoreLayout"}));
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
    EXPECT_EQ(m_events.first(), QStringLiteral("listeners"));
    EXPECT_EQ(m_events.last(), QStringLiteral("session master01:42424"));
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
