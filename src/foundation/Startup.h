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
/// The controls are read at once on the main thread (their page reads the
/// desktop off it); the other lists one after the other on the list reader,
/// so that the window shows at once however long they are. start runs on the
/// main thread once every list is in, in the order of the lists: what uses a
/// list beside the window (imports, cleaning) waits for all of them.
void SetListLoader(TListKind kind, std::function<void()> load, std::function<void()> start = {});

/// Every list is in, and what waits for them has started.
bool ListsRead();
/// Runs then now when every list is in, else once they are (main thread).
void WhenListsRead(std::function<void()> then);

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
/// layout, pending installations, the window, the start of the list reading;
/// then arranges the completion for the first idle moment of the event loop.
/// Once every list is in, the lists' own starts, the listeners, the views,
/// the object update timer and a client's first update follow. The file-move
/// instance only schedules its move and the end. The service flag
/// (ServiceMode.h) must be set before. Main thread only.
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
