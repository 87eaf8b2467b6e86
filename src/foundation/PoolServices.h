// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <functional>

#include <QStringList>

/// The system service of this program is installed (and not disabled).
bool ServiceInstalled();

/// "/SVC", in any letter case, is one of the parameters (without program path).
bool HasServiceParameter(const QStringList& parameters);

/// This process is the service: the service is installed and "/SVC" was given.
/// The program entry stores the answer with SetRunningAsService once at start.
bool IsServiceProcess(const QStringList& parameters);

/// The service is running on this computer. Runs systemctl: blocks briefly.
bool ServiceRunning();

/// Installs the service and reports success. Installing belongs to the
/// service-control side, which plugs itself in here; without it nothing can
/// be installed.
using TServiceInstaller = std::function<bool()>;
void SetServiceInstaller(TServiceInstaller installer);
bool TryInstallService();
