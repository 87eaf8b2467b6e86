// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <optional>

#include <QStringList>

/// "/CONTROLS" lists every control of the desktop with its path, kind and
/// visibility; "/SCRIPTUS=<file>" runs a command file on this desktop. Both
/// start nothing else and write no registry value. Returns the exit code
/// when the parameters are one of them: 0 done, 1 a control was not found,
/// 2 the file could not be read, 3 no display or accessibility bus.
std::optional<int> RunScriptusCommandLine(const QStringList& parameters);
