// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <functional>

#include <QString>
#include <QVariantList>

#include "base/Exceptions.h"

class ENoArgs : public EPlenwick
{
public:
    using EPlenwick::EPlenwick;
};

class ENoProc : public EPlenwick
{
public:
    using EPlenwick::EPlenwick;
};

using TInterlockedProc = std::function<void(const QVariantList&)>;

/// The main-thread call: runs a procedure on the main thread and returns when it
/// has finished. On the main thread the procedure runs at once; from any other
/// thread it is queued to the Qt event loop and the caller blocks. An exception
/// of the procedure is raised again in the caller.
class TPoolInterlocked
{
public:
    /// Raises ENoArgs for an empty array, ENoProc without procedure. The
    /// procedure gets its own copy of the array.
    static void Synchronize(const QVariantList& args, const TInterlockedProc& proc);
    static void Synchronize(const std::function<void()>& proc);

    /// Runs the procedure on the main thread without waiting for it: at once on
    /// the main thread, else queued. For callers that hold a lock the main
    /// thread may need (the option filters).
    static void Post(std::function<void()> proc);

    static bool IsMainThread();
};

/// Reads a boolean option by name. The options are kept above this unit, so
/// the configuration hands its reader down when it registers them.
using TProtocolSwitch = bool (*)(const char* name);
/// The protocol's switches (MiscShowProtocol, MiscWriteProtocolToFile,
/// MiscProtocolLastToFirst, MiscChangeToOverview); all off until one is set.
void SetProtocolSwitch(TProtocolSwitch isOn);

/// A protocol entry from any thread, stamped with the time of the call: list
/// row (MiscShowProtocol), protocol file (MiscWriteProtocolToFile), and the
/// front-end's own echo. On the main thread it is delivered at once; a worker
/// does not wait for it. Never raises: a protocol file that cannot be written
/// is reported once on standard error.
void Log(const QString& category, const QString& message, int icon = -1);

/// A block on top of the "Client-Informationen" pane.
void ClientMessage(const QString& message);
/// A block on top of the "Server-Informationen" pane, headed by the client's name.
void ServerMessage(const QString& clientName, const QString& message);

/// The text a protocol entry ends with when an exception was caught:
/// "... ist eine Ausnahme des Typs \"<message>\" aufgetreten".
QString ExceptionSuffix(const std::exception& error);
