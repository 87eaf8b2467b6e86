// SPDX-License-Identifier: GPL-3.0-or-later
#include "base/AtomicFile.h"

#include <sys/stat.h>

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include "base/Exceptions.h"

void WriteFileAtomically(const QString& path, const QByteArray& content)
{
    QSaveFile file(path);
    const bool opened = file.open(QIODevice::WriteOnly);
    // A setgid folder is shared by its group (the installed program folder):
    // a save by root must not take the group's right to write away.
    struct stat folder = {};
    if (opened && ::stat(QFile::encodeName(QFileInfo(path).absolutePath()).constData(), &folder) == 0 &&
        (folder.st_mode & S_ISGID) != 0)
        file.setPermissions(file.permissions() | QFileDevice::ReadGroup | QFileDevice::WriteGroup);
    if (!opened || file.write(content) != content.size() || !file.commit())
        throw EInOutError(QStringLiteral("Datei \"%1\" konnte nicht geschrieben werden: %2")
                              .arg(path, file.errorString()));
}

bool ReadWholeFile(const QString& path, QByteArray& content)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    content = file.readAll();
    return true;
}
