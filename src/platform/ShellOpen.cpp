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
    const QString opener = FindProgramOnPath(QStringLiteral("xdg-open"));
    return !opener.isEmpty() && QProcess::startDetached(opener, QStringList{path} + parameters, workingFolder);
}

QString FindProgramOnPath(const QString& name)
{
    return QStandardPaths::findExecutable(name);
}
