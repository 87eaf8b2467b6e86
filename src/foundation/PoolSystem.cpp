// SPDX-License-Identifier: GPL-3.0-or-later
#include "foundation/PoolSystem.h"

#include <QFileInfo>

#include "foundation/PoolInterlocked.h"
#include "foundation/PoolServices.h"
#include "platform/Autostart.h"
#include "platform/ProgramPaths.h"

TAutostartState AutostartState(const QString& executablePath)
{
    if (MachineAutostartWritable() && QFileInfo(AutostartEntryPath(TAutostartPlace::Machine, executablePath)).isFile())
        return {true, 1};
    if (QFileInfo(AutostartEntryPath(TAutostartPlace::User, executablePath)).isFile())
        return {true, 2};
    return {};
}

int SetAutostart(const QString& executablePath, bool wanted)
{
    const TAutostartState state = AutostartState(executablePath);
    if (state.registered == wanted)
        return state.place;
    // Removal goes to where the entry is: a machine-wide writer must not fail on
    // the per-user entry it finds instead.
    const TAutostartPlace place = wanted
                                      ? (MachineAutostartWritable() ? TAutostartPlace::Machine : TAutostartPlace::User)
                                      : static_cast<TAutostartPlace>(state.place);
    const bool done = wanted ? WriteAutostartEntry(place, executablePath) : RemoveAutostartEntry(place, executablePath);
    if (place == TAutostartPlace::Machine) {
        if (!done)
            throw EAutostartInRegistryFailed(QStringLiteral("Eintrag konnte nicht in die Registry geschrieben werden"));
        return 1;
    }
    return done ? 2 : 0;
}

bool RegisterForAutomaticStart()
{
    if (ServiceInstalled())
        return false;
    if (TryInstallService()) {
        Log(QStringLiteral("MainConfig"), QStringLiteral("Anwendung wurde/ist als Systemdienst installiert"));
        return true;
    }
    switch (SetAutostart(ExecutablePath(), true)) {
    case 1:
        Log(QStringLiteral("MainConfig"),
            QStringLiteral("Anwendung wurde/ist in die Registrierungsdatenbank eingetragen"));
        break;
    case 2:
        Log(QStringLiteral("Options"), QStringLiteral("Anwendung wurde/ist in die Autostartgruppe eingetragen"));
        break;
    default:
        Log(QStringLiteral("Options"),
            QStringLiteral("Anwendung konnte nicht als Autostart-Anwendung eingetragen werden"));
        break;
    }
    return false;
}
