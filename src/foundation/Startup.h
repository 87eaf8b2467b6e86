// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <functional>
#include <optional>

#include <QString>

/// What this process is, decided once at start.
enum class TInstanceKind {
    Working,  ///< the service is not installed, or this process is the service
    Monitor,  ///< the service is installed and this process is not it
    FileMove, ///< exactly two parameters: rename the first file to the second, then end
};

/// The lists start-up reads, in the order it reads them.
enum class TListKind {
    Objects,
    Clients,
    Downloads,
    Users,
    Controls
};

/// The list units plug their load in here; a kind without loader is skipped.
void SetListLoader(TListKind kind, std::function<void()> load);

/// Starts a client session of connect kind Update to host:port; the client
/// session side plugs it in. Used by the end of start-up and by the object
/// update timer.
using TUpdateSessionStarter = std::function<void(const QString& host, int port)>;
void SetUpdateSessionStarter(TUpdateSessionStarter starter);

/// The file-move instance's job: both paths as given on the command line.
struct TFileMove {
    QString from;
    QString to;
};

/// File move when asked for; else the monitor when the service is installed
/// and this process is not it; else the working instance.
TInstanceKind DecideInstanceKind(bool fileMove);

/// Scriptus recording plugs in here: `load` runs at start in a working
/// instance on the master server that is not the service; `installMessageHook`
/// runs in the completion sequence of that instance.
void SetRecordingHooks(std::function<void()> load, std::function<void()> installMessageHook);

/// The main window's creation sequence: options, file-move check, caption,
/// pending installations, listeners, lists, views, action states, the object
/// update timer; then arranges the completion for the first idle moment of
/// the event loop. The file-move instance only schedules its move and the end.
/// The service flag (ServiceMode.h) must be set before. Main thread only.
TInstanceKind RunMainWindowCreation(const std::optional<TFileMove>& fileMove = std::nullopt);

/// The completion sequence (normally run by the arrangement above).
void RunCompletion();

/// The completion sequence has run.
bool MainWindowComplete();

/// The kind RunMainWindowCreation decided.
TInstanceKind InstanceKind();

/// Starts an update session to NetServerName:NetServerPort through the plugged
/// starter; none in a monitor instance, whose service runs the sessions.
void StartUpdateSession();
