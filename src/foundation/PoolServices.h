// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <functional>

/// The system service of this program is installed (and not disabled).
bool ServiceInstalled();

/// This process is the service: the service is installed and "/SVC" was given.
/// The program entry stores the answer with SetRunningAsService once at start.
bool IsServiceProcess(bool serviceSwitch);

/// Service state numbers as the service control window knows them.
enum TServiceState : int {
    kServiceStateUnknown = -1,
    kServiceStopped = 1,
    kServiceStartPending = 2,
    kServiceStopPending = 3,
    kServiceRunning = 4,
};

// Everything below runs systemctl and may wait for a person (the password) or
// the service: never on the main thread; RunOffMainThread is the way there.

/// The service's current state; kServiceStateUnknown when systemctl cannot tell.
int ServiceState();
/// ServiceState() is kServiceRunning.
bool ServiceRunning();

/// Starts or stops the service and polls its state until it is reached or
/// the wait is over. Raise EServiceControlFailed (platform/ServiceManager.h)
/// with the German reason when the call fails or the state is not reached.
void StartService();
void StopService();

/// Writes the unit, reloads systemd and enables the unit, then the machine
/// registry values "Description" and, under "Parameters", "Application" and
/// "AppParameters". A masked unit is left alone. Raises EServiceControlFailed.
void InstallService();
/// Disables and stops the service, removes the unit and reloads systemd.
/// Raises EServiceControlFailed.
void UninstallService();

/// Installs the service for the automatic start; false (reported in the
/// protocol) when that cannot be done. From the main thread too.
bool TryInstallService();

/// Removes the service for the options dialog; false (reported in the
/// protocol) when that cannot be done. From the main thread too.
bool TryUninstallService();

/// Runs work on a thread of its own and returns when it is done; on the main
/// thread the event loop runs meanwhile, so the window never freezes.
/// Exceptions of work reach the caller.
void RunOffMainThread(const std::function<void()>& work);
