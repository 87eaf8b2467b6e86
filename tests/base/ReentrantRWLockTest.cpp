// SPDX-License-Identifier: GPL-3.0-or-later
#include <atomic>
#include <chrono>
#include <thread>

#include <gtest/gtest.h>

#include "base/ReentrantRWLock.h"

using namespace std::chrono_literals;

TEST(ReentrantRWLockTest, WriterMayTakeItAgainAndOthersWait)
{
    TReentrantRWLock lock;
    std::atomic<bool> otherRead{false};
    std::thread reader;
    {
        TWriteGuard outer(lock);
        TWriteGuard inner(lock);
        TReadGuard nestedRead(lock);
        EXPECT_TRUE(lock.HeldForWriting());
        reader = std::thread([&] {
            TReadGuard guard(lock);
            otherRead = true;
        });
        std::this_thread::sleep_for(50ms);
        EXPECT_FALSE(otherRead);
    }
    reader.join();
    EXPECT_TRUE(otherRead);
    EXPECT_FALSE(lock.HeldForWriting());
}

TEST(ReentrantRWLockTest, ReadersShareAndNestWhileAWriterWaits)
{
    TReentrantRWLock lock;
    std::atomic<bool> written{false};
    lock.LockRead();
    std::thread writer([&] {
        TWriteGuard guard(lock);
        written = true;
    });
    std::this_thread::sleep_for(30ms);
    // A nested read behind a waiting writer must not deadlock.
    lock.LockRead();
    std::thread otherReader([&] { TReadGuard guard(lock); });
    otherReader.join();
    EXPECT_FALSE(written);
    lock.UnlockRead();
    lock.UnlockRead();
    writer.join();
    EXPECT_TRUE(written);
}
