// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/BuildVersion.h"

const char* BuildVersion()
{
    return PLENWICK_VERSION;
}
