// SPDX-License-Identifier: GPL-3.0-or-later
#include "scriptus/Hooks.h"

#include <atomic>

#include <unistd.h>

#include <QCoreApplication>

#include "foundation/PoolInterlocked.h"
#include "foundation/Startup.h"
#include "platform/HooksLibrary.h"

namespace {

constexpr int HooksIcon = 22;
// The first press of Pause: scan code 0x45, not extended, repeat count 1.
constexpr std::uint32_t PauseFirstPress = 0x00450001;
constexpr std::uint32_t KeyReleased = 0x80000000;

struct THooksState {
    THooksLibrary library;
    bool messageHook = false;
    TRecordingPage* page = nullptr;
};

THooksState& State()
{
    static THooksState state;
    return state;
}

std::atomic<bool> Held{false};

void HandleMouse(const THooksNotification& notification, TRecordingPage& page)
{
    if (Held || !page.ScriptusPageActive())
        return;
    switch (notification.WParam) {
    case HookNcMouseMove:
    case HookMouseMove:
        page.TrackMouse(notification);
        break;
    case HookLeftButtonDown:
        if (notification.ProcessId != std::uint32_t(getpid()) && page.LogAllEvents())
            page.RecordLeftClick(notification);
        break;
    case HookRightButtonDown:
        page.OpenActionMenu(notification);
        break;
    default:
        break;
    }
}

void HandleKey(const THooksNotification& notification, TRecordingPage& page)
{
    if (!page.ScriptusPageActive())
        return;
    if (notification.LParam == PauseFirstPress) {
        if (!Held)
            page.OpenActionMenu(notification);
        else
            page.ReleaseHold();
        return;
    }
    if (!Held && !(notification.LParam & KeyReleased) && notification.ProcessId != std::uint32_t(getpid()) &&
        page.LogAllEvents())
        page.AppendKeyDown(notification.WParam, notification.LParam);
}

} // namespace

void InstallRecordingHooks()
{
    SetRecordingHooks([] { LoadHooks(THooksLibrary::DefaultPath()); }, &InstallMessageHook);
    QObject::connect(QCoreApplication::instance(), &QCoreApplication::aboutToQuit, &UnloadHooks);
}

bool LoadHooks(const QString& path)
{
    const bool loaded = State().library.Load(path, &HandleHooksNotification);
    Log(QStringLiteral("Hooks"),
        loaded ? QStringLiteral("Die Operationen der Hooks-DLL wurden erfolgreich geladen")
               : QStringLiteral("Die Hooks-DLL konnte nicht erfolgreich geladen werden"),
        HooksIcon);
    return loaded;
}

void InstallMessageHook()
{
    State().messageHook = State().library.Loaded();
}

void UnloadHooks()
{
    State().messageHook = false;
    State().library.Unload();
}

bool HooksLoaded()
{
    return State().library.Loaded();
}

void SetRecordingPage(TRecordingPage* page)
{
    State().page = page;
}

TScriptus& RecordingTemplate()
{
    static TScriptus pattern;
    return pattern;
}

bool RecordingHeld()
{
    return Held;
}

void SetRecordingHeld(bool held)
{
    Held = held;
}

void HandleHooksNotification(const THooksNotification& notification)
{
    THooksState& state = State();
    const THooksView* view = state.library.View();
    // Without the message hook, or without a page, a notification is consumed
    // and nothing happens.
    if (!state.messageHook || !state.page || !view)
        return;
    if (notification.Message == view->KeyMessage)
        HandleKey(notification, *state.page);
    else if (notification.Message == view->MouseMessage)
        HandleMouse(notification, *state.page);
}
