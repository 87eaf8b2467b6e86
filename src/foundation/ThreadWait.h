// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

class QThread;

/// Waits until the thread has ended. On the main thread the event loop keeps
/// running meanwhile, because the thread may be waiting there to log.
void WaitForThreadEnd(QThread& thread);
