// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

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

/// A prepared transformed form, ready to be streamed.
struct TPreparedForm {
    QString path;
    qint64 size = 0;
};

/// The folder of prepared transfer forms: ProgramFolder() + "Cache/".
QString TransferCacheFolder();

/// The transformed form of a file whose content the object id names. Made
/// once per id, path and transform (the id changes with the content, the
/// path tells apart equal ids of different files) and reused afterwards;
/// a preparation under way elsewhere is waited for, not repeated. Raises
/// ECacheError when the file cannot be read or the entry not written.
TPreparedForm PrepareTransferForm(quint64 objectId, const QString& path, TTransform transform);

/// Prepares the forms of all offered objects of the master server and drops
/// entries of ids that no longer exist, on a background thread: once at
/// start, on every WakeTransferCache() and every few seconds, so that a
/// client rarely has to wait for a compression. Idempotent.
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
/// of the current objects (on the master server) and removes stale entries.
void RefreshTransferCache();

class TSyncObject;

/// The file whose bytes a DOWNLOAD of the object sends: the target when the
/// object is installed here, the Scriptus file for a generated companion
/// (whose ScriptusFile is set to its own name for that), else the source.
QString ServedFilePath(TSyncObject& object);
