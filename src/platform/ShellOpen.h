// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <QStringList>

/// The shell's "open": an executable file is started directly with the
/// parameters, anything else is handed to xdg-open (or to the program
/// PLENWICK_OPEN names). The started process is
/// not waited for and outlives this one. False when nothing could be started.
bool ShellOpen(const QString& path, const QStringList& parameters = {}, const QString& workingFolder = {});

/// The full path of a program found on PATH; "" when there is none.
QString FindProgramOnPath(const QString& name);
