// SPDX-License-Identifier: GPL-3.0-or-later
#include <algorithm>
#include <optional>

#include <gtest/gtest.h>

#include "base/ZlibStream.h"
#include "support/Deflated.h"
#include "support/QtPrinters.h"

namespace {

// Fed in pieces, as a transfer receives it.
std::optional<QByteArray> Inflated(const QByteArray& data, qsizetype piece = 1000)
{
    QByteArray out;
    TZlibInflater inflater;
    const TZlibSink append = [&](const char* bytes, qsizetype size) {
        out.append(bytes, size);
        return true;
    };
    for (qsizetype at = 0; at < data.size(); at += piece)
        if (!inflater.Feed(data.constData() + at, std::min(piece, data.size() - at), append))
            return std::nullopt;
    if (!inflater.Finished())
        return std::nullopt;
    return out;
}

} // namespace

TEST(ZlibStream, RoundTripsAndRejectsDamagedStreams)
{
    QByteArray data;
    for (int i = 0; i < 200000; ++i)
        data.append(static_cast<char>(i % 251));
    const QByteArray packed = Deflated(data);
    EXPECT_EQ(static_cast<unsigned char>(packed[0]), 0x78); // zlib header
    EXPECT_EQ(Inflated(packed), data);
    EXPECT_EQ(Inflated(packed, packed.size()), data);
    EXPECT_EQ(Inflated(Deflated(QByteArray())), QByteArray());

    EXPECT_FALSE(Inflated(packed.left(packed.size() / 2)).has_value());
    EXPECT_FALSE(Inflated(packed + "x").has_value());
    EXPECT_FALSE(Inflated(QByteArray("not zlib at all")).has_value());
    EXPECT_FALSE(Inflated(QByteArray()).has_value());
}

namespace {

// Text with long-range repeats, noise, and text again: matches across the
// block borders and blocks that do not shrink.
QByteArray Mixed(qsizetype size)
{
    QByteArray data;
    quint32 seed = 4711;
    while (data.size() < size) {
        for (int i = 0; i < 300000 && data.size() < size; ++i)
            data += static_cast<char>('a' + (i * 7 + i / 1000) % 26);
        for (int i = 0; i < 200000 && data.size() < size; ++i) {
            seed = seed * 1103515245u + 12345u;
            data += static_cast<char>(seed >> 24);
        }
    }
    return data;
}

QByteArray ParallelDeflated(const QByteArray& data, int threads, qsizetype piece)
{
    QByteArray out;
    TParallelDeflater deflater(threads);
    const TZlibSink append = [&](const char* bytes, qsizetype size) {
        out.append(bytes, size);
        return true;
    };
    for (qsizetype at = 0; at < data.size(); at += piece)
        EXPECT_TRUE(deflater.Feed(data.constData() + at, std::min(piece, data.size() - at), append));
    EXPECT_TRUE(deflater.Finish(append));
    return out;
}

} // namespace

// The blocks deflated on several threads make one standard stream of the
// whole input, whatever the thread count or the feeding pieces, about as
// small as one call gives; a stopping sink stops it.
TEST(ZlibStream, ParallelDeflationIsOneStandardStreamAboutAsSmallAsOneCall)
{
    for (const qsizetype size : {qsizetype{0}, qsizetype{1000}, qsizetype{1024 * 1024}, qsizetype{5300000}}) {
        const QByteArray data = Mixed(size);
        const qsizetype single = Deflated(data).size();
        for (const int threads : {1, 3}) {
            SCOPED_TRACE(testing::Message() << size << " bytes, " << threads << " threads");
            const QByteArray packed = ParallelDeflated(data, threads, 100000);
            EXPECT_TRUE(Inflated(packed) == data);
            EXPECT_LE(packed.size(), single + single / 100 + 64);
            EXPECT_TRUE(ParallelDeflated(data, threads, 1 << 20) == packed);
        }
    }
    // Noise that repeats within the window looks random in any short sample,
    // yet must still shrink, and random blocks between text stay whole.
    const QByteArray noise = Mixed(500000).right(20000);
    QByteArray repeated;
    while (repeated.size() < 3 * 1024 * 1024)
        repeated += noise;
    const QByteArray packedRepeats = ParallelDeflated(repeated, 2, 1 << 20);
    EXPECT_TRUE(Inflated(packedRepeats) == repeated);
    EXPECT_LE(packedRepeats.size(), repeated.size() / 20);

    TParallelDeflater deflater(2);
    int calls = 0;
    const QByteArray data = Mixed(4 * 1024 * 1024);
    const bool fed = deflater.Feed(data.constData(), data.size(), [&](const char*, qsizetype) { return ++calls < 2; });
    EXPECT_FALSE(fed && deflater.Finish([&](const char*, qsizetype) { return false; }));
}
