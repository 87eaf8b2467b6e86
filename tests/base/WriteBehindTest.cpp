// SPDX-License-Identifier: GPL-3.0-or-later
#include <stdexcept>

#include <QByteArray>

#include <gtest/gtest.h>

#include "base/WriteBehind.h"
#include "support/Pieces.h"
#include "support/QtPrinters.h"

namespace {

QByteArray Counting(qsizetype size)
{
    QByteArray data(size, Qt::Uninitialized);
    for (qsizetype i = 0; i < size; ++i)
        data[i] = static_cast<char>(i * 31 + i / 977);
    return data;
}

} // namespace

// Pieces smaller and larger than a buffer come out whole and in order, over
// several rounds, and what never fills a buffer comes out at the drain.
TEST(WriteBehind, HandsOnEveryByteInOrder)
{
    QByteArray out;
    TWriteBehind writer("WriteBehindTest", 1000, [&](const char* data, qsizetype size) { out.append(data, size); });
    writer.Add("klein", 5);
    writer.Drain();
    EXPECT_EQ(out, QByteArray("klein"));

    const QByteArray data = Counting(123457);
    for (int round = 0; round < 2; ++round) {
        out.clear();
        InPieces(data, {1, 999, 1000, 1001, 4321, 7},
                 [&](const char* piece, qsizetype size) { writer.Add(piece, size); });
        writer.Drain();
        EXPECT_TRUE(out == data) << "round " << round;
    }
}

// A consumer's failure reaches the caller, also when it happened on the
// thread, and stays until a reset, which also drops what was not handed on.
TEST(WriteBehind, AFailureComesBackUntilAReset)
{
    QByteArray out;
    bool fail = true;
    TWriteBehind writer("WriteBehindTest", 100, [&](const char* data, qsizetype size) {
        if (fail)
            throw std::runtime_error("Datenträger voll");
        out.append(data, size);
    });
    const QByteArray data = Counting(1000);
    EXPECT_THROW(
        {
            writer.Add(data.constData(), data.size());
            writer.Drain();
        },
        std::runtime_error);
    EXPECT_THROW(writer.Drain(), std::runtime_error);

    writer.Reset();
    fail = false;
    out.clear();
    writer.Add("neu", 3);
    writer.Drain();
    EXPECT_EQ(out, QByteArray("neu"));
}
