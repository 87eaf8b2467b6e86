// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/ProcessLimits.h"

#include <sys/resource.h>

#include <algorithm>

long RaiseDescriptorLimit()
{
    rlimit limit = {};
    if (::getrlimit(RLIMIT_NOFILE, &limit) != 0)
        return -1;
    // Enough for every session the server admits; not the whole hard limit,
    // which programs started from here would walk when closing descriptors.
    constexpr rlim_t kWanted = 65536;
    const rlim_t wanted = limit.rlim_max == RLIM_INFINITY ? kWanted : std::min(kWanted, limit.rlim_max);
    if (limit.rlim_cur != RLIM_INFINITY && limit.rlim_cur < wanted) {
        rlimit raised = limit;
        raised.rlim_cur = wanted;
        if (::setrlimit(RLIMIT_NOFILE, &raised) == 0)
            limit = raised;
    }
    return limit.rlim_cur == RLIM_INFINITY ? -1 : static_cast<long>(limit.rlim_cur);
}
