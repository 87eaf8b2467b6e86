// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <functional>

/// The object update timer: on a client it starts a synchronisation every
/// ClientUpdateIntervalInMillisecs while ClientAutoInstall is on. It lives on the
/// main thread; the option filters switch it, start-up gives it its handler.
class TObjectUpdateTimer
{
public:
    static void SetEnabled(bool enabled);
    static void SetInterval(int milliseconds);
    static bool IsEnabled();
    static int Interval();
    /// What a tick does (start-up installs the update-session start).
    static void SetHandler(std::function<void()> handler);
};
