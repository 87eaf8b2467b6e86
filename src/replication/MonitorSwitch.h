// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

/// Turns this working instance into a monitor once the service it installed
/// takes over: from now on no list is written and no session starts; the
/// object update timer, the listeners, the folder monitoring and every
/// folder-structure import stop (waiting for them on the main thread with the
/// event loop running). The window side hides the main window and shows the
/// service control window. Main thread only.
void EnterMonitorMode();
