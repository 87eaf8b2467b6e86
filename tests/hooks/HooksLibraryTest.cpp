// SPDX-License-Identifier: GPL-3.0-or-later
// The hooks library on a private X server, driven by xdotool from a process of
// its own, the way another program's input reaches it.
#include <gtest/gtest.h>

#include <dirent.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "platform/HooksLibrary.h"
#include "support/DesktopSession.h"
#include "support/TestHome.h"

namespace {

std::string Output(const std::string& command)
{
    std::string out;
    if (FILE* pipe = popen(command.c_str(), "r")) {
        char buffer[256];
        while (fgets(buffer, sizeof buffer, pipe))
            out += buffer;
        pclose(pipe);
    }
    return out;
}

void Drive(const std::string& xdotoolArguments)
{
    ASSERT_EQ(std::system(("xdotool " + xdotoolArguments).c_str()), 0) << xdotoolArguments;
}

struct TProbeWindow {
    pid_t pid = -1;
    std::uint32_t window = 0;
    int x = 0, y = 0, width = 0, height = 0;
    int CentreX() const { return x + width / 2; }
    int CentreY() const { return y + height / 2; }
};

std::set<std::string> Threads()
{
    std::set<std::string> names;
    if (DIR* dir = opendir("/proc/self/task")) {
        while (dirent* entry = readdir(dir)) {
            if (entry->d_name[0] != '.')
                names.insert(entry->d_name);
        }
        closedir(dir);
    }
    return names;
}

std::string ThreadStatus(const std::string& tid, const std::string& field)
{
    std::ifstream status("/proc/self/task/" + tid + "/status");
    for (std::string line; std::getline(status, line);) {
        if (line.rfind(field + ":", 0) == 0)
            return line.substr(field.size() + 1);
    }
    return std::string();
}

class HooksLibraryTest : public ::testing::Test
{
protected:
    void SetUp() override { ASSERT_TRUE(m_desktop.Start()) << m_desktop.Error(); }

    void Load()
    {
        ASSERT_TRUE(
            m_hooks.Load(PLENWICK_HOOKS_LIBRARY, [this](const THooksNotification& n) { m_received.push_back(n); }));
    }

    // Starts the Qt test program and finds its window (the client window
    // inside a window manager's frame).
    TProbeWindow StartProbe(const std::string& title)
    {
        TProbeWindow probe;
        TDesktopSession::TProgram* program = m_desktop.Launch({SCRIPTUS_QT_PROBE, "--title=" + title});
        EXPECT_FALSE(TDesktopSession::WaitForLine(*program, "ready").empty());
        probe.pid = program->pid;
        std::istringstream ids(Output("xdotool search --sync --onlyvisible --name '^" + title + "$'"));
        unsigned long id = 0;
        ids >> id;
        probe.window = std::uint32_t(id);
        std::istringstream shell(Output("xdotool getwindowgeometry --shell " + std::to_string(id)));
        for (std::string line; std::getline(shell, line);) {
            const auto eq = line.find('=');
            if (eq == std::string::npos)
                continue;
            const int value = std::stoi(line.substr(eq + 1));
            const std::string key = line.substr(0, eq);
            if (key == "X")
                probe.x = value;
            if (key == "Y")
                probe.y = value;
            if (key == "WIDTH")
                probe.width = value;
            if (key == "HEIGHT")
                probe.height = value;
        }
        EXPECT_NE(probe.window, 0u);
        return probe;
    }

    // Waits for the first notification from now on that matches.
    THooksNotification WaitFor(std::uint32_t message, std::uint32_t wParam, std::size_t from = 0)
    {
        THooksNotification found{};
        RunEventsUntil([&] {
            for (std::size_t i = from; i < m_received.size(); ++i) {
                if (m_received[i].Message == message && m_received[i].WParam == wParam) {
                    found = m_received[i];
                    return true;
                }
            }
            return false;
        });
        return found;
    }

    std::uint32_t MouseMessage() const { return m_hooks.View()->MouseMessage; }
    std::uint32_t KeyMessage() const { return m_hooks.View()->KeyMessage; }

    void ExpectMovesOverProbe(const TProbeWindow& probe)
    {
        m_received.clear();
        Drive("mousemove " + std::to_string(probe.CentreX()) + " " + std::to_string(probe.CentreY()));
        const THooksNotification move = WaitFor(MouseMessage(), HookMouseMove);
        EXPECT_EQ(move.X, probe.CentreX());
        EXPECT_EQ(move.Y, probe.CentreY());
        EXPECT_EQ(move.ProcessId, std::uint32_t(probe.pid));
        EXPECT_EQ(move.Window, probe.window);
        EXPECT_EQ(move.LParam, 0u);

        // Click there and move away at once: the press belongs to the window
        // at its own point, wherever the pointer is when the library looks.
        m_received.clear();
        Drive("click 1 mousemove 1270 1010");
        const THooksNotification down = WaitFor(MouseMessage(), HookLeftButtonDown);
        EXPECT_EQ(down.Window, probe.window);
        EXPECT_EQ(down.ProcessId, std::uint32_t(probe.pid));
        EXPECT_EQ(down.X, probe.CentreX());
        EXPECT_EQ(WaitFor(MouseMessage(), HookLeftButtonUp).Window, probe.window);
        const THooksNotification away = WaitFor(MouseMessage(), HookMouseMove);
        EXPECT_EQ(away.X, 1270);
        EXPECT_EQ(away.Window, 0u); // the bare root window
        EXPECT_EQ(m_hooks.View()->X, 1270);
    }

    void ExpectKeysGoToProbe(const TProbeWindow& probe)
    {
        Drive("mousemove " + std::to_string(probe.CentreX()) + " " + std::to_string(probe.CentreY()) + " click 1");
        m_received.clear();
        Drive("key a Pause");
        const THooksNotification a = WaitFor(KeyMessage(), 0x41);
        EXPECT_EQ(a.LParam, 0x001e0001u);
        EXPECT_EQ(a.ProcessId, std::uint32_t(probe.pid));
        EXPECT_EQ(a.Window, probe.window);
        const THooksNotification pause = WaitFor(KeyMessage(), 0x13);
        EXPECT_EQ(pause.LParam, 0x00450001u);
        EXPECT_EQ(pause.X, probe.CentreX()); // where the action menu is to open
        std::vector<THooksNotification> keys;
        RunEventsUntil([&] {
            keys.clear();
            for (const THooksNotification& n : m_received) {
                if (n.Message == KeyMessage())
                    keys.push_back(n);
            }
            return keys.size() >= 4;
        });
        ASSERT_EQ(keys.size(), 4u); // each key pressed and released, in order
        EXPECT_EQ(keys[1].LParam, 0x801e0001u);
        EXPECT_EQ(keys[3].LParam, 0x80450001u);
        EXPECT_EQ(m_hooks.View()->ProcessId, std::uint32_t(probe.pid));
    }

    TDesktopSession m_desktop;
    THooksLibrary m_hooks;
    std::vector<THooksNotification> m_received;
};

} // namespace

TEST_F(HooksLibraryTest, NotificationsCarryMessagePositionProcessAndWindow)
{
    Load();
    EXPECT_NE(MouseMessage(), KeyMessage());
    const TProbeWindow probe = StartProbe("Ohne Fensterverwaltung");
    ExpectMovesOverProbe(probe);
    ExpectKeysGoToProbe(probe);
}

TEST_F(HooksLibraryTest, UnderAWindowManagerTheClientWindowInsideItsFrameIsReported)
{
    TDesktopSession::TProgram* wm = m_desktop.Launch({"openbox", "--sm-disable"});
    ASSERT_TRUE(RunEventsUntil(
        [] { return Output("xprop -root _NET_SUPPORTING_WM_CHECK").find("window id") != std::string::npos; }));
    Load();
    const TProbeWindow probe = StartProbe("Mit Fensterverwaltung");
    ExpectMovesOverProbe(probe);
    ExpectKeysGoToProbe(probe);
    m_desktop.End(wm);
}

TEST_F(HooksLibraryTest, KeyNotificationsWaitForABusyProgramAndNoneIsLost)
{
    Load();
    // Far more than the pipe holds, while this thread reads nothing.
    constexpr int presses = 3000;
    std::string keys = "key --delay 0";
    for (int i = 0; i < presses; ++i)
        keys += " shift";
    Drive(keys);
    Drive("mousemove 5 5 mousemove 6 6 click 3");
    ASSERT_TRUE(
        RunEventsUntil([&] { return !m_received.empty() && m_received.back().WParam == HookRightButtonUp; }, 30000));
    int shiftDown = 0;
    int shiftUp = 0;
    for (const THooksNotification& n : m_received) {
        if (n.Message == KeyMessage() && n.WParam == 0x10)
            ++((n.LParam >> 31) ? shiftUp : shiftDown);
    }
    EXPECT_EQ(shiftDown, presses);
    EXPECT_EQ(shiftUp, presses);
}

TEST_F(HooksLibraryTest, StopsCleanlyEvenWhenThePipeIsFull)
{
    const std::set<std::string> before = Threads();
    Load();
    std::string hooksThread;
    for (const std::string& tid : Threads()) {
        if (!before.count(tid) && ThreadStatus(tid, "Name").find("Hooks") != std::string::npos)
            hooksThread = tid;
    }
    ASSERT_FALSE(hooksThread.empty());
    // Signals blocked, so SIGTERM and SIGINT reach the main thread (only
    // SIGKILL and SIGSTOP cannot be blocked).
    const unsigned long long blocked = std::stoull(ThreadStatus(hooksThread, "SigBlk"), nullptr, 16);
    for (int signal : {SIGHUP, SIGINT, SIGQUIT, SIGPIPE, SIGTERM, SIGUSR1, SIGCHLD, SIGRTMIN + 1})
        EXPECT_TRUE(blocked & (1ull << (signal - 1))) << "signal " << signal;

    std::string keys = "key --delay 0";
    for (int i = 0; i < 2000; ++i)
        keys += " shift";
    Drive(keys);
    usleep(300 * 1000);
    const auto start = std::chrono::steady_clock::now();
    m_hooks.Unload();
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
    EXPECT_FALSE(m_hooks.Loaded());
    EXPECT_EQ(Threads(), before);
    // Loading again after a stop works.
    Load();
    m_received.clear();
    Drive("mousemove 20 20");
    EXPECT_EQ(WaitFor(MouseMessage(), HookMouseMove).X, 20);
}

TEST_F(HooksLibraryTest, TheDisplayGoingAwayNeitherEndsTheProgramNorHangsTheStop)
{
    Load();
    m_desktop.Stop();
    RunEventsFor(300);
    const auto start = std::chrono::steady_clock::now();
    m_hooks.Unload();
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
    EXPECT_FALSE(m_hooks.Loaded());
}

TEST(HooksLibraryExportsTest, OnlyTheThreeEntryPointsAreExported)
{
    std::istringstream symbols(Output(std::string("nm -D --defined-only ") + PLENWICK_HOOKS_LIBRARY));
    std::set<std::string> names;
    for (std::string line; std::getline(symbols, line);)
        names.insert(line.substr(line.rfind(' ') + 1));
    EXPECT_EQ(names, (std::set<std::string>{"InstallHooks", "ReturnView", "UninstallHooks"}));
}

TEST(HooksLibraryLoadTest, WithoutDisplayOrFileNothingStaysLoaded)
{
    const std::string display = getenv("DISPLAY") ? getenv("DISPLAY") : "";
    THooksLibrary hooks;
    // No X server at all: InstallHooks answers false.
    setenv("DISPLAY", ":9999", 1);
    EXPECT_FALSE(hooks.Load(PLENWICK_HOOKS_LIBRARY, [](const THooksNotification&) {}));
    EXPECT_FALSE(hooks.Loaded());
    EXPECT_EQ(hooks.View(), nullptr);
    unsetenv("DISPLAY");
    EXPECT_FALSE(hooks.Load(PLENWICK_HOOKS_LIBRARY, [](const THooksNotification&) {}));
    if (!display.empty())
        setenv("DISPLAY", display.c_str(), 1);
    EXPECT_FALSE(hooks.Load("/nonexistent/libplenwickhooks.so", [](const THooksNotification&) {}));
    // Only an absolute path: a bare name would go through the search path.
    EXPECT_FALSE(hooks.Load("libplenwickhooks.so", [](const THooksNotification&) {}));
    // A library without the entry points.
    EXPECT_FALSE(hooks.Load("/lib/x86_64-linux-gnu/libz.so.1", [](const THooksNotification&) {}));
    EXPECT_FALSE(hooks.Loaded());
}
