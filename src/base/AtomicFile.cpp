// SPDX-License-Identifier: GPL-3.0-or-later
#include "base/AtomicFile.h"

#include <QFile>
#include <QSaveFile>

#include "base/Exceptions.h"

void WriteFileAtomically(const QString& path, const QByteArray& content)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(content) != content.size() || !file.commit())
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
