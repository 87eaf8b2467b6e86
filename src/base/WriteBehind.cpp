// SPDX-License-Identifier: GPL-3.0-or-later
#include "base/WriteBehind.h"

#include <algorithm>
#include <cstring>
#include <system_error>
#include <utility>

TWriteBehind::TWriteBehind(const char* role, qsizetype bufferSize, TConsumer consume)
    : m_role(role), m_bufferSize(bufferSize), m_consume(std::move(consume))
{
}

TWriteBehind::~TWriteBehind()
{
    {
        std::lock_guard guard(m_lock);
        m_closing = true;
    }
    m_changed.notify_all();
    m_thread.Join();
}

void TWriteBehind::Add(const char* data, qsizetype size)
{
    while (size > 0) {
        std::unique_ptr<char[]>& buffer = m_buffers[m_filling];
        if (!buffer)
            buffer = std::make_unique_for_overwrite<char[]>(static_cast<size_t>(m_bufferSize));
        const qsizetype take = std::min(size, m_bufferSize - m_filled);
        std::memcpy(buffer.get() + m_filled, data, static_cast<size_t>(take));
        m_filled += take;
        data += take;
        size -= take;
        if (m_filled == m_bufferSize)
            HandOn();
    }
}

void TWriteBehind::HandOn()
{
    if (!m_thread.Started() && !StartThread()) {
        // Without a thread of its own the caller consumes: slower, nothing lost.
        ConsumeHere();
        return;
    }
    {
        std::unique_lock guard(m_lock);
        WaitIdle(guard);
        if (m_error)
            std::rethrow_exception(m_error);
        m_handedIndex = m_filling;
        m_handedSize = m_filled;
        m_handed = true;
    }
    m_changed.notify_all();
    m_filling ^= 1;
    m_filled = 0;
}

bool TWriteBehind::StartThread()
{
    try {
        m_thread.Start(m_role, [this] { Consume(); });
        return true;
    } catch (const std::system_error&) {
        return false;
    }
}

void TWriteBehind::ConsumeHere()
{
    const qsizetype filled = std::exchange(m_filled, 0);
    if (filled > 0)
        m_consume(m_buffers[m_filling].get(), filled);
}

void TWriteBehind::Drain()
{
    if (!m_thread.Started()) {
        ConsumeHere();
        return;
    }
    if (m_filled > 0)
        HandOn();
    std::unique_lock guard(m_lock);
    WaitIdle(guard);
    if (m_error)
        std::rethrow_exception(m_error);
}

void TWriteBehind::Reset()
{
    m_filled = 0;
    std::unique_lock guard(m_lock);
    WaitIdle(guard);
    m_error = nullptr;
}

void TWriteBehind::WaitIdle(std::unique_lock<std::mutex>& guard)
{
    m_changed.wait(guard, [this] { return !m_handed; });
}

void TWriteBehind::Consume()
{
    std::unique_lock guard(m_lock);
    while (true) {
        m_changed.wait(guard, [this] { return m_handed || m_closing; });
        if (!m_handed)
            return;
        const char* data = m_buffers[m_handedIndex].get();
        const qsizetype size = m_handedSize;
        guard.unlock();
        std::exception_ptr error;
        try {
            m_consume(data, size);
        } catch (...) {
            error = std::current_exception();
        }
        guard.lock();
        m_error = error ? error : m_error;
        m_handed = false;
        m_changed.notify_all();
    }
}
