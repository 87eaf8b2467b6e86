// SPDX-License-Identifier: GPL-3.0-or-later
#include "replication/TransferCache.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <limits>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

#include <QBuffer>
#include <QCryptographicHash>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSet>

#include "base/AtomicFile.h"
#include "base/Base64.h"
#include "base/ContentDigest.h"
#include "base/WorkerThread.h"
#include "base/ZlibStream.h"
#include "catalogue/SyncObject.h"
#include "foundation/MainConfig.h"
#include "foundation/PoolInterlocked.h"
#include "foundation/ServiceMode.h"
#include "platform/FileMove.h"
#include "platform/ProgramPaths.h"

namespace {

const QString kCategory = QStringLiteral("TransferCache");
constexpr int kIcon = 45;
// A multiple of 3, so that Base64 pieces join without padding in between.
constexpr qsizetype kReadPiece = 3 * 16 * 1024;

struct TCacheState {
    std::mutex lock;
    std::condition_variable changed;
    QSet<QString> busy; // entry names under preparation
    bool wake = false;
    std::atomic<bool> stop{false};
    std::atomic<bool> running{false};
    std::atomic<bool> refreshing{false};
    TWorkerThread worker;
};

// Never destroyed: the worker may still be waiting when the process ends.
TCacheState& State()
{
    static TCacheState* state = new TCacheState;
    return *state;
}

// Only the worker's own preparations break off on a stop request.
thread_local bool t_worker = false;

bool StopRequested()
{
    return t_worker && State().stop;
}

// "<id>-<path hash>": equal ids of different files must not share an entry.
QString EntryKey(quint64 objectId, const QString& path)
{
    const QByteArray hash = QCryptographicHash::hash(path.toLower().toUtf8(), QCryptographicHash::Sha1).toHex();
    return QStringLiteral("%1-%2").arg(objectId).arg(QString::fromLatin1(hash.left(16)));
}

QString EntryName(quint64 objectId, const QString& path, TTransform transform)
{
    return EntryKey(objectId, path) + (transform.encode ? QStringLiteral(".b64") : QString()) +
           (transform.compress ? QStringLiteral(".z") : QString());
}

// Three pieces of a larger file, from its start, middle and end, deflated
// as the whole would be; a smaller file is compressed as it always was.
bool WorthCompressing(const QString& path)
{
    constexpr qint64 kSample = 64 * 1024;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly) || file.size() <= 3 * kSample)
        return true;
    const qint64 size = file.size();
    qint64 plain = 0;
    qint64 packed = 0;
    const TZlibSink count = [&packed](const char*, qsizetype bytes) {
        packed += bytes;
        return true;
    };
    for (const qint64 at : {qint64{0}, size / 2 - kSample / 2, size - kSample}) {
        const QByteArray piece = file.seek(at) ? file.read(kSample) : QByteArray();
        plain += piece.size();
        TZlibDeflater deflater;
        deflater.Feed(piece.constData(), piece.size(), count);
        deflater.Finish(count);
    }
    return packed * 100 < plain * 99;
}

// The entry could not be written (the cache folder is missing, full or not writable).
class EEntryWriteError : public ECacheError
{
public:
    using ECacheError::ECacheError;
};

// Reads the file once, writes its transformed form to out (when there is
// one) and hashes the plain bytes on the way.
TContentDigest WriteForm(const QString& path, QIODevice* out, const QString& partPath, TTransform transform)
{
    QFile in(path);
    if (!in.open(QIODevice::ReadOnly))
        throw ECacheError(QStringLiteral("Die Datei \"%1\" kann nicht gelesen werden").arg(path));
    if (out != nullptr && !out->isOpen() && !out->open(QIODevice::WriteOnly | QIODevice::Truncate))
        throw EEntryWriteError(QStringLiteral("Die Datei \"%1\" kann nicht geschrieben werden").arg(partPath));
    // An entry is a copy of an object that only some clients may have.
    if (auto* file = qobject_cast<QFileDevice*>(out))
        ApplyFileAccess(file->handle(), TFileAccess::Group);
    qint64 written = 0;
    const TZlibSink write = [&](const char* data, qsizetype size) {
        written += size;
        if (written > std::numeric_limits<qint32>::max())
            throw ECacheError(QStringLiteral("Das Objekt \"%1\" ist für die Übertragung zu groß").arg(path));
        if (out != nullptr && out->write(data, size) != size)
            throw EEntryWriteError(QStringLiteral("Die Datei \"%1\" kann nicht geschrieben werden").arg(partPath));
        return !StopRequested();
    };
    // Every core compresses: the first client of a new object waits for it.
    const auto deflater = transform.compress ? std::make_unique<TParallelDeflater>() : nullptr;
    const TZlibSink pass = [&](const char* data, qsizetype size) {
        return deflater ? deflater->Feed(data, size, write) : write(data, size);
    };
    TSha256 hash;
    TContentDigest digest;
    QByteArray carry;
    bool going = true;
    while (going) {
        QByteArray piece = in.read(kReadPiece);
        if (in.error() != QFileDevice::NoError)
            throw ECacheError(QStringLiteral("Die Datei \"%1\" kann nicht gelesen werden").arg(path));
        hash.Add(piece.constData(), piece.size());
        digest.size += piece.size();
        const bool end = piece.isEmpty();
        if (transform.encode) {
            carry += piece;
            const qsizetype whole = end ? carry.size() : carry.size() - carry.size() % 3;
            piece = Base64Encode(carry.left(whole));
            carry.remove(0, whole);
        }
        going = (piece.isEmpty() || !transform.Any() || pass(piece.constData(), piece.size())) && !end;
        if (StopRequested())
            throw ECacheError(QStringLiteral("Abgebrochen"));
    }
    if (deflater && !deflater->Finish(write))
        throw ECacheError(QStringLiteral("Abgebrochen"));
    if (auto* file = qobject_cast<QFileDevice*>(out); file != nullptr && !file->flush())
        throw EEntryWriteError(QStringLiteral("Die Datei \"%1\" kann nicht geschrieben werden").arg(partPath));
    digest.sha256 = hash.Finish();
    return digest;
}

// The form in memory, for a cache that cannot take it: the header needs the
// byte count before the first byte goes out.
TPreparedForm FormInMemory(const QString& path, TTransform transform)
{
    auto data = std::make_shared<QByteArray>();
    QBuffer buffer(data.get());
    buffer.open(QIODevice::WriteOnly);
    const TContentDigest digest = WriteForm(path, &buffer, QString(), transform);
    return {QString(), data->size(), data, digest};
}

// Time and size of the source: a plain file is sent as it lies, so its digest
// must be made again whenever it changed, even under the same object id.
QString FileStamp(const QString& path)
{
    const QFileInfo file(path);
    return QStringLiteral("%1/%2").arg(file.lastModified().toMSecsSinceEpoch()).arg(file.size());
}

QString DigestFilePath(const QString& entryPath)
{
    return entryPath + QStringLiteral(".sha256");
}

// "<stamp> <digest word>" beside the entry.
std::optional<TContentDigest> ReadDigestFile(const QString& entryPath, const QString& stamp)
{
    QByteArray content;
    if (!ReadWholeFile(DigestFilePath(entryPath), content))
        return std::nullopt;
    const QStringList words = QString::fromLatin1(content).split(QLatin1Char(' '));
    if (words.size() != 2 || (!stamp.isEmpty() && words[0] != stamp))
        return std::nullopt;
    return TContentDigest::FromWord(words[1]);
}

void WriteDigestFile(const QString& entryPath, const QString& stamp, const TContentDigest& digest)
{
    try {
        WriteFileAtomically(DigestFilePath(entryPath), (stamp + QLatin1Char(' ') + digest.ToWord()).toLatin1(),
                            TFileAccess::Group);
    } catch (const EInOutError& error) {
        throw EEntryWriteError(error.Message());
    }
}

// Whether a file of the cache folder belongs to an entry under preparation.
bool BelongsToBusy(const QSet<QString>& busy, const QString& fileName)
{
    for (const QString& name : busy)
        if (fileName.startsWith(name))
            return true;
    return false;
}

} // namespace

TTransform TransformFor(const QString& path)
{
    const bool compress = MainConfig().GetBoolean(QStringLiteral("ServerCompressData"));
    return {MainConfig().GetBoolean(QStringLiteral("ServerEncodeData")), compress && WorthCompressing(path)};
}

QString TransferCacheFolder()
{
    return ProgramFolder() + QStringLiteral("Cache/");
}

TPreparedForm PrepareTransferForm(quint64 objectId, const QString& path, TTransform transform)
{
    const QString name = EntryName(objectId, path, transform);
    const QString target = TransferCacheFolder() + name;
    // A plain file is its own form; only its digest is kept here.
    const QString stamp = transform.Any() ? QStringLiteral("-") : FileStamp(path);
    const auto ready = [&]() -> std::optional<TPreparedForm> {
        const std::optional<TContentDigest> digest = ReadDigestFile(target, stamp);
        if (!digest)
            return std::nullopt;
        if (!transform.Any())
            return TPreparedForm{path, digest->size, nullptr, *digest};
        if (const QFileInfo entry(target); entry.isFile())
            return TPreparedForm{target, entry.size(), nullptr, *digest};
        return std::nullopt;
    };
    TCacheState& state = State();
    std::unique_lock lock(state.lock);
    state.changed.wait(lock, [&] { return !state.busy.contains(name); });
    if (std::optional<TPreparedForm> form = ready())
        return *form;
    state.busy.insert(name);
    lock.unlock();
    const QString part = target + QStringLiteral(".part");
    const auto done = [&] {
        lock.lock();
        state.busy.remove(name);
        state.changed.notify_all();
    };
    TContentDigest digest;
    try {
        MakeGroupFolder(TransferCacheFolder());
        if (transform.Any()) {
            QFile out(part);
            digest = WriteForm(path, &out, part, transform);
            out.close();
        } else {
            digest = WriteForm(path, nullptr, part, transform);
        }
        // The digest goes first: an entry without one is made again.
        WriteDigestFile(target, stamp, digest);
        // The entry appears whole or not at all: readers never see a half file.
        if (transform.Any() && !MoveFileReplacing(part, target))
            throw EEntryWriteError(QStringLiteral("Die Datei \"%1\" kann nicht geschrieben werden").arg(target));
    } catch (const EEntryWriteError&) {
        QFile::remove(part);
        done();
        lock.unlock();
        if (!transform.Any())
            return {path, digest.size, nullptr, digest};
        return FormInMemory(path, transform);
    } catch (...) {
        QFile::remove(part);
        done();
        throw;
    }
    done();
    if (!transform.Any())
        return {path, digest.size, nullptr, digest};
    return {target, QFileInfo(target).size(), nullptr, digest};
}

QString ServedFilePath(TSyncObject& object)
{
    if (object.IsInstalled())
        return object.TargetPath();
    if (object.ScriptusCompanion()) {
        object.SetScriptusFile(object.SourceName());
        return object.ResolvedScriptusPath();
    }
    return object.ResolvedSourcePath();
}

void RefreshTransferCache()
{
    if (IsMonitorInstance())
        return; // the service owns the list and the cache
    struct TJob {
        quint64 id;
        QString path;
        bool offered;
    };
    std::vector<TJob> jobs;
    // Elsewhere an entry is made on the first request of a peer; here every
    // offered object is prepared ahead.
    const bool master = IsMasterServer();
    // No lock across the walk: a failed companion probe logs, and a log waits
    // for the main thread, which may want the object lock meanwhile.
    const TObjectWalk walk;
    for (TSyncObject* object = FirstObject(); object != nullptr; object = object->Next()) {
        if (object->ScriptusCompanion())
            continue;
        jobs.push_back({object->ComputeId(), ServedFilePath(*object), object->IsCurrent()});
        if (!object->ScriptusFile().isEmpty())
            if (const auto companion = object->GenerateScriptusCompanion())
                jobs.push_back({companion->ComputeId(), ServedFilePath(*companion), jobs.back().offered});
    }
    QSet<QString> live;
    for (const TJob& job : jobs) {
        if (!job.offered)
            continue;
        const TTransform transform = TransformFor(job.path);
        const QString name = EntryName(job.id, job.path, transform);
        live.insert(name);
        live.insert(name + QStringLiteral(".sha256"));
        if (!master || StopRequested())
            continue;
        try {
            PrepareTransferForm(job.id, job.path, transform);
        } catch (const std::exception& error) {
            if (!StopRequested())
                Log(kCategory, QStringLiteral("Beim Vorbereiten von \"%1\" ").arg(job.path) + ExceptionSuffix(error),
                    kIcon);
        }
    }
    // An empty list is most likely one not loaded yet: its entries stay.
    if (jobs.empty())
        return;
    TCacheState& state = State();
    std::lock_guard lock(state.lock);
    const QDir folder(TransferCacheFolder());
    // Entries of an earlier version may be readable for everyone: the folder
    // shuts them away until they are made anew.
    if (folder.exists())
        MakeGroupFolder(folder.path());
    for (const QString& name : folder.entryList(QDir::Files)) {
        if (BelongsToBusy(state.busy, name))
            continue;
        if (!live.contains(name))
            QFile::remove(folder.filePath(name));
    }
}

void StartTransferCacheWorker()
{
    TCacheState& state = State();
    if (state.running.exchange(true))
        return;
    state.stop = false;
    // The previous worker has ended (running was false): joined here.
    state.worker.Start("TransferCache", [&state] {
        t_worker = true;
        while (!state.stop) {
            state.refreshing = true;
            RefreshTransferCache();
            state.refreshing = false;
            std::unique_lock lock(state.lock);
            state.changed.wait(lock, [&] { return state.wake || state.stop.load(); });
            state.wake = false;
        }
        state.running = false;
    });
}

void WakeTransferCache()
{
    TCacheState& state = State();
    std::lock_guard lock(state.lock);
    state.wake = true;
    state.changed.notify_all();
}

void StopTransferCacheWorker()
{
    TCacheState& state = State();
    std::lock_guard lock(state.lock);
    state.stop = true;
    state.changed.notify_all();
}

bool TransferCacheWorkerRunning()
{
    return State().running;
}

bool TransferCacheWorkerBusy()
{
    return State().refreshing;
}
