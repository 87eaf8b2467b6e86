// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <functional>

class QThread;

/// Waits until done() holds, asking every few milliseconds. On the main
/// thread the event loop keeps turning meanwhile: what is awaited may itself
/// wait for the main thread (a log entry, a question).
void WaitTurningEvents(const std::function<bool()>& done);

/// Waits until the thread has ended. On the main thread the event loop keeps
/// running meanwhile, because the thread may be waiting there, and what the
/// thread reported to the window has arrived when the call returns.
void WaitForThreadEnd(QThread& thread);
