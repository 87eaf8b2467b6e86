// SPDX-License-Identifier: GPL-3.0-or-later
#include "replication/MonitorSwitch.h"

#include "catalogue/ChangeNotifyBase.h"
#include "foundation/ListenerControl.h"
#include "foundation/MainConfig.h"
#include "foundation/ObjectUpdateTimer.h"
#include "foundation/ServiceMode.h"
#include "foundation/UiAdapter.h"

void EnterMonitorMode()
{
    // First, so that nothing stopping below writes a list the service now owns.
    SetMonitorInstance(true);
    TObjectUpdateTimer::SetEnabled(false);
    DeactivateListeners();
    StopFolderThreads();
    TUiAdapter::SetCaption(MainCaption());
}
