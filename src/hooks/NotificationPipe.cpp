// SPDX-License-Identifier: GPL-3.0-or-later
#include "hooks/NotificationPipe.h"

#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

TNotificationPipe::TNotificationPipe(int fd) : m_fd(fd)
{
    // A blocked write would hang UninstallHooks, whatever the caller made.
    const int flags = fcntl(fd, F_GETFL);
    if (flags >= 0 && !(flags & O_NONBLOCK))
        fcntl(fd, F_SETFL, flags | O_NONBLOCK);
}

void TNotificationPipe::Push(const THooksNotification& notification, bool movement)
{
    if (m_closed)
        return;
    if (movement && !m_queue.empty() && m_queue.back().movement) {
        m_queue.back().notification = notification;
        return;
    }
    m_queue.push_back({notification, movement});
}

bool TNotificationPipe::Flush()
{
    while (!m_queue.empty()) {
        const ssize_t written = write(m_fd, &m_queue.front().notification, sizeof(THooksNotification));
        if (written == ssize_t(sizeof(THooksNotification))) {
            m_queue.pop_front();
            continue;
        }
        if (written < 0 && errno == EINTR)
            continue;
        if (written < 0 && errno == EAGAIN)
            return false;
        // The reader is gone (EPIPE; SIGPIPE is blocked on this thread): nobody
        // will ever read what waits.
        m_closed = true;
        m_queue.clear();
    }
    return true;
}
