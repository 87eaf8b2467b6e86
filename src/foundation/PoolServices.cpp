// SPDX-License-Identifier: GPL-3.0-or-later
#include "foundation/PoolServices.h"

#include <mutex>

#include "platform/ServiceManager.h"

namespace {

std::mutex g_installerLock;
TServiceInstaller g_installer;

} // namespace

bool ServiceInstalled()
{
    return ServiceUnitInstalled();
}

bool IsServiceProcess(bool serviceSwitch)
{
    return serviceSwitch && ServiceInstalled();
}

bool ServiceRunning()
{
    return ServiceUnitActive();
}

void SetServiceInstaller(TServiceInstaller installer)
{
    std::lock_guard guard(g_installerLock);
    g_installer = std::move(installer);
}

bool TryInstallService()
{
    TServiceInstaller installer;
    {
        std::lock_guard guard(g_installerLock);
        installer = g_installer;
    }
    return installer && installer();
}
