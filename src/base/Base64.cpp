// SPDX-License-Identifier: GPL-3.0-or-later
#include "base/Base64.h"

QByteArray Base64Encode(const QByteArray& data)
{
    return data.toBase64();
}

std::optional<QByteArray> Base64Decode(const QByteArray& text)
{
    // Qt accepts unpadded input even with the abort option; the wire always pads.
    if (text.size() % 4 != 0)
        return std::nullopt;
    auto result = QByteArray::fromBase64Encoding(text, QByteArray::AbortOnBase64DecodingErrors);
    if (!result)
        return std::nullopt;
    return std::move(result.decoded);
}
