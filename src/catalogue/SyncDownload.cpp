// SPDX-License-Identifier: GPL-3.0-or-later
#include "catalogue/SyncDownload.h"

#include <memory>
#include <mutex>
#include <utility>

#include <QSet>

#include "base/AtomicFile.h"
#include "base/TextFields.h"
#include "catalogue/DownloadRecords.h"
#include "catalogue/ImportChilds.h"
#include "catalogue/ListFile.h"
#include "catalogue/SyncClient.h"
#include "catalogue/SyncObject.h"
#include "foundation/PoolInterlocked.h"

namespace {

const QString kCategory = QStringLiteral("SyncDownload");

/// The download list. Every change goes through here, under the lock.
struct TDownloadList {
    TDownloadRecords records;
    std::recursive_mutex lock;
    TListFile file{".downloads", "SyncDownload"};
    // Taken before lock: a record reaches memory and file in the same order,
    // and a rewrite never loses one appended meanwhile.
    std::mutex fileLock;
    TAppendFile appendFile;
    bool fileBehind = false; // an append failed: the file lacks a record

    /// False, and the record is dropped, when its computer and id pair has
    /// one already: a client that confirms again must not make the list grow.
    bool Append(std::unique_ptr<TSyncDownload> record)
    {
        return records.Add(record->DownloadAddress(), record->DownloadObjectId(), record->DownloadComputerName());
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
    QByteArray line;
    AppendDownloadLine(line, m_address.toUtf8(), m_computerName.toUtf8(), m_objectId);
    return QString::fromUtf8(line);
}

std::unique_ptr<TSyncDownload> TSyncDownload::FromLine(const QString& line)
{
    const QStringList f = SplitFields(line, QLatin1Char(','));
    if (f.size() != 3)
        return nullptr;
    return std::make_unique<TSyncDownload>(f[0], NumberFromDigits(f[2]), f[1]);
}

TSyncDownload DownloadAt(int index)
{
    std::lock_guard guard(Downloads().lock);
    const TDownloadFields fields = Downloads().records.At(index);
    return TSyncDownload(fields.address, fields.objectId, fields.computerName);
}

int DownloadCount()
{
    std::lock_guard guard(Downloads().lock);
    return Downloads().records.Count();
}

bool RecordDownload(const QString& address, quint64 objectId, const QString& computerName)
{
    auto record = std::make_unique<TSyncDownload>(address, objectId, computerName);
    const QByteArray line = JoinLines({record->ToLine()});
    TDownloadList& downloads = Downloads();
    std::lock_guard fileGuard(downloads.fileLock);
    {
        std::lock_guard guard(downloads.lock);
        if (!downloads.Append(std::move(record)))
            return false;
    }
    // One line, not the whole list: a confirmation costs the same however
    // long the list is. The list is cleaned when the object list changes.
    try {
        if (!downloads.appendFile.IsOpen())
            downloads.appendFile.Open(downloads.file.Path());
        downloads.appendFile.Append(line);
    } catch (...) {
        // Opened afresh next time, which cuts what this append left half.
        downloads.appendFile.Close();
        downloads.fileBehind = true;
        throw;
    }
    return true;
}

bool HasDownloaded(const TSyncClient& client, const TSyncObject& object)
{
    const QString computerName = client.LocalComputerName();
    const quint64 id = object.ComputeId();
    std::lock_guard guard(Downloads().lock);
    return Downloads().records.Contains(computerName, id);
}

int CleanDownloads()
{
    Log(kCategory, QStringLiteral("Bereinige Downloads"), 46);
    QSet<quint64> ids;
    {
        TReadGuard objectGuard(ObjectLock());
        for (const TSyncObject* object = FirstObject(); object != nullptr; object = object->Next())
            ids.insert(object->ComputeId());
    }
    std::lock_guard guard(Downloads().lock);
    return Downloads().records.RemoveUnless([&ids](quint64 id) { return ids.contains(id); });
}

bool ReadDownloadList()
{
    return Downloads().file.Load([](const QString& line) {
        std::unique_ptr<TSyncDownload> record = TSyncDownload::FromLine(line);
        if (!record)
            return false;
        // Earlier versions recorded every confirmation: a repeated pair is
        // read past, and the rewrite leaves it out.
        std::lock_guard guard(Downloads().lock);
        Downloads().Append(std::move(record));
        return true;
    });
}

void LoadDownloadList()
{
    if (ReadDownloadList())
        RewriteDownloadList();
}

void RewriteDownloadList()
{
    // Folder-structure objects appear only once their import has run, and an
    // empty object list is most likely one that could not be read: their
    // records are cleaned at the next change of the list, not now.
    if (IsImportRunning() || ObjectCount() == 0)
        WriteDownloadList();
    else
        SaveDownloadList();
}

void SaveDownloadList()
{
    CleanDownloads();
    WriteDownloadList();
}

void TidyDownloadList()
{
    // Appends keep the file equal to the list: only a clean or a failed
    // append makes it worth a rewrite.
    const bool removed = CleanDownloads() > 0;
    bool behind = false;
    {
        std::lock_guard fileGuard(Downloads().fileLock);
        behind = Downloads().fileBehind;
    }
    if (removed || behind)
        WriteDownloadList();
}

void WriteDownloadList()
{
    // Log entries wait for the main thread, which may be waiting for the
    // download lock in the views: the entries are written without it.
    TDownloadList& downloads = Downloads();
    QString note;
    {
        std::lock_guard fileGuard(downloads.fileLock);
        downloads.appendFile.Close();
        note = downloads.file.Write([&downloads](TAtomicFile& file) {
            // Held while the lines go to the file, before the wait for the disk.
            std::lock_guard guard(downloads.lock);
            downloads.records.WriteLines(file);
        });
        // The rename must be on disk before a line is appended to the new file.
        SyncFolderOf(downloads.file.Path());
        downloads.appendFile.Open(downloads.file.Path());
        downloads.fileBehind = false;
    }
    if (!note.isEmpty())
        Log(kCategory, note, 46);
    Log(kCategory, QStringLiteral("SyncDownload-Liste wurde geschrieben"), 46);
}

void FreeAllDownloads()
{
    std::lock_guard fileGuard(Downloads().fileLock);
    Downloads().appendFile.Close();
    std::lock_guard guard(Downloads().lock);
    Downloads().records.Clear();
}
