// SPDX-License-Identifier: GPL-3.0-or-later
#include "foundation/ObjectUpdateTimer.h"

#include <memory>

#include <QCoreApplication>
#include <QTimer>

#include "foundation/PoolInterlocked.h"
#include "platform/NetworkWatch.h"

namespace {

// Changed on the main thread only; the timer's state follows from both.
struct TTimerState {
    QTimer* timer = nullptr;
    std::function<void()> handler;
    bool wanted = false;
    int runningUpdates = 0;
    // While synchronisation is wanted: a computer that wakes or gets its
    // cable back synchronises at once, not at the next tick.
    std::unique_ptr<TNetworkWatch> network;
};

TTimerState& State()
{
    static TTimerState state;
    return state;
}

// Routing messages come in bursts while an interface comes up.
constexpr int kNetworkQuietMs = 3000;

void NetworkCameUp()
{
    TPoolInterlocked::Post([] {
        const TTimerState& s = State();
        if (!s.wanted || !s.handler)
            return;
        Log(QStringLiteral("Client"), QStringLiteral("Das Netzwerk ist verfügbar, Synchronisation wird gestartet"), 50);
        s.handler();
    });
}

void WatchNetwork(bool wanted)
{
    TTimerState& s = State();
    if (!wanted) {
        s.network.reset();
        return;
    }
    if (s.network)
        return;
    try {
        s.network = std::make_unique<TNetworkWatch>(&NetworkCameUp, kNetworkQuietMs);
    } catch (const std::exception& error) {
        Log(QStringLiteral("Client"), ExceptionText(error), 50);
    }
}

// Created lazily on the main thread, parented to the application so it goes with it.
QTimer& Timer()
{
    TTimerState& s = State();
    if (s.timer == nullptr) {
        s.timer = new QTimer(QCoreApplication::instance());
        QObject::connect(s.timer, &QTimer::timeout, [] {
            if (State().handler)
                State().handler();
        });
    }
    return *s.timer;
}

// The one place that switches the timer. A running timer is left alone:
// starting it again would push its next tick back.
void Apply()
{
    const TTimerState& s = State();
    if (!s.wanted || s.runningUpdates > 0)
        Timer().stop();
    else if (!Timer().isActive())
        Timer().start();
}

} // namespace

void TObjectUpdateTimer::SetEnabled(bool enabled)
{
    // The option filters may call from a worker holding the configuration lock:
    // never wait for the main thread here.
    TPoolInterlocked::Post([enabled] {
        State().wanted = enabled;
        WatchNetwork(enabled);
        Apply();
    });
}

void TObjectUpdateTimer::UpdateStarted()
{
    TPoolInterlocked::Post([] {
        ++State().runningUpdates;
        Apply();
    });
}

void TObjectUpdateTimer::UpdateEnded()
{
    TPoolInterlocked::Post([] {
        --State().runningUpdates;
        Apply();
    });
}

void TObjectUpdateTimer::SetInterval(int milliseconds)
{
    // Setting the interval restarts a running timer: a value read again and
    // again but never changed must not keep it from firing.
    TPoolInterlocked::Post([milliseconds] {
        const int interval = milliseconds > 0 ? milliseconds : 1;
        if (Timer().interval() != interval)
            Timer().setInterval(interval);
    });
}

bool TObjectUpdateTimer::IsEnabled()
{
    bool active = false;
    TPoolInterlocked::Synchronize([&] { active = Timer().isActive(); });
    return active;
}

int TObjectUpdateTimer::Interval()
{
    int interval = 0;
    TPoolInterlocked::Synchronize([&] { interval = Timer().interval(); });
    return interval;
}

void TObjectUpdateTimer::SetHandler(std::function<void()> handler)
{
    TPoolInterlocked::Synchronize([&] { State().handler = std::move(handler); });
}
