// SPDX-License-Identifier: GPL-3.0-or-later
#include <cstddef>
#include <cstdint>

#include <QByteArray>
#include <QString>

#include "platform/FileVersion.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray image = QByteArray::fromRawData(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    (void)ImageVersion(image);
    (void)ImageVersionString(image, QStringLiteral("ProductName"));
    return 0;
}
