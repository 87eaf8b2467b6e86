// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/SafeFolder.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include <QFile>

namespace {

QByteArray Encoded(const QString& name)
{
    return QFile::encodeName(name);
}

} // namespace

TSafeFolder::TSafeFolder(const QString& path)
    : m_fd(::open(Encoded(path).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC)),
      m_path(path.endsWith(QLatin1Char('/')) ? path : path + QLatin1Char('/'))
{
    if (m_fd < 0)
        throw ESafeFolderError(QStringLiteral("Der Ordner \"%1\" kann nicht geöffnet werden").arg(path));
}

TSafeFolder::~TSafeFolder()
{
    ::close(m_fd);
}

bool TSafeFolder::Exists(const QString& name) const
{
    struct stat entry = {};
    return ::fstatat(m_fd, Encoded(name).constData(), &entry, AT_SYMLINK_NOFOLLOW) == 0;
}

std::optional<mode_t> TSafeFolder::RegularFileMode(const QString& name) const
{
    struct stat entry = {};
    if (::fstatat(m_fd, Encoded(name).constData(), &entry, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISREG(entry.st_mode))
        return std::nullopt;
    return entry.st_mode & 07777;
}

bool TSafeFolder::Remove(const QString& name)
{
    const QByteArray encoded = Encoded(name);
    if (::unlinkat(m_fd, encoded.constData(), 0) == 0 || errno == ENOENT)
        return true;
    // A folder planted under a file's name.
    return ::unlinkat(m_fd, encoded.constData(), AT_REMOVEDIR) == 0;
}

int TSafeFolder::CreateExclusive(const QString& name, mode_t mode)
{
    return ::openat(m_fd, Encoded(name).constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode);
}

int TSafeFolder::OpenForReading(const QString& name) const
{
    // Non-blocking, so that a planted pipe cannot hold the reader.
    const int fd = ::openat(m_fd, Encoded(name).constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    struct stat entry = {};
    if (fd >= 0 && (::fstat(fd, &entry) != 0 || !S_ISREG(entry.st_mode))) {
        ::close(fd);
        return -1;
    }
    return fd;
}

bool TSafeFolder::Rename(const QString& from, const QString& to)
{
    return ::renameat(m_fd, Encoded(from).constData(), m_fd, Encoded(to).constData()) == 0;
}
