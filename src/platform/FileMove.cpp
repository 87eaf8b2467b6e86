// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/FileMove.h"

#include <cstdio>

#include <QFile>

bool MoveFileReplacing(const QString& from, const QString& to)
{
    return std::rename(QFile::encodeName(from).constData(), QFile::encodeName(to).constData()) == 0;
}
