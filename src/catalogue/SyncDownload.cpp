// SPDX-License-Identifier: GPL-3.0-or-later
#include "catalogue/SyncDownload.h"

#include <mutex>

#include <QSet>

#include "catalogue/ListFile.h"
#include "catalogue/SyncClient.h"
#include "catalogue/SyncObject.h"
#include "foundation/PoolInterlocked.h"
#include "foundation/TextFields.h"

namespace {

const QString kCategory = QStringLiteral("SyncDownload");

struct TDownloadList {
    TChainList list;
    std::recursive_mutex lock;
    TListFile file{".downloads", "SyncDownload"};
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
        Downloads().list.Append(new TSyncDownload(address, objectId, computerName));
    }
    SaveDownloadList();
}

bool HasDownloaded(const TSyncClient& client, const TSyncObject& object)
{
    const QString computer = client.LocalComputerName();
    const quint64 id = object.ComputeId();
    std::lock_guard guard(Downloads().lock);
    for (const TSyncDownload* d = FirstDownload(); d != nullptr; d = d->Next())
        if (d->DownloadObjectId() == id && d->DownloadComputerName().compare(computer, Qt::CaseInsensitive) == 0)
            return true;
    return false;
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
            Downloads().list.Remove(d);
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
        Downloads().list.Append(record.release());
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
    Downloads().list.Clear();
}
