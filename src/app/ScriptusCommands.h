// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

/// "/CONTROLS" lists every control of the desktop with its path, kind and
/// visibility; "/SCRIPTUS=<file>" runs a command file on this desktop. Both
/// start nothing else and write no registry value. Return the exit code:
/// 0 every row took effect, 1 a row failed or the run was ended (SIGTERM,
/// SIGINT), 2 the file could not be read, 3 no display or accessibility bus.
int RunControlsCommand();
int RunScriptusCommand(const QString& file);
