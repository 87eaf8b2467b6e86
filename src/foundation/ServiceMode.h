// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

/// Whether this process is the system service ("/SVC"). Decided once at start;
/// message boxes are never shown while it is set.
bool RunningAsService();
void SetRunningAsService(bool service);
