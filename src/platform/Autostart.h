// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QString>

/// The two places from which the desktop session starts the program.
enum class TAutostartPlace {
    Machine = 1, ///< /etc/xdg/autostart, for every user; PLENWICK_SYSTEM_AUTOSTART_DIR redirects it (tests)
    User = 2,    ///< $XDG_CONFIG_HOME/autostart (default ~/.config/autostart)
};

QString AutostartFolder(TAutostartPlace place);

/// The desktop entry of an executable at a place: its base name + ".desktop".
QString AutostartEntryPath(TAutostartPlace place, const QString& executablePath);

/// The machine-wide folder exists and this thread may write it (checked with
/// the file-system identity, so an impersonating thread gets its own answer).
bool MachineAutostartWritable();

/// The entry: Exec= the quoted executable path, Path= its folder.
QByteArray DesktopEntry(const QString& executablePath);

/// Writes the entry atomically, creating the user folder when missing.
bool WriteAutostartEntry(TAutostartPlace place, const QString& executablePath);
bool RemoveAutostartEntry(TAutostartPlace place, const QString& executablePath);
