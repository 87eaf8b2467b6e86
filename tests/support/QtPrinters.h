// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <ostream>

#include <QByteArray>
#include <QString>
#include <QStringList>

// Readable GoogleTest output for Qt values.
inline void PrintTo(const QString& text, std::ostream* out)
{
    *out << '"' << text.toStdString() << '"';
}

inline void PrintTo(const QByteArray& bytes, std::ostream* out)
{
    *out << '"' << bytes.toStdString() << '"';
}

inline void PrintTo(const QStringList& list, std::ostream* out)
{
    *out << '[';
    for (qsizetype i = 0; i < list.size(); ++i)
        *out << (i ? ", " : "") << '"' << list[i].toStdString() << '"';
    *out << ']';
}
