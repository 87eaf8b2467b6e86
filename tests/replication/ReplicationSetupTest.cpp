// SPDX-License-Identifier: GPL-3.0-or-later
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <thread>

#include <gtest/gtest.h>

#include "foundation/MainConfig.h"
#include "replication/ClientBase.h"
#include "replication/LoopbackServer.h"
#include "replication/ReplicationSetup.h"
#include "support/TestHome.h"

namespace {

// A master that takes each connection, waits a moment and closes it: every
// update conversation it gets lasts that long and fails.
class TCountingMaster
{
public:
    TCountingMaster() : m_listener(LoopbackListener(port, 8))
    {
        m_thread = std::thread([this] {
            for (;;) {
                const int s = ::accept(m_listener, nullptr, nullptr);
                if (s < 0)
                    return;
                ++connections;
                std::this_thread::sleep_for(std::chrono::milliseconds(400));
                ::close(s);
            }
        });
    }
    ~TCountingMaster()
    {
        ::shutdown(m_listener, SHUT_RDWR);
        ::close(m_listener);
        m_thread.join();
    }

    int port = 0;
    std::atomic<int> connections{0};

private:
    int m_listener;
    std::thread m_thread;
};

class ReplicationSetupTest : public TTestHome
{
};

} // namespace

TEST_F(ReplicationSetupTest, UpdatesAskedWhileOneRunsBecomeOneMoreAfterIt)
{
    MainConfig().Set(QStringLiteral("MiscSocketTimeout"), 2000);
    TCountingMaster master;
    RequestUpdate(QStringLiteral("127.0.0.1"), master.port);
    ASSERT_TRUE(RunEventsUntil([&] { return master.connections == 1; }));
    RequestUpdate(QStringLiteral("127.0.0.1"), master.port);
    RequestUpdate(QStringLiteral("127.0.0.1"), master.port);
    const auto queued = [&] {
        return m_ui.Messages(QStringLiteral("Main"))
            .count(QStringLiteral("Eine Synchronisation läuft bereits, eine weitere folgt ihr"));
    };
    EXPECT_TRUE(RunEventsUntil([&] { return queued() == 2; }));
    ASSERT_TRUE(RunEventsUntil([&] { return master.connections == 2; }, 5000));
    ASSERT_TRUE(RunEventsUntil([] { return !AnyClientThreadRunning(); }, 5000));
    RunEventsFor(300);
    EXPECT_EQ(master.connections, 2);
    EXPECT_FALSE(AnyClientThreadRunning());
}
