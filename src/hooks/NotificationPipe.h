// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <deque>

#include "base/HooksInterface.h"

/// The write end of the program's notification pipe, never blocking on it.
/// What the pipe cannot take now waits in a queue; only movements may be
/// merged, so no key or button notification is lost while the program is busy.
class TNotificationPipe
{
public:
    /// Takes the descriptor without owning it; switches it to non-blocking.
    explicit TNotificationPipe(int fd);

    /// Queues a notification. A movement replaces a movement still waiting
    /// at the end of the queue.
    void Push(const THooksNotification& notification, bool movement);
    /// Writes what the pipe takes now; true when nothing is left waiting.
    bool Flush();
    bool Pending() const { return !m_queue.empty(); }
    int Fd() const { return m_fd; }

private:
    struct TQueued {
        THooksNotification notification;
        bool movement;
    };

    int m_fd;
    bool m_closed = false;
    std::deque<TQueued> m_queue;
};
