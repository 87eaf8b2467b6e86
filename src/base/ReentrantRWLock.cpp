// SPDX-License-Identifier: GPL-3.0-or-later
#include "base/ReentrantRWLock.h"

void TReentrantRWLock::LockRead()
{
    std::unique_lock guard(m_mutex);
    if (m_writeDepth > 0 && m_writer == std::this_thread::get_id()) {
        ++m_writerReads;
        return;
    }
    m_changed.wait(guard, [this] { return m_writeDepth == 0; });
    ++m_readers;
}

void TReentrantRWLock::UnlockRead()
{
    std::lock_guard guard(m_mutex);
    if (m_writeDepth > 0 && m_writer == std::this_thread::get_id() && m_writerReads > 0) {
        --m_writerReads;
        return;
    }
    if (--m_readers == 0)
        m_changed.notify_all();
}

void TReentrantRWLock::LockWrite()
{
    std::unique_lock guard(m_mutex);
    const auto self = std::this_thread::get_id();
    if (m_writeDepth > 0 && m_writer == self) {
        ++m_writeDepth;
        return;
    }
    m_changed.wait(guard, [this] { return m_writeDepth == 0 && m_readers == 0; });
    m_writer = self;
    m_writeDepth = 1;
}

void TReentrantRWLock::UnlockWrite()
{
    std::lock_guard guard(m_mutex);
    if (--m_writeDepth == 0) {
        m_writer = std::thread::id();
        m_changed.notify_all();
    }
}

bool TReentrantRWLock::HeldForWriting() const
{
    std::lock_guard guard(m_mutex);
    return m_writeDepth > 0 && m_writer == std::this_thread::get_id();
}
