// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <algorithm>
#include <initializer_list>

#include <QByteArray>

/// Hands data to take in pieces whose lengths cycle through lengths, as
/// bytes arrive from a wire or an inflater.
template <class TTake>
void InPieces(const QByteArray& data, std::initializer_list<qsizetype> lengths, TTake take)
{
    qsizetype at = 0;
    for (std::size_t i = 0; at < data.size(); ++i) {
        const qsizetype size = std::min(lengths.begin()[i % lengths.size()], data.size() - at);
        take(data.constData() + at, size);
        at += size;
    }
}
