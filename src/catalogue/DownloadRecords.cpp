// SPDX-License-Identifier: GPL-3.0-or-later
#include "catalogue/DownloadRecords.h"

#include <algorithm>
#include <optional>

#include <QHash>

#include "base/AtomicFile.h"
#include "base/TextFields.h"

namespace {

constexpr quint32 kNone = ~0u;

// A computer's key and an id number side by side: the pair itself, and its hash.
std::size_t PairOf(quint32 key, quint32 id)
{
    return (std::size_t{key} << 32) | id;
}

/// Texts one after another in one block, numbered in the order they came.
class TTextStore
{
public:
    using TValue = QByteArrayView;
    static std::size_t Hash(QByteArrayView text) { return qHash(text); }
    quint32 Add(QByteArrayView text)
    {
        m_bytes.append(text);
        m_ends.push_back(static_cast<quint32>(m_bytes.size()));
        return static_cast<quint32>(m_ends.size() - 1);
    }
    QByteArrayView At(quint32 number) const
    {
        const quint32 start = number == 0 ? 0 : m_ends[number - 1];
        return QByteArrayView(m_bytes.constData() + start, m_ends[number] - start);
    }
    quint32 Count() const { return static_cast<quint32>(m_ends.size()); }

private:
    QByteArray m_bytes;
    std::vector<quint32> m_ends;
};

/// Object ids, numbered in the order they came.
class TIdStore
{
public:
    using TValue = quint64;
    static std::size_t Hash(quint64 id) { return static_cast<std::size_t>(id); }
    quint32 Add(quint64 id)
    {
        m_ids.push_back(id);
        return static_cast<quint32>(m_ids.size() - 1);
    }
    quint64 At(quint32 number) const { return m_ids[number]; }
    quint32 Count() const { return static_cast<quint32>(m_ids.size()); }

private:
    std::vector<quint64> m_ids;
};

/// Values stored once each: a value that recurs in many records costs each
/// of them only its number.
template <class Store>
class TPool
{
public:
    using TValue = typename Store::TValue;

    quint32 Intern(TValue value)
    {
        const std::size_t hash = Store::Hash(value);
        if (const std::optional<quint32> found = Find(value, hash))
            return *found;
        const quint32 number = m_store.Add(value);
        m_index.Insert(hash, number, [this](quint32 held) { return Store::Hash(m_store.At(held)); });
        return number;
    }
    std::optional<quint32> Find(TValue value) const { return Find(value, Store::Hash(value)); }
    TValue At(quint32 number) const { return m_store.At(number); }
    quint32 Count() const { return m_store.Count(); }

private:
    std::optional<quint32> Find(TValue value, std::size_t hash) const
    {
        std::optional<quint32> found;
        m_index.ForEach(hash, [&](quint32 held) {
            if (m_store.At(held) != value)
                return true;
            found = held;
            return false;
        });
        return found;
    }

    Store m_store;
    TOpenIndex<quint32, kNone> m_index;
};

} // namespace

/// The stores the records point into. The key of a computer name is the
/// number of its case-folded form, stored as a name too: names that compare
/// equal ignoring case have one key, and a lookup folds the name it is given.
/// Lower case is what the file keeps, folding what the comparison needs; for
/// nearly every name the two are the same text and the key is the name itself.
/// Addresses and names stay until the list is freed: there are no more of
/// them than computers and addresses that ever confirmed. Ids change with
/// every change of an object, so a clean keeps only those still recorded.
class TDownloadRecords::TStores
{
public:
    TPool<TTextStore> addresses;
    TPool<TTextStore> names;
    std::vector<quint32> keyOf; // by name number
    TPool<TIdStore> ids;
};

TDownloadRecords::TDownloadRecords() : m_stores(std::make_unique<TStores>()) {}

TDownloadRecords::~TDownloadRecords() = default;

quint32 TDownloadRecords::InternName(const QString& computerName)
{
    TStores& stores = *m_stores;
    const quint32 name = stores.names.Intern(computerName.toUtf8());
    if (name == stores.keyOf.size()) {
        stores.keyOf.push_back(name);
        const QString folded = computerName.toCaseFolded();
        // A folded text folds to itself: it is its own key.
        if (folded != computerName) {
            const quint32 key = InternName(folded);
            stores.keyOf[name] = key;
        }
    }
    return name;
}

std::size_t TDownloadRecords::PairHash(const TRecord& record) const
{
    return PairOf(m_stores->keyOf[record.computerName], record.objectId);
}

bool TDownloadRecords::HoldsPair(std::size_t pair) const
{
    bool held = false;
    m_pairs.ForEach(pair, [&](quint32 index) {
        held = PairHash(m_records[index]) == pair;
        return !held;
    });
    return held;
}

bool TDownloadRecords::Add(const QString& address, quint64 objectId, const QString& computerName)
{
    const TRecord record{m_stores->addresses.Intern(address.toUtf8()), InternName(computerName),
                         m_stores->ids.Intern(objectId)};
    const std::size_t hash = PairHash(record);
    if (HoldsPair(hash))
        return false;
    m_records.push_back(record);
    m_pairs.Insert(hash, static_cast<quint32>(m_records.size() - 1),
                   [this](quint32 index) { return PairHash(m_records[index]); });
    return true;
}

bool TDownloadRecords::Contains(const QString& computerName, quint64 objectId) const
{
    const std::optional<quint32> key = m_stores->names.Find(computerName.toCaseFolded().toUtf8());
    const std::optional<quint32> id = m_stores->ids.Find(objectId);
    return key && id && HoldsPair(PairOf(*key, *id));
}

int TDownloadRecords::RemoveUnless(const std::function<bool(quint64 objectId)>& live)
{
    TPool<TIdStore>& ids = m_stores->ids;
    std::vector<bool> keep(ids.Count());
    for (quint32 id = 0; id < ids.Count(); ++id)
        keep[id] = live(ids.At(id));
    const auto end = std::remove_if(m_records.begin(), m_records.end(),
                                    [&keep](const TRecord& record) { return !keep[record.objectId]; });
    const auto removed = static_cast<int>(m_records.end() - end);
    if (removed == 0)
        return 0;
    m_records.erase(end, m_records.end());
    // Only the ids of the records left stay stored, or those of changed and
    // removed objects would pile up for as long as the program runs.
    TPool<TIdStore> left;
    for (TRecord& record : m_records)
        record.objectId = left.Intern(ids.At(record.objectId));
    ids = std::move(left);
    IndexAll();
    return removed;
}

void TDownloadRecords::IndexAll()
{
    m_pairs.Reset(m_records.size());
    const auto hashOf = [this](quint32 index) { return PairHash(m_records[index]); };
    for (quint32 index = 0; index < m_records.size(); ++index)
        m_pairs.Insert(hashOf(index), index, hashOf);
}

int TDownloadRecords::Count() const
{
    return static_cast<int>(m_records.size());
}

TDownloadFields TDownloadRecords::At(int index) const
{
    const TRecord& record = m_records.at(static_cast<std::size_t>(index));
    return {QString::fromUtf8(m_stores->addresses.At(record.address)),
            QString::fromUtf8(m_stores->names.At(record.computerName)), m_stores->ids.At(record.objectId)};
}

void TDownloadRecords::WriteLines(TAtomicFile& file) const
{
    for (const TRecord& record : m_records) {
        AppendDownloadLine(file.Buffer(), m_stores->addresses.At(record.address),
                           m_stores->names.At(record.computerName), m_stores->ids.At(record.objectId));
        file.Buffer().append("\r\n");
        file.Appended();
    }
}

void TDownloadRecords::Clear()
{
    m_stores = std::make_unique<TStores>();
    std::vector<TRecord>().swap(m_records);
    m_pairs.Clear();
}

void AppendDownloadLine(QByteArray& out, QByteArrayView address, QByteArrayView computerName, quint64 objectId)
{
    out.append(address);
    out.append(',');
    out.append(computerName);
    out.append(',');
    AppendNumber(out, objectId);
}
