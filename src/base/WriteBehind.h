// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <condition_variable>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>

#include <QtGlobal>

#include "base/WorkerThread.h"

/// Bytes gathered in buffers of a fixed size and handed on in order to a
/// consumer on a thread of its own, while the caller fills the next buffer:
/// what the consumer costs (a digest, the disk) overlaps with what the
/// caller does. Input that never fills a buffer is consumed on the caller's
/// thread at Drain, so that small amounts need no thread.
class TWriteBehind
{
public:
    using TConsumer = std::function<void(const char* data, qsizetype size)>;

    /// role names the thread.
    TWriteBehind(const char* role, qsizetype bufferSize, TConsumer consume);
    /// Waits for what the thread still consumes.
    ~TWriteBehind();
    TWriteBehind(const TWriteBehind&) = delete;
    TWriteBehind& operator=(const TWriteBehind&) = delete;

    /// An exception the consumer raised comes back from the next Add or
    /// Drain, until Reset.
    void Add(const char* data, qsizetype size);
    /// Hands on the rest and waits until everything is consumed.
    void Drain();
    /// Drops the rest, waits for the thread and forgets its error.
    void Reset();

private:
    void HandOn();
    // False when the system gives no thread.
    bool StartThread();
    // The filling buffer, consumed on the caller's thread.
    void ConsumeHere();
    // Waits until the thread holds no buffer.
    void WaitIdle(std::unique_lock<std::mutex>& guard);
    void Consume();

    const char* m_role;
    qsizetype m_bufferSize;
    TConsumer m_consume;
    std::unique_ptr<char[]> m_buffers[2];
    int m_filling = 0;
    qsizetype m_filled = 0;
    std::mutex m_lock;
    std::condition_variable m_changed;
    int m_handedIndex = 0; // the buffer the thread holds
    qsizetype m_handedSize = 0;
    bool m_handed = false;
    bool m_closing = false;
    std::exception_ptr m_error;
    TWorkerThread m_thread;
};
