// SPDX-License-Identifier: GPL-3.0-or-later
// The library's only entry points. The program calls them from its main
// thread, in the order InstallHooks, ReturnView, UninstallHooks.

#include <memory>
#include <type_traits>
#include <utility>

#include "base/HooksInterface.h"
#include "hooks/EventRecorder.h"

namespace {

// Picked from the range window systems hand out for registered messages, so
// they never meet a message number the program knows otherwise.
constexpr std::uint32_t MouseNotificationMessage = 0xC3A1;
constexpr std::uint32_t KeyNotificationMessage = 0xC3A2;

THooksView View{};
// A plain pointer, not destroyed at process exit: when the program ends
// without an orderly shutdown (its display died), its own exit handlers call
// UninstallHooks after this library's would have run, and the recorder would
// be freed twice.
TEventRecorder* Recorder = nullptr;

} // namespace

#define PLENWICK_HOOKS_EXPORT extern "C" __attribute__((visibility("default")))

PLENWICK_HOOKS_EXPORT bool InstallHooks(int notificationPipe)
{
    if (Recorder || notificationPipe < 0)
        return false;
    View = THooksView{};
    View.MouseMessage = MouseNotificationMessage;
    View.KeyMessage = KeyNotificationMessage;
    Recorder = TEventRecorder::Start(notificationPipe, View).release();
    return Recorder != nullptr;
}

PLENWICK_HOOKS_EXPORT const THooksView* ReturnView()
{
    return &View;
}

PLENWICK_HOOKS_EXPORT void UninstallHooks()
{
    delete std::exchange(Recorder, nullptr);
}

// The program calls them through these pointer types.
static_assert(std::is_same_v<decltype(&InstallHooks), TInstallHooks>);
static_assert(std::is_same_v<decltype(&ReturnView), TReturnView>);
static_assert(std::is_same_v<decltype(&UninstallHooks), TUninstallHooks>);
