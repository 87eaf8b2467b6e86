// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

#include "base/HooksInterface.h"
#include "scriptus/ScriptusBase.h"

/// What recording asks of the Scriptus page. The page registers itself; the
/// calls come on the main thread from the notifications of the hooks library.
class TRecordingPage
{
public:
    virtual ~TRecordingPage() = default;
    /// The Scriptus tab is the active main page.
    virtual bool ScriptusPageActive() = 0;
    /// "Alle Nachrichten protokollieren" is checked.
    virtual bool LogAllEvents() = 0;
    /// A movement: show the control under the pointer.
    virtual void TrackMouse(const THooksNotification& notification) = 0;
    /// A left button press in another program while "Alle Nachrichten
    /// protokollieren" is checked: record a click on the selected node's control.
    virtual void RecordLeftClick(const THooksNotification& notification) = 0;
    /// Pause or the right button: open the action menu at the notification's point.
    virtual void OpenActionMenu(const THooksNotification& notification) = 0;
    /// Pause pressed while held: let go and paint the panel as usual again.
    virtual void ReleaseHold() = 0;
    /// A key pressed in another program, to be appended as KeyDown.
    virtual void AppendKeyDown(std::uint32_t virtualKey, std::uint32_t keystroke) = 0;
};

/// Plugs loading, the message hook and unloading of the hooks library into
/// start-up and the program's end. Called once by the program entry.
void InstallRecordingHooks();

/// Loads the library and logs the outcome under "Hooks". True when loaded.
bool LoadHooks(const QString& path);
/// From now on notifications reach the page; before, they are dropped.
void InstallMessageHook();
/// Uninstalls and unloads the library when it is loaded.
void UnloadHooks();
bool HooksLoaded();

/// The page that receives recording's calls; null before it exists and after.
void SetRecordingPage(TRecordingPage* page);

/// The recording template: the control last shown under the mouse and the
/// last parameters chosen; appended commands take their parameters from it.
TScriptus& RecordingTemplate();

/// The hold state: while it is on, mouse notifications are ignored. The
/// executor holds it for a whole run, from its own thread.
bool RecordingHeld();
void SetRecordingHeld(bool held);

/// The message hook: what one notification from the library does.
void HandleHooksNotification(const THooksNotification& notification);
