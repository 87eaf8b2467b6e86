// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <functional>

#include <QString>
#include <QStringList>

#include "foundation/UiPort.h"

/// The one way from the core to the window. Every call runs on the main
/// thread: at once when made there, queued when made on any other thread.
/// Calls that only report (protocol entries, overview messages, view
/// rebuilds, message boxes) never wait; a worker goes on at once, and what it
/// queued is delivered in order. Only the calls that need an answer or must
/// be complete before the worker goes on (the installation prompts, the
/// connection-settings refresh, cancelling the object view builds) wait.
/// Without a front-end every call does nothing.
class TUiAdapter
{
public:
    /// Installs the front-end (nullptr removes it). Main thread only; what
    /// is still queued reaches the previous front-end first, so removing the
    /// front-end at the program's end delivers every pending entry.
    static void Install(TUiPort* port);
    static TUiPort* Installed();
    /// Runs what workers queued. Main thread only.
    static void DeliverPending();

    // Never wait.

    /// Work beside the window that must keep its place among the window's
    /// calls (the protocol file); port is nullptr without front-end.
    static void Post(std::function<void(TUiPort* port)> call);
    static void SetCaption(const QString& caption);
    static void SetProtocolPageVisible(bool visible);
    static void RebuildObjectViews();
    static void RebuildClientViews();
    static void RefreshClientOnlineMarks();
    static void RebuildControlTree();
    static void UpdateActionStates();
    static void SetObjectStatusText(const QString& text);
    static void OverviewMessage(TOverviewPane pane, const QString& block, bool activate);
    /// Never shown in the service process. A box asked for by a worker does
    /// not hold it; boxes a worker asks for before the main thread gets to
    /// them are merged when their first line is the same: one box with the
    /// first details and the count.
    static void ShowMessage(TMessageKind kind, const QString& text);

    // Start-up and shutdown of the window; made on the main thread.

    static void SetWindowStart(TWindowStart start);
    static void SetActivePage(int index);
    static void SetListsReading(bool reading);
    static void BuildAllViews();
    static void CompleteCreation();
    static void RestoreLayout();
    static void SaveLayout();
    static void ShowShutdownWindow(bool visible);
    static void ShowShutdownNote(const QString& note);

    // Wait.

    /// False without front-end.
    static bool AskNewObjects(const QStringList& objects);
    static bool AskRestart();
    static void RefreshConnectionSettings();
    /// Returns once both object view builders have stopped: the caller may
    /// remove objects.
    static void CancelObjectViewBuilds();
};
