// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Plain C++ on xcb without Qt: the hooks library includes this as well as the core.

#include <xcb/res.h>
#include <xcb/xcb.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>

/// The process that made a window: its _NET_WM_PID, else the local client the
/// X server's resource extension names (windows without the property, such as
/// Qt's helpers and plain X programs); 0 when neither tells.
inline std::uint32_t WindowProcess(xcb_connection_t* connection, xcb_window_t window, xcb_atom_t netWmPid,
                                   bool askServer = true)
{
    struct TFree {
        void operator()(void* p) const { std::free(p); }
    };
    std::unique_ptr<xcb_get_property_reply_t, TFree> property(xcb_get_property_reply(
        connection, xcb_get_property(connection, 0, window, netWmPid, XCB_ATOM_CARDINAL, 0, 1), nullptr));
    std::uint32_t process = 0;
    if (property && xcb_get_property_value_length(property.get()) >= 4)
        std::memcpy(&process, xcb_get_property_value(property.get()), 4);
    if (process != 0 || !askServer)
        return process;
    xcb_res_client_id_spec_t wanted{window, XCB_RES_CLIENT_ID_MASK_LOCAL_CLIENT_PID};
    std::unique_ptr<xcb_res_query_client_ids_reply_t, TFree> ids(
        xcb_res_query_client_ids_reply(connection, xcb_res_query_client_ids(connection, 1, &wanted), nullptr));
    if (!ids)
        return 0;
    for (auto it = xcb_res_query_client_ids_ids_iterator(ids.get()); it.rem; xcb_res_client_id_value_next(&it))
        if ((it.data->spec.mask & XCB_RES_CLIENT_ID_MASK_LOCAL_CLIENT_PID) &&
            xcb_res_client_id_value_value_length(it.data) >= 1)
            return *xcb_res_client_id_value_value(it.data);
    return 0;
}
