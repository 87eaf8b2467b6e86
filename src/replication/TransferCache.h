// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <memory>

#include <QByteArray>
#include <QString>

#include "base/ContentDigest.h"
#include "base/Exceptions.h"

/// A cache entry could not be read or written.
class ECacheError : public EPlenwick
{
public:
    using EPlenwick::EPlenwick;
};

/// Which transformations the sending side applies, Base64 before zlib.
struct TTransform {
    bool encode = false;
    bool compress = false;
    bool Any() const { return encode || compress; }
};

/// A prepared form, ready to be streamed: a file (the transformed form, or
/// the source itself when nothing is transformed), or the bytes themselves
/// when the cache could not take them; with the digest of the plain bytes it
/// was made from.
struct TPreparedForm {
    QString path;
    qint64 size = 0;
    std::shared_ptr<const QByteArray> data;
    TContentDigest digest;
};

/// The folder of prepared transfer forms: ProgramFolder() + "Cache/".
QString TransferCacheFolder();

/// The transformations the options ask for; compression only where a sample
/// of the file shrinks by at least 1 %: random or packed data gains nothing
/// and would cost both sides their time.
TTransform TransformFor(const QString& path);

/// The transformed form of a file whose content the object id names, and the
/// size and SHA-256 of the plain bytes, both from one read. Made once per id,
/// path and transform (the id changes with the content, the path tells apart
/// equal ids of different files) and reused afterwards; a preparation under
/// way elsewhere is waited for, not repeated. An entry that cannot be written
/// is made in memory instead. Without a transform only the digest is kept,
/// made again when the file's time or size changes. Raises ECacheError when
/// the file cannot be read.
TPreparedForm PrepareTransferForm(quint64 objectId, const QString& path, TTransform transform);

/// Prepares the forms of all offered objects of the master server and drops
/// the entries of objects not offered, on a background thread: once at start
/// and on every WakeTransferCache() (a change of the object list or of a
/// source, an object list request), so that a client rarely has to wait for
/// a compression. Elsewhere it only drops entries. Idempotent.
void StartTransferCacheWorker();
/// Asks the worker to look at the object list now.
void WakeTransferCache();
/// Asks the worker to end; a preparation under way is broken off.
void StopTransferCacheWorker();
/// Whether the worker thread still runs.
bool TransferCacheWorkerRunning();
/// True while the worker prepares entries (not while it waits for the next pass).
bool TransferCacheWorkerBusy();

/// One pass of the worker on the calling thread: prepares the missing forms
/// of the current objects (on the master server) and removes every entry
/// that is not the form of an offered object.
void RefreshTransferCache();

class TSyncObject;

/// The file whose bytes a DOWNLOAD of the object sends: the target when the
/// object is installed here, the Scriptus file for a generated companion
/// (whose ScriptusFile is set to its own name for that), else the source.
QString ServedFilePath(TSyncObject& object);
