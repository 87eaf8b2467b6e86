// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QString>

#include "base/ContentDigest.h"
#include "base/DateTime.h"
#include "base/Exceptions.h"
#include "base/WriteBehind.h"
#include "platform/SafeFolder.h"

/// The staging file could not be made or written (disk full, folder gone).
class EStagingError : public EPlenwick
{
public:
    using EPlenwick::EPlenwick;
};

/// Target folder + "~$" + the file name: where a new version waits beside
/// its target until it is put in place.
QString StagingFilePath(const QString& targetPath);

/// The new version of one object beside its target ("~$" + file name), with
/// the target's backup and the final rename. Every step goes through a handle
/// of the target folder, so that nothing an ordinary user planted there (a
/// link under the staging, backup or target name) is followed by root. The
/// bytes are hashed as they are written, in large steps on a thread of
/// their own.
class TStagingFile
{
public:
    /// Opens the target folder; raises ESafeFolderError.
    explicit TStagingFile(const QString& targetPath);
    ~TStagingFile();
    TStagingFile(const TStagingFile&) = delete;
    TStagingFile& operator=(const TStagingFile&) = delete;

    QString Path() const;
    QString TargetPath() const;
    /// Begins an empty staging file; whatever lay under its name is removed
    /// first, and true is returned then. Raises EStagingError.
    bool Start();
    /// Raises EStagingError.
    void Write(const char* data, qsizetype size);
    /// Bytes written since Start.
    qint64 Size() const { return m_digest.size; }
    /// Ends the writing: the bytes on disk, the digest known.
    void Finish();
    /// Size and SHA-256 of what was written; valid after Finish.
    const TContentDigest& Digest() const { return m_digest; }
    /// Removes the staging file (a failed or refused transfer).
    void Discard();
    /// Gives the finished file its mode (the target's, or runnable for a new
    /// program or script) and the object's date.
    void Stamp(TDateTime modified);
    /// Whether the target exists (a link counts).
    bool TargetExists() const;
    /// The previous target becomes the only backup; true when there was none.
    bool MoveTargetToBackup();
    /// The staging file takes the target's place.
    bool PutInPlace();
    /// The backup goes back to the target's place (a failed PutInPlace).
    void RestoreBackup();

private:
    void CloseDescriptor();
    // On the writer's thread.
    void WriteOut(const char* data, qsizetype size);

    TSafeFolder m_folder;
    QString m_targetName;
    QString m_stagingName;
    QString m_backupName;
    int m_fd = -1;
    TSha256 m_hash; // on the writer's thread until Finish
    TContentDigest m_digest;
    QByteArray m_head; // the first bytes, to tell a program or script
    qint64 m_onDisk = 0;
    qint64 m_writeBackStart = 0; // where the range not yet handed to write-back begins
    TWriteBehind m_writer;       // last: it uses the members above
};
