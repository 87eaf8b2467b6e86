// SPDX-License-Identifier: GPL-3.0-or-later
#include <sys/stat.h>

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include <QFile>

#include "foundation/MainConfig.h"
#include "foundation/PoolInterlocked.h"
#include "support/TestHome.h"

class PoolInterlockedTest : public TTestHome
{
};

TEST_F(PoolInterlockedTest, ManyWorkersLogThroughTheMainThreadWithoutLoss)
{
    MainConfig().Set("MiscWriteProtocolToFile", true);
    constexpr int kThreads = 16;
    constexpr int kEach = 50;
    std::atomic<int> finished{0};
    std::vector<std::thread> workers;
    for (int t = 0; t < kThreads; ++t)
        workers.emplace_back([t, &finished] {
            for (int i = 0; i < kEach; ++i)
                Log("Test", QStringLiteral("w%1 e%2").arg(t).arg(i), i % 2 ? 46 : -1);
            ++finished;
        });
    ASSERT_TRUE(RunEventsUntil([&] { return finished == kThreads; }, 30000));
    for (auto& w : workers)
        w.join();
    // The workers did not wait for their entries: they arrive with the event loop.
    RunEventsUntil([&] { return m_ui.Messages("Test").size() == kThreads * kEach; });
    EXPECT_EQ(m_ui.Messages("Test").size(), kThreads * kEach);
    QFile file(qEnvironmentVariable("PLENWICK_PROTOCOL_FILE"));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray content = file.readAll();
    EXPECT_EQ(content.count("[Test] w"), kThreads * kEach);
    EXPECT_EQ(content.count("\r\n"), kThreads * kEach);
}

TEST_F(PoolInterlockedTest, ListOrderAndFileFollowTheOptions)
{
    Log("A", "hidden");
    EXPECT_TRUE(m_ui.listRows.isEmpty());
    EXPECT_EQ(m_ui.Messages().size(), 1); // the front-end still hears it (headless echo)
    EXPECT_FALSE(QFile::exists(qEnvironmentVariable("PLENWICK_PROTOCOL_FILE")));

    MainConfig().Set("MiscShowProtocol", true);
    MainConfig().Set("MiscProtocolLastToFirst", true);
    Log("A", "1");
    Log("A", "2");
    EXPECT_EQ(m_ui.listRows, (QStringList{"2", "1"}));
    MainConfig().Set("MiscProtocolLastToFirst", false);
    Log("A", "3");
    EXPECT_EQ(m_ui.listRows, (QStringList{"2", "1", "3"}));

    Log("Cat", "with icon", 46);
    Log("Cat", "without");
    const auto entries = m_ui.Entries();
    EXPECT_EQ(entries[entries.size() - 2].icon, 46);
    EXPECT_EQ(entries.back().icon, -1);
    EXPECT_EQ(entries.back().FileLine(), entries.back().time + " [Cat] without");
    EXPECT_EQ(entries.back().time.size(), 21);
}

TEST_F(PoolInterlockedTest, TheProtocolFileIsReadableForTheGroupOnly)
{
    const QString path = qEnvironmentVariable("PLENWICK_PROTOCOL_FILE");
    const auto mode = [&] {
        struct stat status = {};
        ::stat(QFile::encodeName(path).constData(), &status);
        return status.st_mode & 07777;
    };
    MainConfig().Set("MiscWriteProtocolToFile", true);
    const mode_t umask = ::umask(022);
    Log("Test", "neu");
    EXPECT_TRUE(RunEventsUntil([&] { return QFile::exists(path); }));
    EXPECT_EQ(mode(), 0640u);
    // A file an earlier version made readable for everyone.
    ASSERT_EQ(::chmod(QFile::encodeName(path).constData(), 0644), 0);
    Log("Test", "weiter");
    EXPECT_TRUE(RunEventsUntil([&] { return m_ui.Messages("Test").size() == 2; }));
    EXPECT_EQ(mode(), 0640u);
    ::umask(umask);
}

TEST_F(PoolInterlockedTest, MainThreadCallRunsDirectlyOrBlocksTheWorker)
{
    bool ran = false;
    TPoolInterlocked::Synchronize({1}, [&](const QVariantList& a) { ran = a.value(0).toInt() == 1; });
    EXPECT_TRUE(ran); // on the main thread: at once
    EXPECT_THROW(TPoolInterlocked::Synchronize({}, [](const QVariantList&) {}), ENoArgs);
    EXPECT_THROW(TPoolInterlocked::Synchronize({1}, TInterlockedProc()), ENoProc);

    std::atomic<bool> done{false};
    std::atomic<bool> sawMain{false};
    std::atomic<bool> rethrown{false};
    std::thread worker([&] {
        TPoolInterlocked::Synchronize([&] { sawMain = TPoolInterlocked::IsMainThread(); });
        try {
            TPoolInterlocked::Synchronize([] { throw EPlenwick("boom"); });
        } catch (const EPlenwick& e) {
            rethrown = e.Message() == "boom";
        }
        done = true;
    });
    ASSERT_TRUE(RunEventsUntil([&] { return done.load(); }));
    worker.join();
    EXPECT_TRUE(sawMain);
    EXPECT_TRUE(rethrown);
}

TEST_F(PoolInterlockedTest, OverviewBlocksCarryTimeAndOptionalClientName)
{
    ClientMessage("Hallo");
    ServerMessage("pc1", "Verbunden");
    ASSERT_EQ(m_ui.clientPane.size(), 1);
    const QStringList lines = m_ui.clientPane[0].split("\r\n");
    EXPECT_EQ(lines.size(), 3); // time, message, and the empty rest after the last CR LF
    EXPECT_EQ(lines[0].size(), 19);
    EXPECT_EQ(lines[1], "Hallo");
    EXPECT_TRUE(m_ui.serverPane[0].endsWith("\r\nClient \"pc1\":\r\nVerbunden\r\n"));
}
