// SPDX-License-Identifier: GPL-3.0-or-later
#include "catalogue/SyncChain.h"

#include <mutex>

TSyncChain* TSyncChain::GetNext() const
{
    std::shared_lock guard(ChainLock());
    return m_next;
}

TSyncChain* TSyncChain::GetPrevious() const
{
    std::shared_lock guard(ChainLock());
    return m_previous;
}

std::shared_mutex& TSyncChain::ChainLock()
{
    static std::shared_mutex lock;
    return lock;
}

TChainList::~TChainList()
{
    Clear();
}

TSyncChain* TChainList::Head() const
{
    std::shared_lock guard(TSyncChain::ChainLock());
    return m_head;
}

TSyncChain* TChainList::Tail() const
{
    std::shared_lock guard(TSyncChain::ChainLock());
    return m_tail;
}

void TChainList::Append(TSyncChain* node)
{
    std::unique_lock guard(TSyncChain::ChainLock());
    if (m_head == nullptr)
        m_head = node;
    if (m_tail != nullptr)
        m_tail->m_next = node;
    node->m_previous = m_tail;
    node->m_next = nullptr;
    m_tail = node;
}

void TChainList::Remove(TSyncChain* node)
{
    Unlink(node);
    delete node;
}

void TChainList::Unlink(TSyncChain* node)
{
    std::unique_lock guard(TSyncChain::ChainLock());
    (node->m_previous != nullptr ? node->m_previous->m_next : m_head) = node->m_next;
    (node->m_next != nullptr ? node->m_next->m_previous : m_tail) = node->m_previous;
}

void TChainList::Clear()
{
    TSyncChain* node = nullptr;
    {
        std::unique_lock guard(TSyncChain::ChainLock());
        node = m_head;
        m_head = m_tail = nullptr;
    }
    // Destroyed outside the lock: a node's destructor may itself read links.
    while (node != nullptr) {
        TSyncChain* next = node->m_next;
        delete node;
        node = next;
    }
}
