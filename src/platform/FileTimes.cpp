// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/FileTimes.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <QDateTime>
#include <QFile>

bool IsExistingFile(const QString& path)
{
    struct stat info {
    };
    return ::stat(QFile::encodeName(path).constData(), &info) == 0 && S_ISREG(info.st_mode);
}

std::optional<TDateTime> FileLastWriteTime(const QString& path)
{
    struct stat info {
    };
    if (::stat(QFile::encodeName(path).constData(), &info) != 0)
        return std::nullopt;
    qint64 seconds = info.st_mtim.tv_sec;
    seconds -= ((seconds % 2) + 2) % 2; // down to even, also before 1970
    return DateTimeFromQt(QDateTime::fromSecsSinceEpoch(seconds));
}

bool SetFileLastWriteTime(const QString& path, TDateTime value)
{
    struct timespec times[2] = {};
    times[0].tv_nsec = UTIME_OMIT;
    times[1].tv_sec = static_cast<time_t>(DateTimeToQt(value).toSecsSinceEpoch());
    times[1].tv_nsec = 0;
    return ::utimensat(AT_FDCWD, QFile::encodeName(path).constData(), times, 0) == 0;
}
