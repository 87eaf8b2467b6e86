// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

/// Whether this process is the system service ("/SVC"). Decided once at start;
/// message boxes are never shown while it is set.
bool RunningAsService();
void SetRunningAsService(bool service);

/// Whether this process is a monitor instance (the service is installed and
/// this process is not it): it runs no listener, list or session.
bool IsMonitorInstance();
void SetMonitorInstance(bool monitor);
