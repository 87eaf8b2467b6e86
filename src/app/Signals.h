// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <functional>

/// Delivers SIGTERM and SIGINT to the main thread's event loop. The handler
/// itself only writes the signal number into a socket pair; a notifier on the
/// main thread reads it and calls onSignal there, where anything may be done.
/// Also ignores SIGPIPE, so a peer that closes its socket cannot end the process.
/// Call once, after the application object exists.
void WatchTerminationSignals(std::function<void(int signal)> onSignal);
