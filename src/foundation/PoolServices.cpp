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

bool HasServiceParameter(const QStringList& parameters)
{
    for (const QString& parameter : parameters)
        if (parameter.compare(QLatin1String("/SVC"), Qt::CaseInsensitive) == 0)
            return true;
    return false;
}

bool IsServiceProcess(const QStringList& parameters)
{
    return HasServiceParameter(parameters) && ServiceInstalled();
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
