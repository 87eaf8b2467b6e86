// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <condition_variable>
#include <mutex>
#include <thread>

/// A multi-reader/single-writer lock that the writing thread may take again,
/// for reading or for writing, while it holds it. Readers may nest as well;
/// waiting writers do not hold back new readers, so a nested read never
/// deadlocks behind a writer. A reader must not ask for writing.
class TReentrantRWLock
{
public:
    void LockRead();
    void UnlockRead();
    void LockWrite();
    void UnlockWrite();

    /// Whether the calling thread holds the lock for writing.
    bool HeldForWriting() const;

private:
    mutable std::mutex m_mutex;
    std::condition_variable m_changed;
    std::thread::id m_writer;
    int m_writeDepth = 0;
    // Read entries taken by the writer itself while it writes.
    int m_writerReads = 0;
    int m_readers = 0;
};

/// Holds a TReentrantRWLock for reading for one scope.
class TReadGuard
{
public:
    explicit TReadGuard(TReentrantRWLock& lock) : m_lock(lock) { m_lock.LockRead(); }
    ~TReadGuard() { m_lock.UnlockRead(); }
    TReadGuard(const TReadGuard&) = delete;
    TReadGuard& operator=(const TReadGuard&) = delete;

private:
    TReentrantRWLock& m_lock;
};

/// Holds a TReentrantRWLock for writing for one scope.
class TWriteGuard
{
public:
    explicit TWriteGuard(TReentrantRWLock& lock) : m_lock(lock) { m_lock.LockWrite(); }
    ~TWriteGuard() { m_lock.UnlockWrite(); }
    TWriteGuard(const TWriteGuard&) = delete;
    TWriteGuard& operator=(const TWriteGuard&) = delete;

private:
    TReentrantRWLock& m_lock;
};
