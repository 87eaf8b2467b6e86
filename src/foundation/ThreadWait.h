// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

class QThread;

/// Waits until the thread has ended. On the main thread the event loop keeps
/// running meanwhile, because the thread may be waiting there, and what the
/// thread reported to the window has arrived when the call returns.
void WaitForThreadEnd(QThread& thread);
