// SPDX-License-Identifier: GPL-3.0-or-later
#include "support/Deflated.h"

#include "base/ZlibStream.h"

QByteArray Deflated(const QByteArray& data)
{
    QByteArray out;
    const TZlibSink append = [&](const char* piece, qsizetype size) {
        out.append(piece, size);
        return true;
    };
    TZlibDeflater deflater;
    deflater.Feed(data.constData(), data.size(), append);
    deflater.Finish(append);
    return out;
}
