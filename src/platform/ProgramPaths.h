// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

/// The running executable's full path as it started (from /proc/self/exe).
QString ExecutablePath();

/// The program folder with a trailing "/": PLENWICK_HOME when set, else the
/// executable's folder.
QString ProgramFolder();

/// A file beside the program named after the executable, with its extension
/// replaced (or appended): ProgramFile(".objects") gives ".../plenwick.objects".
QString ProgramFile(const QString& extension);

/// This computer's name: PLENWICK_COMPUTERNAME, else gethostname() up to the
/// first dot, else "localhost".
QString LocalComputerName();

/// The protocol file: PLENWICK_PROTOCOL_FILE, else /var/log/<product>.protocol.
QString ProtocolFilePath();

/// True for a path with a "drive part", which on this system means absolute.
bool HasDrivePart(const QString& path);
