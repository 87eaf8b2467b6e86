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
