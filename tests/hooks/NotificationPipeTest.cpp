// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <csignal>
#include <vector>

#include "hooks/NotificationPipe.h"

namespace {

THooksNotification Move(int x)
{
    return {1, HookMouseMove, 0, 0, x, 0, 0};
}

THooksNotification Key(std::uint32_t key)
{
    return {2, key, 1, 0, 0, 0, 0};
}

std::vector<THooksNotification> Drain(int fd)
{
    std::vector<THooksNotification> out;
    THooksNotification n;
    while (read(fd, &n, sizeof n) == ssize_t(sizeof n))
        out.push_back(n);
    return out;
}

class NotificationPipeTest : public ::testing::Test
{
protected:
    void SetUp() override { ASSERT_EQ(pipe2(m_fds, O_CLOEXEC | O_NONBLOCK), 0); }
    void TearDown() override
    {
        for (int fd : m_fds)
            if (fd >= 0)
                close(fd);
    }
    int m_fds[2] = {-1, -1};
};

} // namespace

TEST_F(NotificationPipeTest, MovementsMergeButNeverAcrossKeysOrButtons)
{
    TNotificationPipe pipe(m_fds[1]);
    // Fill the pipe so that everything below waits in the queue.
    while (write(m_fds[1], "x", 1) == 1) {
    }
    pipe.Push(Move(1), true);
    pipe.Push(Move(2), true);
    pipe.Push(Key(0x41), false);
    pipe.Push(Move(3), true);
    pipe.Push(Move(4), true);
    pipe.Push(Key(0x42), false);
    EXPECT_FALSE(pipe.Flush());
    EXPECT_TRUE(pipe.Pending());

    char sink[1 << 16];
    while (read(m_fds[0], sink, sizeof sink) > 0) {
    }
    EXPECT_TRUE(pipe.Flush());
    const std::vector<THooksNotification> got = Drain(m_fds[0]);
    ASSERT_EQ(got.size(), 4u);
    EXPECT_EQ(got[0].X, 2);
    EXPECT_EQ(got[1].WParam, 0x41u);
    EXPECT_EQ(got[2].X, 4);
    EXPECT_EQ(got[3].WParam, 0x42u);
}

TEST_F(NotificationPipeTest, ABlockingPipeIsMadeNonBlockingAndAGoneReaderEndsWriting)
{
    int blocking[2];
    ASSERT_EQ(pipe(blocking), 0);
    {
        TNotificationPipe pipe(blocking[1]);
        EXPECT_TRUE(fcntl(blocking[1], F_GETFL) & O_NONBLOCK);
        // Much more than a pipe holds: Flush must come back instead of blocking.
        for (int i = 0; i < 10000; ++i)
            pipe.Push(Key(0x41), false);
        EXPECT_FALSE(pipe.Flush());

        // The reader goes away; SIGPIPE is ignored here as the library's
        // thread has it blocked.
        close(blocking[0]);
        signal(SIGPIPE, SIG_IGN);
        EXPECT_TRUE(pipe.Flush());
        pipe.Push(Key(0x42), false);
        EXPECT_FALSE(pipe.Pending());
    }
    close(blocking[1]);
}
