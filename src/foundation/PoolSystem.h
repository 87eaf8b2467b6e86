// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <optional>

#include <QByteArray>
#include <QString>
#include <QStringList>

#include "base/Exceptions.h"

// Dequote and the number conversions live in TextFields.h, the time
// differences and Unix time in DateTime.h.

/// The machine-wide autostart entry could not be written or removed.
class EAutostartInRegistryFailed : public EPlenwick
{
public:
    using EPlenwick::EPlenwick;
};

/// The calling thread's file-system uid is 0 (an impersonating thread answers
/// for the account it acts as).
bool IsAdministrator();

/// "\" followed by each text from the topmost ancestor down to the node, each
/// followed by "\": {"A","B","C"} gives \A\B\C\ .
QString TreePath(const QStringList& textsFromTop);

/// Reverse lookup of a dotted IPv4 address (hosts file and DNS); no result when
/// the text is no address or no name is known. Blocks: worker threads only.
std::optional<QString> HostNameOfAddress(const QString& address);

/// zlib data format (RFC 1950), level 9, of the whole buffer.
QByteArray CompressText(const QByteArray& data);
/// The inverse; no result for data that is not one complete zlib stream.
std::optional<QByteArray> DecompressText(const QByteArray& data);

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
