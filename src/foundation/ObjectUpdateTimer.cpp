// SPDX-License-Identifier: GPL-3.0-or-later
#include "foundation/ObjectUpdateTimer.h"

#include <QCoreApplication>
#include <QTimer>

#include "foundation/PoolInterlocked.h"

namespace {

struct TTimerState {
    QTimer* timer = nullptr;
    std::function<void()> handler;
};

TTimerState& State()
{
    static TTimerState state;
    return state;
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

} // namespace

void TObjectUpdateTimer::SetEnabled(bool enabled)
{
    // The option filters may call from a worker holding the configuration lock:
    // never wait for the main thread here.
    TPoolInterlocked::Post([enabled] {
        if (enabled)
            Timer().start();
        else
            Timer().stop();
    });
}

void TObjectUpdateTimer::SetInterval(int milliseconds)
{
    TPoolInterlocked::Post([milliseconds] { Timer().setInterval(milliseconds > 0 ? milliseconds : 1); });
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
