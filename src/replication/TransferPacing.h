// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <variant>

#include <QtGlobal>

/// The sends of one object's bytes under way on this computer, and the copies
/// the master server sent out lately. When many clients want the same new
/// object at once, the master sends it a few times and asks the others to
/// come back shortly, by which time the first ones pass it on as providers.

/// One send of an object; counts as a copy sent out once it succeeded.
class TSendSlot
{
public:
    explicit TSendSlot(quint64 id) : m_id(id) {}
    TSendSlot(TSendSlot&& other) noexcept : m_id(other.m_id), m_held(other.m_held), m_sent(other.m_sent)
    {
        other.m_held = false;
    }
    TSendSlot(const TSendSlot&) = delete;
    TSendSlot& operator=(const TSendSlot&) = delete;
    TSendSlot& operator=(TSendSlot&&) = delete;
    ~TSendSlot();

    /// Every byte went out.
    void Sent() { m_sent = true; }

private:
    quint64 m_id;
    bool m_held = true;
    bool m_sent = false;
};

/// What a request that may wait is told instead of the bytes.
struct TComeBackLater {
    /// Copies of the object this computer sent out lately.
    int copiesOut = 0;
};

/// A slot to send the object with this id and plain size now, or, for an
/// asker that may wait, the word to come back later: while this computer
/// sends that object to another, and on the master server once it has sent
/// a few copies lately. Small objects are always sent at once.
std::variant<TSendSlot, TComeBackLater> TakeSendSlot(quint64 id, qint64 size, bool askerMayWait);

/// Whether this computer sends the object with this id right now.
bool SendingNow(quint64 id);

/// Forgets every send and copy (tests: each starts afresh).
void ClearTransferPacing();
