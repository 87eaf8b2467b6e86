// SPDX-License-Identifier: GPL-3.0-or-later
#include "base/AtomicFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QTemporaryFile>

#include "base/Exceptions.h"

namespace {

// A setgid folder is shared by its group (the installed program folder): a
// save by root must not take the group's right to write away.
bool InSharedFolder(const QString& path)
{
    struct stat folder = {};
    return ::stat(QFile::encodeName(QFileInfo(path).absolutePath()).constData(), &folder) == 0 &&
           (folder.st_mode & S_ISGID) != 0;
}

EInOutError FileError(const QString& path)
{
    return EInOutError(QStringLiteral("Datei \"%1\" konnte nicht geschrieben werden: %2")
                           .arg(path, QString::fromLocal8Bit(std::strerror(errno))));
}

} // namespace

void ApplyFileAccess(int fd, TFileAccess access)
{
    switch (access) {
    case TFileAccess::Kept:
        return;
    case TFileAccess::Group:
        ::fchmod(fd, 0660);
        return;
    case TFileAccess::GroupReadOnly:
        ::fchmod(fd, 0640);
        return;
    }
}

bool MakeGroupFolder(const QString& path)
{
    const QString folder = QDir::cleanPath(path);
    if (!QDir().mkpath(folder))
        return false;
    const mode_t mode = InSharedFolder(folder) ? 02770 : 0770;
    ::chmod(QFile::encodeName(folder).constData(), mode);
    return true;
}

namespace {

// Large enough that the writes cost little, small enough that the buffer
// stays in the cache and its memory is touched for the first time only once.
constexpr qsizetype kAtomicBlock = 256 * 1024;

EInOutError SaveError(const QSaveFile& file)
{
    return EInOutError(
        QStringLiteral("Datei \"%1\" konnte nicht geschrieben werden: %2").arg(file.fileName(), file.errorString()));
}

} // namespace

TAtomicFile::TAtomicFile(const QString& path, TFileAccess access) : m_file(path)
{
    if (!m_file.open(QIODevice::WriteOnly))
        throw SaveError(m_file);
    if (access != TFileAccess::Kept)
        ApplyFileAccess(m_file.handle(), access);
    else if (InSharedFolder(path))
        m_file.setPermissions(m_file.permissions() | QFileDevice::ReadGroup | QFileDevice::WriteGroup);
}

void TAtomicFile::Appended()
{
    if (m_buffer.size() >= kAtomicBlock)
        Flush();
}

void TAtomicFile::Flush()
{
    if (m_file.write(m_buffer) != m_buffer.size())
        throw SaveError(m_file);
    // Keeps the capacity: the next block goes where this one was.
    m_buffer.resize(0);
}

void TAtomicFile::Commit()
{
    Flush();
    if (!m_file.commit())
        throw SaveError(m_file);
}

void WriteFileAtomically(const QString& path, const QByteArray& content, TFileAccess access)
{
    TAtomicFile file(path, access);
    file.Buffer() = content;
    file.Commit();
}

bool CreateFileOnce(const QString& path, const QByteArray& content, TFileAccess access)
{
    QTemporaryFile file(path + QStringLiteral(".XXXXXX"));
    if (!file.open())
        throw EInOutError(
            QStringLiteral("Datei \"%1\" konnte nicht geschrieben werden: %2").arg(path, file.errorString()));
    ApplyFileAccess(file.handle(), access);
    if (file.write(content) != content.size() || !file.flush() || ::fsync(file.handle()) != 0)
        throw EInOutError(
            QStringLiteral("Datei \"%1\" konnte nicht geschrieben werden: %2").arg(path, file.errorString()));
    if (::link(QFile::encodeName(file.fileName()).constData(), QFile::encodeName(path).constData()) != 0) {
        if (errno == EEXIST)
            return false;
        throw FileError(path);
    }
    SyncFolderOf(path);
    return true;
}

bool ReadWholeFile(const QString& path, QByteArray& content)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    content = file.readAll();
    return true;
}

namespace {

// The length up to and including the last CR LF.
qint64 WholeLinesLength(int fd, qint64 size)
{
    constexpr qint64 kPiece = 64 * 1024;
    QByteArray piece;
    for (qint64 end = size; end > 0;) {
        const qint64 start = std::max<qint64>(0, end - kPiece);
        // One byte more, so a CR LF across two pieces is seen.
        piece.resize(std::min(end + 1, size) - start);
        if (::pread(fd, piece.data(), piece.size(), start) != piece.size())
            return size;
        const qsizetype at = piece.lastIndexOf("\r\n");
        if (at >= 0)
            return start + at + 2;
        end = start;
    }
    return 0;
}

} // namespace

TAppendFile::~TAppendFile()
{
    Close();
}

void TAppendFile::Open(const QString& path)
{
    Close();
    const QByteArray name = QFile::encodeName(path);
    const int fd = ::open(name.constData(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0660);
    if (fd < 0)
        throw FileError(path);
    ApplyFileAccess(fd, TFileAccess::Group);
    const qint64 size = ::lseek(fd, 0, SEEK_END);
    if (size > 0) {
        const int reader = ::open(name.constData(), O_RDONLY | O_CLOEXEC);
        const qint64 whole = reader < 0 ? size : WholeLinesLength(reader, size);
        if (reader >= 0)
            ::close(reader);
        if (whole < size && (::ftruncate(fd, whole) != 0 || ::fsync(fd) != 0)) {
            ::close(fd);
            throw FileError(path);
        }
    }
    m_fd = fd;
    m_path = path;
}

void TAppendFile::Append(const QByteArray& bytes)
{
    qsizetype done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(m_fd, bytes.constData() + done, static_cast<size_t>(bytes.size() - done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            throw FileError(m_path);
        done += n;
    }
    if (::fdatasync(m_fd) != 0)
        throw FileError(m_path);
}

void TAppendFile::Close()
{
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = -1;
}

void SyncFolderOf(const QString& path)
{
    const int fd =
        ::open(QFile::encodeName(QFileInfo(path).absolutePath()).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return;
    ::fsync(fd);
    ::close(fd);
}
