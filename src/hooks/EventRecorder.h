// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <thread>
#include <vector>

#include <xcb/record.h>
#include <xcb/xcb.h>

#include "base/HooksInterface.h"
#include "base/KeyCodes.h"
#include "hooks/NotificationPipe.h"
#include "hooks/WindowLookup.h"

/// Watches the pointer and key events of every client on the display with the
/// XRecord extension, on a thread and two X connections of its own, and turns
/// each into a notification on the program's pipe. Destroying it stops the
/// thread, joins it and closes its connections.
class TEventRecorder
{
public:
    /// Connects to $DISPLAY and starts watching; null when there is no display
    /// or the server lacks XRecord.
    static std::unique_ptr<TEventRecorder> Start(int notificationPipe, THooksView& view);
    ~TEventRecorder();
    TEventRecorder(const TEventRecorder&) = delete;
    TEventRecorder& operator=(const TEventRecorder&) = delete;

private:
    /// A core input event as the server records it: 32 bytes, without the
    /// extended sequence number xcb appends to the events it reads itself.
    using TWireEvent = std::array<std::uint8_t, 32>;

    TEventRecorder(xcb_connection_t* control, xcb_connection_t* data, xcb_window_t root, int pipe, THooksView& view);
    bool Enable();
    void ReadKeyboardMap();
    void Run();
    /// Takes every recorded chunk that has arrived; false when the data
    /// connection broke or recording ended.
    bool TakeRecorded(std::vector<TWireEvent>& events);
    void Handle(const TWireEvent& event);
    void HandleKey(const xcb_key_press_event_t& event, bool released);
    void HandlePointer(const xcb_button_press_event_t& event, std::uint32_t mouseMessage);

    xcb_connection_t* m_control;
    xcb_connection_t* m_data;
    xcb_record_context_t m_context = 0;
    unsigned m_enableSequence = 0;
    THooksView& m_view;
    TWindowLookup m_lookup;
    TNotificationPipe m_pipe;
    TKeyboardMap m_keyboard;
    int m_stop = -1;
    std::thread m_thread;
};
