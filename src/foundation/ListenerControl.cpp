// SPDX-License-Identifier: GPL-3.0-or-later
#include "foundation/ListenerControl.h"

#include <atomic>

namespace {
std::atomic<TListenerControl*> g_control{nullptr};
}

void SetListenerControl(TListenerControl* control)
{
    g_control.store(control);
}

TListenerControl* ListenerControl()
{
    return g_control.load();
}
