// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

#include "base/Exceptions.h"

// Dequote and the number conversions live in TextFields.h, the time
// differences and Unix time in DateTime.h.

/// The machine-wide autostart entry could not be written or removed.
class EAutostartInRegistryFailed : public EPlenwick
{
public:
    using EPlenwick::EPlenwick;
};

/// Where the program starts with the desktop session: place 1 machine-wide,
/// place 2 for this user, place 0 when not registered.
struct TAutostartState {
    bool registered = false;
    int place = 0;
};

TAutostartState AutostartState(const QString& executablePath);

/// Registers or removes the start with the session. Returns the place used,
/// 0 when nothing could be written. Raises EAutostartInRegistryFailed when the
/// machine-wide entry cannot be written or removed.
int SetAutostart(const QString& executablePath, bool wanted);

/// Installs the service if possible (true: the caller switches to monitor
/// operation), else registers the autostart entry; reports either way.
bool RegisterForAutomaticStart();
