// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <pthread.h>

#include <atomic>
#include <functional>

class QObject;

/// A thread of ours: it carries its role as its name (top -H, gdb,
/// sanitizer reports) and belongs to whoever started it, who joins it. The
/// destructor joins a thread still running.
class TWorkerThread
{
public:
    TWorkerThread() = default;
    ~TWorkerThread();
    TWorkerThread(const TWorkerThread&) = delete;
    TWorkerThread& operator=(const TWorkerThread&) = delete;

    /// Starts body on a new thread named role (cut to the 15 characters the
    /// system keeps), with a stack of stackBytes when not 0 (the system's
    /// default, often 8 MiB, otherwise). Not while an earlier body still
    /// runs. Raises std::system_error when no thread can be had.
    void Start(const char* role, std::function<void()> body, size_t stackBytes = 0);
    /// Waits until the body has returned; at once when none was started.
    void Join();
    /// The body has returned: a Join would not wait.
    bool Finished() const { return m_finished; }
    bool Started() const { return m_joinable; }
    /// Whether the caller runs on this thread.
    bool IsCurrent() const;

private:
    static void* Enter(void* start);

    pthread_t m_handle{};
    bool m_joinable = false;
    std::atomic<bool> m_finished{false};
};

/// Names the calling thread (cut to 15 characters).
void NameThisThread(const char* role);

/// Runs work on a Qt thread named role; done runs afterwards on context's
/// thread, unless context is gone by then. For the short blocking calls a
/// window must not wait for.
void RunInBackground(QObject* context, const char* role, std::function<void()> work, std::function<void()> done);
