// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QSaveFile>
#include <QString>

/// Who may use a file the program writes. The program's own files hold the
/// settings and copies of objects that only some clients may have: nobody
/// outside the owner and the group reads them. The group is the folder's when
/// the folder is setgid (the installed program folder), the writer's otherwise.
enum class TFileAccess {
    /// The mode of the file replaced, else the umask's; in a setgid folder
    /// the group may also read and write.
    Kept,
    /// 0660: the settings, the lists, the cached forms of objects.
    Group,
    /// 0640: the protocol file.
    GroupReadOnly,
};

/// A file replaced whole: written to a temporary file in the same folder and
/// renamed over the old one by Commit, so a crash leaves either the old or the
/// new content, with the mode the access gives (an existing file gets it too).
/// Bytes are appended to Buffer(), which goes to the file in blocks, so that a
/// long list never stands in memory whole; without Commit the old file stays.
/// Raises EInOutError.
class TAtomicFile
{
public:
    TAtomicFile(const QString& path, TFileAccess access);
    TAtomicFile(const TAtomicFile&) = delete;
    TAtomicFile& operator=(const TAtomicFile&) = delete;

    /// Where to append the next bytes; call Appended() after each piece.
    QByteArray& Buffer() { return m_buffer; }
    /// Hands the buffer to the file once it holds a block.
    void Appended();
    /// Writes the rest, waits until it is on disk and puts it in place.
    void Commit();

private:
    void Flush();

    QSaveFile m_file;
    QByteArray m_buffer;
};

/// Writes a whole file through a TAtomicFile. Raises EInOutError.
void WriteFileAtomically(const QString& path, const QByteArray& content, TFileAccess access = TFileAccess::Kept);

/// Creates the file with the whole content unless it exists: the content is
/// written to a temporary file that is then linked in, so two processes
/// racing never both create it and no reader sees a part. False when the file
/// existed. Raises EInOutError.
bool CreateFileOnce(const QString& path, const QByteArray& content, TFileAccess access);

/// Gives an open file the mode of the access, whatever the umask made of it
/// or the mode it had; Kept leaves it alone.
void ApplyFileAccess(int fd, TFileAccess access);

/// Creates the folder with its parents and gives it 0770 (setgid as well when
/// its parent is, so that its files keep the group); an existing one gets the
/// mode too. False when it cannot be created.
bool MakeGroupFolder(const QString& path);

/// Reads a whole file; a missing file gives no content and false.
bool ReadWholeFile(const QString& path, QByteArray& content);

/// A file that grows by appended bytes, each append on disk before it returns;
/// a list file, so with the access Group. Opening cuts a torn last line (one without CR LF, left by a crash in the
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
