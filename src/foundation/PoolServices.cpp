// SPDX-License-Identifier: GPL-3.0-or-later
#include "foundation/PoolServices.h"

#include <exception>
#include <memory>

#include <QDeadlineTimer>
#include <QThread>

#include "foundation/PoolInterlocked.h"
#include "foundation/RegistryCall.h"
#include "foundation/ThreadWait.h"
#include "platform/ProgramPaths.h"
#include "platform/ServiceManager.h"
#include "platform/VersionInfo.h"

namespace {

// Long enough for the orderly shutdown of a busy service; systemd itself ends
// a stop after 90 s, and a start of a simple unit is there at once.
constexpr int kStateWaitMs = 60000;
constexpr int kStatePollMs = 250;

QString ServiceKey()
{
    return QStringLiteral("System\\CurrentControlSet\\Services\\") + ProductName();
}

int StateOfText(const QString& state)
{
    if (state == QLatin1String("active") || state == QLatin1String("reloading"))
        return kServiceRunning;
    if (state == QLatin1String("activating"))
        return kServiceStartPending;
    if (state == QLatin1String("deactivating"))
        return kServiceStopPending;
    if (state == QLatin1String("inactive") || state == QLatin1String("failed"))
        return kServiceStopped;
    return kServiceStateUnknown;
}

// A --no-block job returns at once; the state tells when it is done.
bool WaitForState(int wanted)
{
    const QDeadlineTimer deadline(kStateWaitMs);
    for (;;) {
        if (ServiceState() == wanted)
            return true;
        if (deadline.hasExpired())
            return false;
        QThread::msleep(kStatePollMs);
    }
}

void RunJobAndWait(const QString& job, int wanted, const QString& lateText)
{
    TServiceChange change;
    change.before = {{QStringLiteral("--no-block"), job, ServiceUnitName()}};
    RunServiceChange(change);
    if (!WaitForState(wanted))
        throw EServiceControlFailed(lateText.arg(kStateWaitMs / 1000));
}

void RefuseMasked()
{
    if (ServiceUnitMasked())
        throw EServiceControlFailed(QStringLiteral("Der Systemdienst ist gesperrt (maskiert); "
                                                   "\"systemctl unmask %1\" hebt die Sperre auf")
                                        .arg(ServiceUnitName()));
}

void WriteServiceValues()
{
    // Only root may write the machine hive; the service runs without these.
    const QString key = ServiceKey();
    const QString parameters = key + QStringLiteral("\\Parameters");
    RegistryCall([&] {
        TRegistryStore::WriteValue(TRegistryHive::LocalMachine, key, QStringLiteral("Description"),
                                   TRegistryValue::FromText(OwnVersionString(QStringLiteral("FileDescription"))));
        TRegistryStore::WriteValue(TRegistryHive::LocalMachine, parameters, QStringLiteral("Application"),
                                   TRegistryValue::FromText(ExecutablePath()));
        TRegistryStore::WriteValue(TRegistryHive::LocalMachine, parameters, QStringLiteral("AppParameters"),
                                   TRegistryValue::FromText(QStringLiteral("/SVC")));
    });
}

void RemoveServiceValues()
{
    const QString parameters = ServiceKey() + QStringLiteral("\\Parameters");
    RegistryCall([&] {
        TRegistryStore::DeleteValue(TRegistryHive::LocalMachine, ServiceKey(), QStringLiteral("Description"));
        TRegistryStore::DeleteValue(TRegistryHive::LocalMachine, parameters, QStringLiteral("Application"));
        TRegistryStore::DeleteValue(TRegistryHive::LocalMachine, parameters, QStringLiteral("AppParameters"));
    });
}

} // namespace

bool ServiceInstalled()
{
    return ServiceUnitInstalled();
}

bool IsServiceProcess(bool serviceSwitch)
{
    return serviceSwitch && ServiceInstalled();
}

int ServiceState()
{
    return StateOfText(ServiceUnitActiveState());
}

bool ServiceRunning()
{
    return ServiceState() == kServiceRunning;
}

void StartService()
{
    RefuseMasked();
    RunJobAndWait(QStringLiteral("start"), kServiceRunning,
                  QStringLiteral("Der Systemdienst läuft nach %1 Sekunden noch nicht"));
}

void StopService()
{
    RunJobAndWait(QStringLiteral("stop"), kServiceStopped,
                  QStringLiteral("Der Systemdienst ist nach %1 Sekunden noch nicht beendet"));
}

void InstallService()
{
    RefuseMasked();
    RequireSystemd();
    const QByteArray unit =
        ServiceUnitText(ExecutablePath(), OwnVersionString(QStringLiteral("FileDescription")), ProgramFolder());
    TServiceChange install;
    install.unitText = unit;
    install.after = {{QStringLiteral("daemon-reload")}, {QStringLiteral("enable"), ServiceUnitName()}};
    try {
        RunServiceChange(install);
    } catch (const EServiceControlFailed&) {
        // A unit that systemd does not run would still turn every start into a monitor.
        if (ServiceUnitInstalled()) {
            TServiceChange undo;
            undo.removeUnit = true;
            undo.after = {{QStringLiteral("daemon-reload")}};
            try {
                RunServiceChange(undo);
            } catch (const EServiceControlFailed&) {
            }
        }
        throw;
    }
    WriteServiceValues();
}

void UninstallService()
{
    RefuseMasked();
    if (!ServiceUnitInstalled())
        throw EServiceControlFailed(QStringLiteral("Der Systemdienst ist nicht installiert"));
    // Stopped first: a service left running without its unit would keep
    // writing the lists the next working instance reads.
    TServiceChange uninstall;
    uninstall.before = {{QStringLiteral("disable"), QStringLiteral("--now"), ServiceUnitName()}};
    uninstall.removeUnit = true;
    uninstall.after = {{QStringLiteral("daemon-reload")}};
    RunServiceChange(uninstall);
    RemoveServiceValues();
}

namespace {

bool TryChange(void (*change)(), const QString& done, const QString& failed)
{
    try {
        RunOffMainThread(change);
        if (!done.isEmpty())
            Log(QStringLiteral("MainService"), done);
        return true;
    } catch (const EServiceControlFailed& error) {
        Log(QStringLiteral("MainService"), failed);
        Log(QStringLiteral("MainService"), error.Message());
        return false;
    }
}

} // namespace

bool TryInstallService()
{
    // The caller reports the success in its own words.
    return TryChange(&InstallService, QString(), QStringLiteral("Der Systemdienst konnte nicht erstellt werden"));
}

bool TryUninstallService()
{
    return TryChange(&UninstallService, QStringLiteral("Der Systemdienst wurde deinstalliert"),
                     QStringLiteral("Der Systemdienst konnte nicht deinstalliert werden"));
}

void RunOffMainThread(const std::function<void()>& work)
{
    std::exception_ptr failure;
    std::unique_ptr<QThread> thread(QThread::create([&] {
        try {
            work();
        } catch (...) {
            failure = std::current_exception();
        }
    }));
    thread->setObjectName(QStringLiteral("ServiceControl"));
    thread->start();
    WaitForThreadEnd(*thread);
    if (failure)
        std::rethrow_exception(failure);
}
