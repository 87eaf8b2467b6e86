// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// What the hooks library and the program share: plain C++ without Qt, since
// the library is built without it.

#include <bit>
#include <cstddef>
#include <cstdint>

/// The record the library keeps up to date with every event and hands out by
/// ReturnView. The program reads only the two message identifiers from it;
/// everything else it takes from the notification's own copy, because the
/// next event overwrites the record before the program gets to read it.
struct THooksView {
    std::uint32_t Reserved0[2];
    /// Process in which the last event happened (0 when unknown).
    std::uint32_t ProcessId;
    std::uint32_t Reserved1[2];
    std::uint32_t MouseMessage;
    std::uint32_t KeyMessage;
    /// Last mouse position, screen coordinates.
    std::int32_t X;
    std::int32_t Y;
    /// Window under the mouse at the last mouse event.
    std::uint32_t Window;
};

static_assert(std::endian::native == std::endian::little, "the record's fields are little-endian");
static_assert(offsetof(THooksView, ProcessId) == 8);
static_assert(offsetof(THooksView, MouseMessage) == 20);
static_assert(offsetof(THooksView, KeyMessage) == 24);
static_assert(offsetof(THooksView, X) == 28);
static_assert(offsetof(THooksView, Y) == 32);
static_assert(offsetof(THooksView, Window) == 36);
static_assert(sizeof(THooksView) == 40);

/// One notification as the library writes it to the pipe, a fixed-size record
/// written whole (far below PIPE_BUF, so never split).
struct THooksNotification {
    /// The view's mouse or key message identifier.
    std::uint32_t Message;
    /// Mouse: the mouse message that happened. Key: the virtual-key code.
    std::uint32_t WParam;
    /// Key: the keystroke data. Mouse: 0.
    std::uint32_t LParam;
    /// Mouse: the process owning the window at the point. Key: the process
    /// owning the focused window, which receives the key.
    std::uint32_t ProcessId;
    /// The pointer's screen position when the event happened.
    std::int32_t X;
    std::int32_t Y;
    /// Mouse: the top-level window at the point. Key: the focused top-level window.
    std::uint32_t Window;
};

static_assert(sizeof(THooksNotification) == 28);

/// Mouse messages a mouse notification carries in WParam.
inline constexpr std::uint32_t HookNcMouseMove = 160;
inline constexpr std::uint32_t HookMouseMove = 512;
inline constexpr std::uint32_t HookLeftButtonDown = 513;
inline constexpr std::uint32_t HookLeftButtonUp = 514;
inline constexpr std::uint32_t HookRightButtonDown = 516;
inline constexpr std::uint32_t HookRightButtonUp = 517;
inline constexpr std::uint32_t HookMiddleButtonDown = 519;
inline constexpr std::uint32_t HookMiddleButtonUp = 520;
inline constexpr std::uint32_t HookMouseWheel = 522;
inline constexpr std::uint32_t HookMouseHWheel = 526;

/// The library's entry points, looked up by these names.
inline constexpr const char* InstallHooksName = "InstallHooks";
inline constexpr const char* ReturnViewName = "ReturnView";
inline constexpr const char* UninstallHooksName = "UninstallHooks";

extern "C" {
/// Starts watching the display's mouse and key events; notifications go to
/// the write end of a pipe. True when the hooks are in place.
typedef bool (*TInstallHooks)(int notificationPipe);
/// The shared record, valid until the library is unloaded.
typedef const THooksView* (*TReturnView)();
/// Stops watching and joins the library's thread.
typedef void (*TUninstallHooks)();
}
