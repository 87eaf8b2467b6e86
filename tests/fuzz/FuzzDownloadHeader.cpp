// SPDX-License-Identifier: GPL-3.0-or-later
// The reader of DOWNLOAD answer headers.
#include <cstddef>
#include <cstdint>

#include <QString>

#include "base/Exceptions.h"
#include "replication/Transfer.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QString line = QString::fromUtf8(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    try {
        (void)ParseDownloadHeader(line);
    } catch (const EPlenwick&) {
        // A count that is no number is the reader's answer, not a fault.
    }
    return 0;
}
