// SPDX-License-Identifier: GPL-3.0-or-later
#include "hooks/WindowLookup.h"

#include <cstdlib>
#include <cstring>
#include <memory>

#include <xcb/res.h>

#include "base/WindowProcess.h"

namespace {

struct TFree {
    void operator()(void* p) const { std::free(p); }
};
template <typename T>
using TReply = std::unique_ptr<T, TFree>;

// Window trees are shallow; the bound only guards against a broken server.
constexpr int MaxDepth = 32;

} // namespace

TWindowLookup::TWindowLookup(xcb_connection_t* connection, xcb_window_t root)
    : m_connection(connection), m_root(root), m_wmState(Atom("WM_STATE")), m_netWmPid(Atom("_NET_WM_PID"))
{
    const xcb_query_extension_reply_t* res = xcb_get_extension_data(connection, &xcb_res_id);
    m_hasResources = res && res->present;
}

xcb_atom_t TWindowLookup::Atom(const char* name)
{
    TReply<xcb_intern_atom_reply_t> reply(
        xcb_intern_atom_reply(m_connection, xcb_intern_atom(m_connection, 0, std::strlen(name), name), nullptr));
    return reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
}

bool TWindowLookup::HasWmState(xcb_window_t window)
{
    TReply<xcb_get_property_reply_t> reply(xcb_get_property_reply(
        m_connection, xcb_get_property(m_connection, 0, window, m_wmState, XCB_ATOM_ANY, 0, 0), nullptr));
    return reply && reply->type != XCB_ATOM_NONE;
}

xcb_window_t TWindowLookup::WindowAt(std::int16_t x, std::int16_t y)
{
    xcb_window_t top = 0;
    xcb_window_t window = m_root;
    for (int depth = 0; depth < MaxDepth; ++depth) {
        TReply<xcb_translate_coordinates_reply_t> reply(xcb_translate_coordinates_reply(
            m_connection, xcb_translate_coordinates(m_connection, m_root, window, x, y), nullptr));
        if (!reply || reply->child == XCB_WINDOW_NONE)
            break;
        window = reply->child;
        if (!top)
            top = window;
        if (HasWmState(window))
            return window;
    }
    return top;
}

xcb_window_t TWindowLookup::ClientBelow(xcb_window_t frame, int depth)
{
    if (depth > MaxDepth)
        return 0;
    TReply<xcb_query_tree_reply_t> tree(
        xcb_query_tree_reply(m_connection, xcb_query_tree(m_connection, frame), nullptr));
    if (!tree)
        return 0;
    const xcb_window_t* children = xcb_query_tree_children(tree.get());
    const int count = xcb_query_tree_children_length(tree.get());
    for (int i = count - 1; i >= 0; --i) {
        if (HasWmState(children[i]))
            return children[i];
    }
    for (int i = count - 1; i >= 0; --i) {
        if (const xcb_window_t client = ClientBelow(children[i], depth + 1))
            return client;
    }
    return 0;
}

xcb_window_t TWindowLookup::FocusedWindow(std::int16_t pointerX, std::int16_t pointerY)
{
    TReply<xcb_get_input_focus_reply_t> focus(
        xcb_get_input_focus_reply(m_connection, xcb_get_input_focus(m_connection), nullptr));
    if (!focus || focus->focus == XCB_INPUT_FOCUS_POINTER_ROOT || focus->focus == XCB_WINDOW_NONE ||
        focus->focus == m_root)
        return WindowAt(pointerX, pointerY);

    xcb_window_t window = focus->focus;
    for (int depth = 0; depth < MaxDepth; ++depth) {
        if (HasWmState(window))
            return window;
        TReply<xcb_query_tree_reply_t> tree(
            xcb_query_tree_reply(m_connection, xcb_query_tree(m_connection, window), nullptr));
        if (!tree || tree->parent == m_root || tree->parent == XCB_WINDOW_NONE)
            break;
        window = tree->parent;
    }
    // The focus sits on a window manager's frame, or there is no window manager.
    const xcb_window_t client = ClientBelow(window, 0);
    return client ? client : window;
}

std::uint32_t TWindowLookup::ProcessOf(xcb_window_t window)
{
    if (window == 0)
        return 0;
    if (window == m_lastWindow)
        return m_lastProcess;

    const std::uint32_t process = WindowProcess(m_connection, window, m_netWmPid, m_hasResources);
    if (process != 0) {
        m_lastWindow = window;
        m_lastProcess = process;
    }
    return process;
}
