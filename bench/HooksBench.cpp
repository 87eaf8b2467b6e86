// SPDX-License-Identifier: GPL-3.0-or-later
// The hooks library on a private X server: time from an XTest event to its
// notification on the main thread, without and with a window manager, and the
// main thread's longest stall while the pointer moves on over a busy program,
// without and with the Scriptus page following it (looking up the control
// under the pointer). The benchmarks run on a worker; the main thread runs the
// event loop that reads the notifications, as in the program.
#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <future>
#include <mutex>
#include <string>
#include <thread>

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QTimer>

#include <xcb/xcb.h>
#include <xcb/xtest.h>

#include "foundation/MainConfig.h"
#include "platform/HooksLibrary.h"
#include "scriptus/Hooks.h"
#include "scriptus/SyncControl.h"
#include "support/BenchHome.h"
#include "support/DesktopSession.h"
#include "ui/main/GuiUi.h"
#include "ui/main/Main.h"

namespace {

using Clock = std::chrono::steady_clock;

TDesktopSession* g_desktop = nullptr;
TDesktopSession::TProgram* g_windowManager = nullptr;
THooksLibrary* g_hooks = nullptr;

// The newest movement the main thread has seen.
std::mutex g_mutex;
std::condition_variable g_arrived;
int g_lastX = -1;
Clock::time_point g_lastAt;

void Received(const THooksNotification& notification)
{
    if (notification.WParam != HookMouseMove)
        return;
    std::lock_guard lock(g_mutex);
    g_lastX = notification.X;
    g_lastAt = Clock::now();
    g_arrived.notify_all();
}

// Runs on the main thread between the worker's steps.
template <typename F>
void OnMainThread(F&& f)
{
    std::promise<void> done;
    QMetaObject::invokeMethod(
        QCoreApplication::instance(),
        [&] {
            f();
            done.set_value();
        },
        Qt::QueuedConnection);
    done.get_future().wait();
}

void SetWindowManager(bool wanted)
{
    if (wanted == (g_windowManager != nullptr))
        return;
    if (wanted) {
        g_windowManager = g_desktop->Launch({"openbox", "--sm-disable"});
        while (std::system("xprop -root _NET_SUPPORTING_WM_CHECK | grep -q 'window id'") != 0)
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        std::this_thread::sleep_for(std::chrono::milliseconds(300)); // windows reparented
    } else {
        g_desktop->End(g_windowManager);
        g_windowManager = nullptr;
    }
}

class TPointer
{
public:
    TPointer() : m_connection(xcb_connect(nullptr, nullptr))
    {
        m_root = xcb_setup_roots_iterator(xcb_get_setup(m_connection)).data->root;
    }
    ~TPointer() { xcb_disconnect(m_connection); }
    void MoveTo(int x, int y)
    {
        xcb_test_fake_input(m_connection, XCB_MOTION_NOTIFY, 0, XCB_CURRENT_TIME, m_root, x, y, 0);
        xcb_flush(m_connection);
    }

private:
    xcb_connection_t* m_connection;
    xcb_window_t m_root;
};

void BM_NotificationLatency(benchmark::State& state)
{
    SetWindowManager(state.range(0) != 0);
    TPointer pointer;
    double worstMs = 0;
    int step = 0;
    for (auto _ : state) {
        // Over the test program's window, a new point each time.
        const int x = 100 + (step++ % 200);
        std::unique_lock lock(g_mutex);
        const Clock::time_point sent = Clock::now();
        pointer.MoveTo(x, 150);
        if (!g_arrived.wait_for(lock, std::chrono::seconds(5), [&] { return g_lastX == x; })) {
            state.SkipWithError("keine Benachrichtigung");
            break;
        }
        const double seconds = std::chrono::duration<double>(g_lastAt - sent).count();
        worstMs = std::max(worstMs, seconds * 1000);
        state.SetIterationTime(seconds);
    }
    state.counters["worst_ms"] = worstMs;
}
BENCHMARK(BM_NotificationLatency)
    ->ArgName("wm")
    ->Arg(0)
    ->Arg(1)
    ->UseManualTime()
    ->Iterations(500)
    ->Unit(benchmark::kMillisecond);

// The window with the Scriptus page active, recording following the pointer
// through the library's notifications; the library is handed over to it.
class TScriptusPage
{
public:
    TScriptusPage()
    {
        OnMainThread([&] {
            g_hooks->Unload();
            m_gui = std::make_unique<TGuiUi>();
            m_gui->Form().ShowPage(TPage::Scriptus);
            LoadHooks(QStringLiteral(PLENWICK_HOOKS_LIBRARY));
            InstallMessageHook();
        });
        ReadControlList();
    }
    ~TScriptusPage()
    {
        OnMainThread([&] {
            UnloadHooks();
            m_gui.reset();
            g_hooks->Load(QString::fromUtf8(PLENWICK_HOOKS_LIBRARY), &Received);
        });
        FreeControlList();
    }

private:
    std::unique_ptr<TGuiUi> m_gui;
};

// The pointer sweeps continuously over a window with many controls, which
// every second does not answer for 300 ms, for 10 s; a 1 ms timer on the main
// thread measures the longest gap between its ticks.
void BM_MainThreadStallWhileMoving(benchmark::State& state)
{
    SetWindowManager(false);
    std::unique_ptr<TScriptusPage> page;
    if (state.range(0) != 0)
        page = std::make_unique<TScriptusPage>();
    TPointer pointer;
    std::atomic<double> worstGapMs{0};
    QTimer* timer = nullptr;
    Clock::time_point lastTick;
    OnMainThread([&] {
        timer = new QTimer;
        timer->setTimerType(Qt::PreciseTimer);
        lastTick = Clock::now();
        QObject::connect(timer, &QTimer::timeout, [&] {
            const Clock::time_point now = Clock::now();
            const double gap = std::chrono::duration<double, std::milli>(now - lastTick).count();
            if (gap > worstGapMs)
                worstGapMs = gap;
            lastTick = now;
        });
        timer->start(1);
    });
    for (auto _ : state) {
        const Clock::time_point end = Clock::now() + std::chrono::seconds(10);
        for (int i = 0; Clock::now() < end; ++i) {
            pointer.MoveTo(50 + i % 600, 50 + (i / 600) % 400);
            std::this_thread::sleep_for(std::chrono::microseconds(500));
        }
    }
    OnMainThread([&] { delete timer; });
    state.counters["worst_stall_ms"] = worstGapMs.load();
    if (page)
        state.counters["control_shown"] = RecordingTemplate().HasPosition ? 1 : 0;
}
BENCHMARK(BM_MainThreadStallWhileMoving)
    ->ArgName("scriptus_page")
    ->Arg(0)
    ->Arg(1)
    ->Iterations(1)
    ->Unit(benchmark::kSecond)
    ->UseRealTime();

} // namespace

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    // The window lives offscreen; the private desktop is for the programs.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    TBenchHome home;
    // This computer is the master server, where recording runs.
    MainConfig().Set(QStringLiteral("NetServerName"), QStringLiteral("benchhost"));
    TDesktopSession desktop;
    if (!desktop.Start()) {
        std::fprintf(stderr, "%s\n", desktop.Error().c_str());
        return 1;
    }
    g_desktop = &desktop;
    TDesktopSession::TProgram* busy = desktop.Launch({SCRIPTUS_QT_PROBE, "--controls=2000", "--busy=300"});
    TDesktopSession::WaitForLine(*busy, "ready");
    THooksLibrary hooks;
    g_hooks = &hooks;
    if (!hooks.Load(QString::fromUtf8(PLENWICK_HOOKS_LIBRARY), &Received)) {
        std::fprintf(stderr, "Die Hooks-Bibliothek ließ sich nicht laden\n");
        return 1;
    }
    std::thread runner([&] {
        benchmark::RunSpecifiedBenchmarks();
        QMetaObject::invokeMethod(
            &app, [] { QCoreApplication::quit(); }, Qt::QueuedConnection);
    });
    const int rc = app.exec();
    runner.join();
    hooks.Unload();
    g_windowManager = nullptr;
    benchmark::Shutdown();
    return rc;
}
