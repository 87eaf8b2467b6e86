// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/ServiceManager.h"

#include <QFileInfo>
#include <QProcess>

#include "platform/VersionInfo.h"

QString ServiceUnitName()
{
    // The service name is the product name without spaces; unit names are lower case by custom.
    return ProductName().remove(QLatin1Char(' ')).toLower() + QStringLiteral(".service");
}

QString ServiceUnitPath()
{
    QString folder = qEnvironmentVariable("PLENWICK_SYSTEMD_DIR");
    if (folder.isEmpty())
        folder = QStringLiteral("/etc/systemd/system");
    if (!folder.endsWith(QLatin1Char('/')))
        folder += QLatin1Char('/');
    return folder + ServiceUnitName();
}

bool ServiceUnitInstalled()
{
    const QFileInfo unit(ServiceUnitPath());
    if (unit.isSymLink() && unit.symLinkTarget() == QLatin1String("/dev/null"))
        return false;
    return unit.isFile() && unit.size() > 0;
}

TSystemctlResult RunSystemctl(const QStringList& arguments, int timeoutMs)
{
    QString program = qEnvironmentVariable("PLENWICK_SYSTEMCTL");
    if (program.isEmpty())
        program = QStringLiteral("systemctl");
    QProcess process;
    process.setProcessChannelMode(QProcess::SeparateChannels);
    process.setStandardInputFile(QProcess::nullDevice());
    process.start(program, arguments);
    TSystemctlResult result;
    if (!process.waitForStarted(timeoutMs))
        return result;
    if (!process.waitForFinished(timeoutMs)) {
        process.kill();
        process.waitForFinished(1000);
        return result;
    }
    result.output = process.readAllStandardOutput();
    if (process.exitStatus() == QProcess::NormalExit)
        result.exitCode = process.exitCode();
    return result;
}

bool ServiceUnitActive()
{
    return RunSystemctl({QStringLiteral("is-active"), QStringLiteral("--quiet"), ServiceUnitName()}).exitCode == 0;
}
