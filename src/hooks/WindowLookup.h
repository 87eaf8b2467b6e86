// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>

#include <xcb/xcb.h>

/// Finds, on the library's own X connection, the top-level window at a screen
/// point or holding the keyboard focus, and the process that owns a window.
/// The top-level window is the client window a window manager put into its
/// frame (the one with WM_STATE), else the child of the root itself.
class TWindowLookup
{
public:
    TWindowLookup(xcb_connection_t* connection, xcb_window_t root);

    /// The top-level window at the point, 0 over the bare root window.
    xcb_window_t WindowAt(std::int16_t x, std::int16_t y);
    /// The top-level window that receives keys now; with the focus following
    /// the pointer, the one at the pointer.
    xcb_window_t FocusedWindow(std::int16_t pointerX, std::int16_t pointerY);
    /// _NET_WM_PID, else the X resource extension's answer; 0 when unknown.
    std::uint32_t ProcessOf(xcb_window_t window);

private:
    bool HasWmState(xcb_window_t window);
    xcb_window_t ClientBelow(xcb_window_t frame, int depth);
    xcb_atom_t Atom(const char* name);

    xcb_connection_t* m_connection;
    xcb_window_t m_root;
    xcb_atom_t m_wmState;
    xcb_atom_t m_netWmPid;
    bool m_hasResources;
    // Movements mostly stay over one window: spare the look-up then.
    xcb_window_t m_lastWindow = 0;
    std::uint32_t m_lastProcess = 0;
};
