// SPDX-License-Identifier: GPL-3.0-or-later
// One line reader of the catalogue lists; the build picks which.
#include <cstddef>
#include <cstdint>

#include <QString>

#include "base/Exceptions.h"
#include "catalogue/SyncClient.h"
#include "catalogue/SyncDownload.h"
#include "catalogue/SyncObject.h"
#include "catalogue/SyncUser.h"

#if defined(FUZZ_READER_object)
using TEntry = TSyncObject;
#elif defined(FUZZ_READER_client)
using TEntry = TSyncClient;
#elif defined(FUZZ_READER_download)
using TEntry = TSyncDownload;
#elif defined(FUZZ_READER_user)
using TEntry = TSyncUser;
#endif

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QString line = QString::fromUtf8(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    try {
        if (const auto entry = TEntry::FromLine(line)) {
            // What was read must be writable again, and read back the same way.
            const QString written = entry->ToLine();
            if (const auto again = TEntry::FromLine(written))
                (void)again->ToLine();
        }
    } catch (const EPlenwick&) {
        // Conversion errors are the readers' answer to bad fields.
    }
    return 0;
}
