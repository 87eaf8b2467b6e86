// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <QStringList>

/// One row of the protocol log.
struct TProtocolEntry {
    QString time; ///< "dd.mm.yy hh:nn:ss.zzz"
    QString category;
    QString message;
    int icon = -1;

    /// The protocol file's line form "%s [%s] %s", without terminator.
    QString FileLine() const;
};

/// The two text panes of the overview page.
enum class TOverviewPane {
    Client,
    Server
};

/// Kinds of message box; every box has an OK button only.
enum class TMessageKind {
    Information,
    Warning,
    Error
};

/// How the main window appears once it is created.
enum class TWindowStart {
    Shown,
    Hidden, ///< file-move instance, or the service is installed
    InTray, ///< only the notification-area icon
};

/// Everything the core asks of the main window. The GUI implements it with
/// forms; the headless front-end implements it without any, answering prompts
/// as their countdown would. Called on the main thread only, and only by
/// TUiAdapter (foundation/UiAdapter.h).
class TUiPort
{
public:
    virtual ~TUiPort() = default;

    virtual void SetCaption(const QString& caption) = 0;
    virtual void SetProtocolPageVisible(bool visible) = 0;
    virtual void RebuildObjectViews() = 0;
    virtual void RebuildClientViews() = 0;
    virtual void RefreshClientOnlineMarks() = 0;
    /// The Scriptus control tree, after the control list was read again.
    virtual void RebuildControlTree() {}

    /// A new protocol entry. showInList follows MiscShowProtocol; a headless
    /// front-end reports every entry regardless.
    virtual void ProtocolEntry(const TProtocolEntry& entry, bool showInList, bool lastToFirst) = 0;

    /// A block for the top of an overview pane; activate asks to show the page first.
    virtual void OverviewMessage(TOverviewPane pane, const QString& block, bool activate) = 0;

    /// A message box with OK only, not modal. Never asked for in a service process.
    virtual void ShowMessage(TMessageKind kind, const QString& text) = 0;

    /// The connection settings dialog shows NetServerName as it is now.
    virtual void RefreshConnectionSettings() {}
    /// Stops both object view builders and returns once they have ended.
    virtual void CancelObjectViewBuilds() {}

    // Start-up and shutdown of the window, in the order start-up calls them.

    /// Whether the window shows, stays hidden or lives in the notification area.
    virtual void SetWindowStart(TWindowStart start) = 0;
    /// Makes the page with this index (MainActiveTab) the active one.
    virtual void SetActivePage(int index) = 0;
    /// The lists are being read (true), or are all in (false): until then
    /// the window shows so and offers nothing that needs them.
    virtual void SetListsReading(bool reading) = 0;
    /// Starts the views builder for every tree and list.
    virtual void BuildAllViews() = 0;
    /// Refreshes the enabled state of every action.
    virtual void UpdateActionStates() = 0;
    /// First idle moment: the window is complete; start the clock and let the
    /// dialogs finish their own set-up.
    virtual void CompleteCreation() = 0;
    /// Geometry, tree widths and column widths from the layout configuration.
    virtual void RestoreLayout() = 0;
    /// Writes them back into the layout configuration; the caller saves it.
    virtual void SaveLayout() = 0;
    /// The waiting window of the orderly shutdown; its "Sofort beenden" calls
    /// ImmediateShutdown (foundation/Quit.h).
    virtual void ShowShutdownWindow(bool visible) = 0;
    /// A line in that window on what the shutdown does now; "" clears it.
    virtual void ShowShutdownNote(const QString& note) = 0;

    /// The second panel of the object page's status bar; "" clears it.
    virtual void SetObjectStatusText(const QString& text) = 0;

    // Installation prompts of a client session; silence (the countdown
    // running out) means yes.

    /// Whether the listed objects ("<target path> (<description>) löschen")
    /// are to be installed now. Never called with an empty list.
    virtual bool AskNewObjects(const QStringList& objects) = 0;
    /// Whether the program may restart so that its own update takes effect.
    virtual bool AskRestart() = 0;
};
