// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/ShellOpen.h"

#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>

bool ShellOpen(const QString& path, const QStringList& parameters, const QString& workingFolder)
{
    const QFileInfo file(path);
    if (file.isFile() && file.isExecutable())
        return QProcess::startDetached(path, parameters, workingFolder);
    // PLENWICK_OPEN stands in for the desktop's opener (tests must not start a browser).
    const QString standIn = qEnvironmentVariable("PLENWICK_OPEN");
    const QString opener = !standIn.isEmpty() ? standIn : FindProgramOnPath(QStringLiteral("xdg-open"));
    return !opener.isEmpty() && QProcess::startDetached(opener, QStringList{path} + parameters, workingFolder);
}

QString FindProgramOnPath(const QString& name)
{
    return QStandardPaths::findExecutable(name);
}
