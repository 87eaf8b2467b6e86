// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/ProgramPaths.h"

#include <unistd.h>

#include <climits>

#include <QDir>
#include <QFileInfo>

#include "platform/VersionInfo.h"

QString ExecutablePath()
{
    // Read once: once an update has renamed the running file, /proc/self/exe
    // names the backup, but the program's path stays the one it started as.
    static const QString path = QFileInfo(QStringLiteral("/proc/self/exe")).symLinkTarget();
    return path;
}

QString ProgramFolder()
{
    QString folder = qEnvironmentVariable("PLENWICK_HOME");
    if (folder.isEmpty())
        folder = QFileInfo(ExecutablePath()).absolutePath();
    if (!folder.endsWith(QLatin1Char('/')))
        folder += QLatin1Char('/');
    return folder;
}

QString ProgramFile(const QString& extension)
{
    const QString name = QFileInfo(ExecutablePath()).fileName();
    const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
    const QString base = dot > 0 ? name.left(dot) : name;
    return ProgramFolder() + base + extension;
}

QString LocalComputerName()
{
    const QString forced = qEnvironmentVariable("PLENWICK_COMPUTERNAME");
    if (!forced.isEmpty())
        return forced;
    char buffer[HOST_NAME_MAX + 1] = {};
    if (gethostname(buffer, sizeof buffer - 1) != 0 || buffer[0] == '\0')
        return QStringLiteral("localhost");
    return QString::fromLocal8Bit(buffer).section(QLatin1Char('.'), 0, 0);
}

QString ProtocolFilePath()
{
    const QString forced = qEnvironmentVariable("PLENWICK_PROTOCOL_FILE");
    if (!forced.isEmpty())
        return forced;
    return QStringLiteral("/var/log/") + ProductName() + QStringLiteral(".protocol");
}

bool HasDrivePart(const QString& path)
{
    return path.startsWith(QLatin1Char('/'));
}
