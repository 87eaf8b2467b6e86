// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <algorithm>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <vector>

/// A hash index of entries whose keys live elsewhere: an open-addressing
/// table (linear probing, at most half full) that holds only the entries,
/// pointers or numbers, and asks its owner for an entry's hash where it needs
/// one. Nothing is allocated per entry, and an entry costs two to four slots
/// of its own size. Several entries may share a key. kEmpty marks a free slot
/// and is never stored.
template <class Entry, Entry kEmpty = Entry()>
class TOpenIndex
{
public:
    /// Calls visit(entry) for the entries that may have this hash (others of
    /// the same probe run too: visit tells the ones it wants apart) until
    /// visit returns false.
    template <class Visit>
    void ForEach(std::size_t hash, Visit&& visit) const
    {
        if (m_slots.empty())
            return;
        for (std::size_t i = Home(hash); m_slots[i] != kEmpty; i = Next(i))
            if (!visit(m_slots[i]))
                return;
    }

    /// Adds an entry under its hash; hashOf(entry) gives the hash of any entry
    /// held, for when the table grows.
    template <class HashOf>
    void Insert(std::size_t hash, Entry entry, HashOf&& hashOf)
    {
        if ((m_count + 1) * 2 > m_slots.size())
            Grow(hashOf);
        Place(hash, entry);
        ++m_count;
    }

    /// Removes the entry stored under that hash, if it is there.
    template <class HashOf>
    void Remove(std::size_t hash, Entry entry, HashOf&& hashOf)
    {
        if (m_slots.empty())
            return;
        std::size_t hole = Home(hash);
        for (; m_slots[hole] != entry; hole = Next(hole))
            if (m_slots[hole] == kEmpty)
                return;
        // Later entries of the run move back into the hole, unless their home
        // lies after it: every run stays unbroken, without tombstones.
        for (std::size_t i = Next(hole); m_slots[i] != kEmpty; i = Next(i)) {
            const std::size_t home = Home(hashOf(m_slots[i]));
            if (((i - home) & Mask()) < ((i - hole) & Mask()))
                continue;
            m_slots[hole] = m_slots[i];
            hole = i;
        }
        m_slots[hole] = kEmpty;
        --m_count;
    }

    /// Empties the index and makes room for this many entries, which then go
    /// in without a regrowth.
    void Reset(std::size_t expected)
    {
        const std::size_t slots = std::bit_ceil(std::max<std::size_t>(16, expected * 2));
        m_slots.assign(slots, kEmpty);
        m_shift = 64 - std::countr_zero(slots);
        m_count = 0;
    }

    void Clear()
    {
        std::vector<Entry>().swap(m_slots);
        m_count = 0;
    }

    std::size_t Size() const { return m_count; }

private:
    // Fibonacci hashing: the top bits of the product depend on every bit of
    // the hash, so that even plain numbers spread over the table.
    std::size_t Home(std::size_t hash) const
    {
        return static_cast<std::size_t>((static_cast<std::uint64_t>(hash) * 0x9E3779B97F4A7C15ull) >> m_shift);
    }
    std::size_t Mask() const { return m_slots.size() - 1; }
    std::size_t Next(std::size_t i) const { return (i + 1) & Mask(); }

    void Place(std::size_t hash, Entry entry)
    {
        std::size_t i = Home(hash);
        while (m_slots[i] != kEmpty)
            i = Next(i);
        m_slots[i] = entry;
    }

    template <class HashOf>
    void Grow(HashOf& hashOf)
    {
        const std::size_t slots = m_slots.empty() ? 16 : m_slots.size() * 2;
        std::vector<Entry> old(slots, kEmpty);
        old.swap(m_slots);
        m_shift = 64 - std::countr_zero(slots);
        for (const Entry entry : old)
            if (entry != kEmpty)
                Place(hashOf(entry), entry);
    }

    std::vector<Entry> m_slots;
    std::size_t m_count = 0;
    int m_shift = 64;
};
