// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <functional>

/// The object update timer: on a client it starts a synchronisation every
/// ClientUpdateIntervalInMillisecs while ClientAutoInstall is on, and a few
/// seconds after an address or default route appears. It lives on the
/// main thread; the option filters switch it, start-up gives it its handler.
class TObjectUpdateTimer
{
public:
    /// Whether synchronisation by timer is wanted (ClientAutoInstall). The
    /// timer runs while it is wanted and no update runs.
    static void SetEnabled(bool enabled);
    /// An update session begins and ends: the timer pauses while any runs,
    /// however they overlap.
    static void UpdateStarted();
    static void UpdateEnded();
    static void SetInterval(int milliseconds);
    /// Whether the timer runs now.
    static bool IsEnabled();
    static int Interval();
    /// What a tick does (start-up installs the update-session start).
    static void SetHandler(std::function<void()> handler);
};
