// SPDX-License-Identifier: GPL-3.0-or-later
#include "foundation/RegistryCall.h"

#include "foundation/PoolInterlocked.h"

void LogRegistryDamage(const ERegistryDamaged& damage)
{
    Log(QStringLiteral("RegistryStore"), damage.Message(), 46);
}
