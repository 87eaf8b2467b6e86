// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "platform/RegistryStore.h"

/// Logs that the store met a damaged hive and moved it aside.
void LogRegistryDamage(const ERegistryDamaged& damage);

/// Runs one registry store call. A damaged hive is logged and the call runs
/// once more, now on the fresh hive the store left behind.
template <typename Call>
auto RegistryCall(Call call) -> decltype(call())
{
    try {
        return call();
    } catch (const ERegistryDamaged& damage) {
        LogRegistryDamage(damage);
        return call();
    }
}
