// SPDX-License-Identifier: GPL-3.0-or-later
#include "replication/StagingFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include <QDateTime>
#include <QFileInfo>

#include "foundation/PendingMoves.h"

namespace {

constexpr qsizetype kHeadLength = 4;
// Pieces from the wire are a TLS record or an inflater's output long; the
// digest and the disk get them in steps of this size, on a thread of their
// own while the next step arrives.
constexpr qsizetype kWriteStep = 1024 * 1024;
// Every this many bytes, write-back of the latest range starts and the one
// before it is waited for: the disk works while the rest arrives, the final
// sync has little left to do, and dirty memory stays bounded.
constexpr qint64 kWriteBackRange = 8 * 1024 * 1024;

bool IsProgramOrScript(const QByteArray& head)
{
    return head.startsWith("#!") || head == QByteArrayLiteral("\x7f"
                                                              "ELF");
}

} // namespace

QString StagingFilePath(const QString& targetPath)
{
    const QFileInfo target(targetPath);
    return target.path() + QStringLiteral("/~$") + target.fileName();
}

TStagingFile::TStagingFile(const QString& targetPath)
    : m_folder(QFileInfo(targetPath).path()), m_targetName(QFileInfo(targetPath).fileName()),
      m_stagingName(QStringLiteral("~$") + m_targetName),
      m_backupName(QFileInfo(BackupFilePath(targetPath)).fileName()),
      m_writer("StagingWriter", kWriteStep, [this](const char* data, qsizetype size) {
          m_hash.Add(data, size);
          WriteOut(data, size);
      })
{
}

TStagingFile::~TStagingFile()
{
    // Nothing may still be written when the descriptor goes.
    m_writer.Reset();
    CloseDescriptor();
}

QString TStagingFile::Path() const
{
    return m_folder.Path() + m_stagingName;
}

QString TStagingFile::TargetPath() const
{
    return m_folder.Path() + m_targetName;
}

void TStagingFile::CloseDescriptor()
{
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = -1;
}

bool TStagingFile::Start()
{
    m_writer.Reset();
    CloseDescriptor();
    m_hash.Finish();
    m_digest = {};
    m_head.clear();
    m_onDisk = 0;
    m_writeBackStart = 0;
    const bool leftover = m_folder.Exists(m_stagingName);
    if (leftover && !m_folder.Remove(m_stagingName))
        throw EStagingError(QStringLiteral("Objekt \"%1\" konnte nicht erstellt werden").arg(Path()));
    // Exclusive and without following links: should anything appear under the
    // name meanwhile, the creation fails instead of writing through it.
    m_fd = m_folder.CreateExclusive(m_stagingName, 0600);
    if (m_fd < 0)
        throw EStagingError(QStringLiteral("Objekt \"%1\" konnte nicht erstellt werden").arg(Path()));
    return leftover;
}

void TStagingFile::Write(const char* data, qsizetype size)
{
    if (m_head.size() < kHeadLength)
        m_head.append(data, std::min(size, kHeadLength - m_head.size()));
    m_digest.size += size;
    m_writer.Add(data, size);
}

void TStagingFile::WriteOut(const char* data, qsizetype size)
{
    qsizetype done = 0;
    while (done < size) {
        const ssize_t n = ::write(m_fd, data + done, static_cast<size_t>(size - done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            throw EStagingError(QStringLiteral("Objekt \"%1\" konnte nicht geschrieben werden").arg(Path()));
        done += n;
    }
    m_onDisk += size;
    while (m_onDisk - m_writeBackStart >= kWriteBackRange) {
        // Only a hint: where the file system cannot, the final sync does it all.
        ::sync_file_range(m_fd, m_writeBackStart, kWriteBackRange, SYNC_FILE_RANGE_WRITE);
        if (m_writeBackStart >= kWriteBackRange)
            ::sync_file_range(m_fd, m_writeBackStart - kWriteBackRange, kWriteBackRange,
                              SYNC_FILE_RANGE_WAIT_BEFORE | SYNC_FILE_RANGE_WRITE | SYNC_FILE_RANGE_WAIT_AFTER);
        m_writeBackStart += kWriteBackRange;
    }
}

void TStagingFile::Finish()
{
    m_writer.Drain();
    // On disk before anything refers to it: a crash must not leave a target
    // renamed onto a file whose blocks never arrived.
    if (m_fd >= 0 && ::fdatasync(m_fd) != 0)
        throw EStagingError(QStringLiteral("Objekt \"%1\" konnte nicht geschrieben werden").arg(Path()));
    m_digest.sha256 = m_hash.Finish();
}

void TStagingFile::Discard()
{
    m_writer.Reset();
    CloseDescriptor();
    m_folder.Remove(m_stagingName);
}

void TStagingFile::Stamp(TDateTime modified)
{
    if (m_fd < 0)
        return;
    // The wire carries no modes: a new version keeps the mode of the one it
    // replaces, and a new program or script (ELF or "#!") is runnable.
    mode_t mode = 0644;
    if (const std::optional<mode_t> target = m_folder.RegularFileMode(m_targetName))
        mode = *target;
    else if (IsProgramOrScript(m_head))
        mode = 0755;
    ::fchmod(m_fd, mode);
    // The installed file must later match the object, which compares date and size.
    const timespec times[2] = {{0, UTIME_OMIT}, {static_cast<time_t>(DateTimeToQt(modified).toSecsSinceEpoch()), 0}};
    ::futimens(m_fd, times);
    CloseDescriptor();
}

bool TStagingFile::TargetExists() const
{
    return m_folder.Exists(m_targetName);
}

bool TStagingFile::MoveTargetToBackup()
{
    if (!TargetExists())
        return true;
    m_folder.Remove(m_backupName);
    return m_folder.Rename(m_targetName, m_backupName);
}

bool TStagingFile::PutInPlace()
{
    return m_folder.Rename(m_stagingName, m_targetName);
}

void TStagingFile::RestoreBackup()
{
    m_folder.Rename(m_backupName, m_targetName);
}
