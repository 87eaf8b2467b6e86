// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <set>
#include <string>

#include "base/WorkerThread.h"

namespace {

std::set<std::string> ThreadNames()
{
    std::set<std::string> names;
    for (const auto& task : std::filesystem::directory_iterator("/proc/self/task")) {
        std::ifstream comm(task.path() / "comm");
        std::string name;
        std::getline(comm, name);
        names.insert(name);
    }
    return names;
}

} // namespace

TEST(WorkerThreadTest, ThreadsCarryTheirRoleAndAreJoinedByTheirOwner)
{
    std::atomic<bool> release{false};
    std::atomic<int> running{0};
    const auto body = [&] {
        ++running;
        while (!release)
            std::this_thread::yield();
    };
    {
        TWorkerThread session;
        TWorkerThread longName;
        session.Start("ServerSession", body);
        longName.Start("DesktopAutomation", body); // longer than the system keeps
        while (running < 2)
            std::this_thread::yield();
        const std::set<std::string> names = ThreadNames();
        EXPECT_TRUE(names.count("ServerSession"));
        EXPECT_TRUE(names.count("DesktopAutomati"));
        EXPECT_FALSE(session.Finished());
        release = true;
        session.Join();
        EXPECT_TRUE(session.Finished());
    } // the destructor joins the other
    EXPECT_FALSE(ThreadNames().count("DesktopAutomati"));
}
