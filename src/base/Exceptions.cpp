// SPDX-License-Identifier: GPL-3.0-or-later
#include "base/Exceptions.h"

QString ExceptionText(const std::exception& error)
{
    if (const auto* own = dynamic_cast<const EPlenwick*>(&error))
        return own->Message();
    return QString::fromUtf8(error.what());
}
