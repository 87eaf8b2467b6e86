// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QProcessEnvironment>
#include <QString>
#include <QStringList>

/// The shell's "open": an executable file is started directly with the
/// parameters, anything else is handed to xdg-open (or to the program
/// PLENWICK_OPEN names). The started process is
/// not waited for and outlives this one. False when nothing could be started.
bool ShellOpen(const QString& path, const QStringList& parameters = {}, const QString& workingFolder = {});

/// From now on programs started by ShellOpen get QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1
/// in their environment, so a Qt program shows its controls. This process's
/// own environment stays as it is: other threads read it meanwhile.
void StartProgramsAccessible();

/// From now on programs started by ShellOpen live in this environment (a
/// desktop of the program's own); an empty one returns them to this
/// process's environment.
void StartProgramsIn(const QProcessEnvironment& environment);

/// The shell's "explore": shows the file or folder in the desktop's file
/// manager (org.freedesktop.FileManager1 on the session bus), else opens the
/// folder it names or lies in with xdg-open (or PLENWICK_OPEN, which then
/// stands in for the file manager too). Waits for the bus: not on the main
/// thread. False when nothing could be shown.
bool ShellExplore(const QString& path);

/// The full path of a program found on PATH; "" when there is none.
QString FindProgramOnPath(const QString& name);
