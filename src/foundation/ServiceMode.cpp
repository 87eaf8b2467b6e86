// SPDX-License-Identifier: GPL-3.0-or-later
#include "foundation/ServiceMode.h"

#include <atomic>

namespace {
std::atomic<bool> g_service{false};
std::atomic<bool> g_monitor{false};
} // namespace

bool RunningAsService()
{
    return g_service.load();
}

void SetRunningAsService(bool service)
{
    g_service.store(service);
}

bool IsMonitorInstance()
{
    return g_monitor.load();
}

void SetMonitorInstance(bool monitor)
{
    g_monitor.store(monitor);
}
