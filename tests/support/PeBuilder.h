// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QList>
#include <QPair>
#include <QString>

/// Builds a small PE image with one .rsrc section holding a version resource:
/// the fixed file info and, when strings are given, a string table for the
/// translation 0409/04b0 (or the given one) with its translation list.
struct TPeBuilder {
    quint16 major = 1, minor = 2, release = 3, build = 4;
    QList<QPair<QString, QString>> strings;
    quint16 language = 0x0409;
    quint16 codePage = 0x04B0;
    bool pe32Plus = false;

    QByteArray Build() const;
    /// Offset of the version resource data in the image (for tests that damage it).
    static constexpr int kVersionDataOffset = 0x200 + 0x58;
};
