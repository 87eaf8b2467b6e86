// SPDX-License-Identifier: GPL-3.0-or-later
#include "foundation/ListenerControl.h"

#include <atomic>
#include <exception>

#include "base/Exceptions.h"
#include "foundation/PoolInterlocked.h"

namespace {

std::atomic<TListenerControl*> g_control{nullptr};

void Switch(bool activate)
{
    TListenerControl* listeners = g_control.load();
    if (listeners == nullptr)
        return;
    try {
        activate ? listeners->StartListeners() : listeners->StopListeners();
    } catch (const std::exception& error) {
        Log(QStringLiteral("ServerBase"),
            QStringLiteral("Beim %1 der Server-Ports ist eine Ausnahme des Typs \"%2\" aufgetreten")
                .arg(activate ? QStringLiteral("Aktivieren") : QStringLiteral("Deaktivieren"), ExceptionText(error)),
            45);
    }
}

} // namespace

void SetListenerControl(TListenerControl* control)
{
    g_control.store(control);
}

TListenerControl* ListenerControl()
{
    return g_control.load();
}

void ActivateListeners()
{
    Switch(true);
}

void DeactivateListeners()
{
    Switch(false);
}
