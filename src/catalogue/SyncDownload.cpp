// SPDX-License-Identifier: GPL-3.0-or-later
#include "catalogue/SyncDownload.h"

#include <memory>
#include <mutex>
#include <utility>

#include <QHash>
#include <QSet>

#include "catalogue/ListFile.h"
#include "catalogue/SyncClient.h"
#include "catalogue/SyncObject.h"
#include "foundation/PoolInterlocked.h"
#include "base/TextFields.h"

namespace {

const QString kCategory = QStringLiteral("SyncDownload");

/// The computer name as the lookup compares it: case-insensitive comparison
/// folds case, so folded names are equal exactly when the names compare equal.
using TDownloadKey = std::pair<QString, quint64>;

TDownloadKey KeyOf(const QString& computerName, quint64 objectId)
{
    return {computerName.toCaseFolded(), objectId};
}

/// The download list and, beside it, how many records each computer and id
/// pair has, so that the lookup made per offered object and request does not
/// walk millions of records. Every link change goes through here, under the
/// lock.
struct TDownloadList {
    TChainList list;
    QHash<TDownloadKey, int> recorded;
    std::recursive_mutex lock;
    TListFile file{".downloads", "SyncDownload"};

    void Append(std::unique_ptr<TSyncDownload> record)
    {
        ++recorded[KeyOf(record->DownloadComputerName(), record->DownloadObjectId())];
        list.Append(record.release());
    }
    void Remove(TSyncDownload* record)
    {
        const auto it = recorded.find(KeyOf(record->DownloadComputerName(), record->DownloadObjectId()));
        if (--*it == 0)
            recorded.erase(it);
        list.Remove(record);
    }
    void Clear()
    {
        recorded.clear();
        list.Clear();
    }
};

TDownloadList& Downloads()
{
    static TDownloadList downloads;
    return downloads;
}

} // namespace

TSyncDownload::TSyncDownload(const QString& address, quint64 objectId, const QString& computerName)
    : m_address(address), m_computerName(computerName.toLower()), m_objectId(objectId)
{
}

QString TSyncDownload::ToLine() const
{
    return m_address + QLatin1Char(',') + m_computerName + QLatin1Char(',') + NumberToText(m_objectId);
}

std::unique_ptr<TSyncDownload> TSyncDownload::FromLine(const QString& line)
{
    const QStringList f = SplitFields(line, QLatin1Char(','));
    if (f.size() != 3)
        return nullptr;
    return std::make_unique<TSyncDownload>(f[0], NumberFromDigits(f[2]), f[1]);
}

TSyncDownload* FirstDownload()
{
    return static_cast<TSyncDownload*>(Downloads().list.Head());
}

int DownloadCount()
{
    std::lock_guard guard(Downloads().lock);
    int count = 0;
    for (const TSyncDownload* d = FirstDownload(); d != nullptr; d = d->Next())
        ++count;
    return count;
}

void RecordDownload(const QString& address, quint64 objectId, const QString& computerName)
{
    {
        std::lock_guard guard(Downloads().lock);
        Downloads().Append(std::make_unique<TSyncDownload>(address, objectId, computerName));
    }
    SaveDownloadList();
}

bool HasDownloaded(const TSyncClient& client, const TSyncObject& object)
{
    const TDownloadKey key = KeyOf(client.LocalComputerName(), object.ComputeId());
    std::lock_guard guard(Downloads().lock);
    return Downloads().recorded.contains(key);
}

void CleanDownloads()
{
    Log(kCategory, QStringLiteral("Bereinige Downloads"), 46);
    QSet<quint64> ids;
    {
        TReadGuard objectGuard(ObjectLock());
        for (const TSyncObject* object = FirstObject(); object != nullptr; object = object->Next())
            ids.insert(object->ComputeId());
    }
    std::lock_guard guard(Downloads().lock);
    TSyncDownload* d = FirstDownload();
    while (d != nullptr) {
        TSyncDownload* next = d->Next();
        if (!ids.contains(d->DownloadObjectId()))
            Downloads().Remove(d);
        d = next;
    }
}

void LoadDownloadList()
{
    Downloads().file.Load([](const QString& line) {
        std::unique_ptr<TSyncDownload> record = TSyncDownload::FromLine(line);
        if (!record)
            return false;
        std::lock_guard guard(Downloads().lock);
        Downloads().Append(std::move(record));
        return true;
    });
}

void SaveDownloadList()
{
    // Log entries wait for the main thread, which may be waiting for the
    // download lock in the views: neither the clean step's entry nor the
    // final one is written while this thread holds it.
    CleanDownloads();
    QString note;
    {
        std::lock_guard guard(Downloads().lock);
        QStringList lines;
        for (const TSyncDownload* d = FirstDownload(); d != nullptr; d = d->Next())
            lines.append(d->ToLine());
        note = Downloads().file.Write(lines);
    }
    if (!note.isEmpty())
        Log(kCategory, note, 46);
    Log(kCategory, QStringLiteral("SyncDownload-Liste wurde geschrieben"), 46);
}

void FreeAllDownloads()
{
    std::lock_guard guard(Downloads().lock);
    Downloads().Clear();
}
