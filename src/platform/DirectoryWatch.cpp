// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/DirectoryWatch.h"

#include <cerrno>

#include <poll.h>
#include <sys/inotify.h>
#include <unistd.h>

namespace {

constexpr uint32_t kEvents =
    IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO | IN_MODIFY | IN_CLOSE_WRITE | IN_ATTRIB | IN_ONLYDIR;

} // namespace

TDirectoryWatch::TDirectoryWatch()
{
    m_fd = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (m_fd < 0)
        m_initError = errno;
}

TDirectoryWatch::~TDirectoryWatch()
{
    for (int handle = 0; handle < static_cast<int>(m_handles.size()); ++handle) {
        int error = 0;
        Close(handle, error);
    }
    if (m_fd >= 0)
        ::close(m_fd);
}

int TDirectoryWatch::Add(const QString& folder, int& error)
{
    if (m_fd < 0) {
        error = m_initError;
        return -1;
    }
    const int descriptor = inotify_add_watch(m_fd, folder.toUtf8().constData(), kEvents);
    if (descriptor < 0) {
        error = errno;
        return -1;
    }
    m_gone.remove(descriptor);
    ++m_users[descriptor];
    m_handles.push_back(THandle{descriptor, false});
    return static_cast<int>(m_handles.size()) - 1;
}

bool TDirectoryWatch::Close(int handle, int& error)
{
    THandle& entry = m_handles.at(handle);
    const int descriptor = entry.descriptor;
    if (descriptor < 0)
        return true;
    entry.descriptor = -1;
    if (--m_users[descriptor] > 0)
        return true;
    m_users.remove(descriptor);
    // The system has already dropped the watch of a deleted folder.
    if (m_gone.remove(descriptor) > 0)
        return true;
    if (inotify_rm_watch(m_fd, descriptor) != 0) {
        error = errno;
        return false;
    }
    return true;
}

bool TDirectoryWatch::Drain(int& error)
{
    alignas(inotify_event) char buffer[16384];
    for (;;) {
        const ssize_t length = ::read(m_fd, buffer, sizeof buffer);
        if (length < 0) {
            if (errno == EAGAIN || errno == EWOULDBLOCK)
                return true;
            if (errno == EINTR)
                continue;
            error = errno;
            return false;
        }
        for (ssize_t offset = 0; offset < length;) {
            const auto* event = reinterpret_cast<const inotify_event*>(buffer + offset);
            offset += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
            if (event->mask & IN_IGNORED)
                m_gone.insert(event->wd, true);
            for (THandle& entry : m_handles)
                // An overflow lost events of unknown folders: signal them all.
                if (entry.descriptor >= 0 && (entry.descriptor == event->wd || (event->mask & IN_Q_OVERFLOW)))
                    entry.signalled = true;
        }
    }
}

TDirectoryWatch::TWait TDirectoryWatch::Wait(int timeoutMs)
{
    TWait wait;
    if (m_fd < 0) {
        wait.result = TResult::Failed;
        wait.error = m_initError;
        return wait;
    }
    const auto firstSignalled = [this]() {
        for (int handle = 0; handle < static_cast<int>(m_handles.size()); ++handle)
            if (m_handles[handle].signalled && m_handles[handle].descriptor >= 0)
                return handle;
        return -1;
    };
    int handle = firstSignalled();
    if (handle < 0) {
        pollfd entry{m_fd, POLLIN, 0};
        const int ready = ::poll(&entry, 1, timeoutMs);
        if (ready < 0 && errno != EINTR) {
            wait.result = TResult::Failed;
            wait.error = errno;
            return wait;
        }
        if (ready <= 0)
            return wait;
    }
    if (!Drain(wait.error)) {
        wait.result = TResult::Failed;
        return wait;
    }
    handle = firstSignalled();
    if (handle >= 0) {
        wait.result = TResult::Signalled;
        wait.handle = handle;
    }
    return wait;
}

void TDirectoryWatch::Rearm(int handle)
{
    m_handles.at(handle).signalled = false;
}
