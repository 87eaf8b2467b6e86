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
constexpr std::uint32_t kMouseNotificationMessage = 0xC3A1;
constexpr std::uint32_t kKeyNotificationMessage = 0xC3A2;

THooksView g_view{};
// A plain pointer, not destroyed at process exit: when the program ends
// without an orderly shutdown (its display died), its own exit handlers call
// UninstallHooks after this library's would have run, and the recorder would
// be freed twice.
TEventRecorder* g_recorder = nullptr;

} // namespace

#define PLENWICK_HOOKS_EXPORT extern "C" __attribute__((visibility("default")))

PLENWICK_HOOKS_EXPORT bool InstallHooks(int notificationPipe)
{
    if (g_recorder || notificationPipe < 0)
        return false;
    g_view = THooksView{};
    g_view.MouseMessage = kMouseNotificationMessage;
    g_view.KeyMessage = kKeyNotificationMessage;
    g_recorder = TEventRecorder::Start(notificationPipe, g_view).release();
    return g_recorder != nullptr;
}

PLENWICK_HOOKS_EXPORT const THooksView* ReturnView()
{
    return &g_view;
}

PLENWICK_HOOKS_EXPORT void UninstallHooks()
{
    delete std::exchange(g_recorder, nullptr);
}

// The program calls them through these pointer types.
static_assert(std::is_same_v<decltype(&InstallHooks), TInstallHooks>);
static_assert(std::is_same_v<decltype(&ReturnView), TReturnView>);
static_assert(std::is_same_v<decltype(&UninstallHooks), TUninstallHooks>);
