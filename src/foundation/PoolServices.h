// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <functional>


/// The system service of this program is installed (and not disabled).
bool ServiceInstalled();

/// This process is the service: the service is installed and "/SVC" was given.
/// The program entry stores the answer with SetRunningAsService once at start.
bool IsServiceProcess(bool serviceSwitch);

/// The service is running on this computer. Runs systemctl: blocks briefly.
bool ServiceRunning();

/// Installs the service and reports success. Installing belongs to the
/// service-control side, which plugs itself in here; without it nothing can
/// be installed.
using TServiceInstaller = std::function<bool()>;
void SetServiceInstaller(TServiceInstaller installer);
bool TryInstallService();
