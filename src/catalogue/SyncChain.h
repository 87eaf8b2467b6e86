// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <shared_mutex>

/// A node of one of the catalogue lists (objects, clients, users, downloads,
/// controls). One process-wide chain lock guards the links of all lists:
/// reads of the links take it shared, link changes exclusive.
class TSyncChain
{
public:
    TSyncChain() = default;
    virtual ~TSyncChain() = default;
    TSyncChain(const TSyncChain&) = delete;
    TSyncChain& operator=(const TSyncChain&) = delete;

    TSyncChain* GetNext() const;
    TSyncChain* GetPrevious() const;

    static std::shared_mutex& ChainLock();

private:
    friend class TChainList;
    TSyncChain* m_previous = nullptr;
    TSyncChain* m_next = nullptr;
};

/// Head and tail of one catalogue list. The list owns its nodes: Remove and
/// Clear destroy them.
class TChainList
{
public:
    TChainList() = default;
    ~TChainList();
    TChainList(const TChainList&) = delete;
    TChainList& operator=(const TChainList&) = delete;

    TSyncChain* Head() const;
    TSyncChain* Tail() const;
    bool IsEmpty() const { return Head() == nullptr; }

    /// Takes ownership and links the node in as the new tail.
    void Append(TSyncChain* node);
    /// Unlinks the node and destroys it.
    void Remove(TSyncChain* node);
    /// Unlinks the node, which keeps its own links; the caller owns it.
    void Unlink(TSyncChain* node);
    /// Destroys every node and clears head and tail.
    void Clear();

private:
    TSyncChain* m_head = nullptr;
    TSyncChain* m_tail = nullptr;
};
