// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QString>

/// Writes a whole file through a temporary file in the same folder and a rename,
/// so a crash leaves either the old or the new content. The file keeps the
/// mode of the one it replaces; in a setgid folder it is also group-writable.
/// Raises EInOutError.
void WriteFileAtomically(const QString& path, const QByteArray& content);

/// Reads a whole file; a missing file gives no content and false.
bool ReadWholeFile(const QString& path, QByteArray& content);

/// A file that grows by appended bytes, each append on disk before it returns.
/// Opening cuts a torn last line (one without CR LF, left by a crash in the
/// middle of an append) back to the end of the last whole line.
class TAppendFile
{
public:
    TAppendFile() = default;
    ~TAppendFile();
    TAppendFile(const TAppendFile&) = delete;
    TAppendFile& operator=(const TAppendFile&) = delete;

    /// Opens or creates the file for appending. Raises EInOutError.
    void Open(const QString& path);
    bool IsOpen() const { return m_fd >= 0; }
    /// Writes the bytes at the end and waits until they are on disk. Raises EInOutError.
    void Append(const QByteArray& bytes);
    void Close();

private:
    int m_fd = -1;
    QString m_path;
};

/// Waits until the folder entry of the path (a rename, a new file) is on disk.
void SyncFolderOf(const QString& path);
