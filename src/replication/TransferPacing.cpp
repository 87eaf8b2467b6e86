// SPDX-License-Identifier: GPL-3.0-or-later
#include "replication/TransferPacing.h"

#include <chrono>
#include <deque>
#include <mutex>

#include <QHash>

#include "foundation/MainConfig.h"

namespace {

using TClock = std::chrono::steady_clock;

// Below this size a send costs less than the asker's round of waiting.
constexpr qint64 kPacedSize = 1024 * 1024;
// The master's copies that are enough to start the fleet off; the peers that
// hold them pass the object on.
constexpr int kMasterCopies = 3;
// Copies older than this may be on computers that are off by now.
constexpr auto kCopyMemory = std::chrono::minutes(10);

struct TObjectSends {
    int active = 0;
    std::deque<TClock::time_point> copies; // oldest first
};

struct TPacing {
    std::mutex lock;
    QHash<quint64, TObjectSends> sends; // by object id
};

TPacing& Pacing()
{
    static TPacing pacing;
    return pacing;
}

void ForgetOldCopies(TObjectSends& sends, TClock::time_point now)
{
    while (!sends.copies.empty() && now - sends.copies.front() > kCopyMemory)
        sends.copies.pop_front();
}

// An entry with nothing under way and no copy to remember goes; so the
// table holds only the objects sent in the last minutes.
void ForgetIdle(QHash<quint64, TObjectSends>& sends, TClock::time_point now)
{
    for (auto entry = sends.begin(); entry != sends.end();) {
        ForgetOldCopies(*entry, now);
        if (entry->active == 0 && entry->copies.empty())
            entry = sends.erase(entry);
        else
            ++entry;
    }
}

} // namespace

TSendSlot::~TSendSlot()
{
    if (!m_held)
        return;
    TPacing& pacing = Pacing();
    std::lock_guard guard(pacing.lock);
    const auto entry = pacing.sends.find(m_id);
    if (entry == pacing.sends.end())
        return;
    --entry->active;
    if (m_sent)
        entry->copies.push_back(TClock::now());
}

std::variant<TSendSlot, TComeBackLater> TakeSendSlot(quint64 id, qint64 size, bool askerMayWait)
{
    TPacing& pacing = Pacing();
    const TClock::time_point now = TClock::now();
    std::lock_guard guard(pacing.lock);
    ForgetIdle(pacing.sends, now);
    TObjectSends& sends = pacing.sends[id];
    const int copies = static_cast<int>(sends.copies.size());
    const bool enoughCopies = IsMasterServer() && copies >= kMasterCopies;
    if (askerMayWait && size >= kPacedSize && (sends.active > 0 || enoughCopies))
        return TComeBackLater{copies};
    ++sends.active;
    return TSendSlot(id);
}

bool SendingNow(quint64 id)
{
    TPacing& pacing = Pacing();
    std::lock_guard guard(pacing.lock);
    const auto entry = pacing.sends.constFind(id);
    return entry != pacing.sends.cend() && entry->active > 0;
}

void ClearTransferPacing()
{
    TPacing& pacing = Pacing();
    std::lock_guard guard(pacing.lock);
    pacing.sends.clear();
}
