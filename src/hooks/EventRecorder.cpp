// SPDX-License-Identifier: GPL-3.0-or-later
#include "hooks/EventRecorder.h"

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <poll.h>
#include <pthread.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <xcb/xcbext.h>

namespace {

struct TFree {
    void operator()(void* p) const { std::free(p); }
};

constexpr std::uint8_t RecordFromServer = 0;
constexpr std::uint8_t RecordEndOfData = 5;

std::uint32_t MouseMessageOf(std::uint8_t type, std::uint8_t button)
{
    const bool down = type == XCB_BUTTON_PRESS;
    switch (button) {
    case 1:
        return down ? HookLeftButtonDown : HookLeftButtonUp;
    case 2:
        return down ? HookMiddleButtonDown : HookMiddleButtonUp;
    case 3:
        return down ? HookRightButtonDown : HookRightButtonUp;
    case 4:
    case 5:
        return down ? HookMouseWheel : 0;
    case 6:
    case 7:
        return down ? HookMouseHWheel : 0;
    default:
        return 0;
    }
}

} // namespace

std::unique_ptr<TEventRecorder> TEventRecorder::Start(int notificationPipe, THooksView& view)
{
    int screenNumber = 0;
    xcb_connection_t* control = xcb_connect(nullptr, &screenNumber);
    xcb_connection_t* data = xcb_connect(nullptr, nullptr);
    auto fail = [&] {
        xcb_disconnect(control);
        xcb_disconnect(data);
        return nullptr;
    };
    if (xcb_connection_has_error(control) || xcb_connection_has_error(data))
        return fail();
    const xcb_query_extension_reply_t* record = xcb_get_extension_data(control, &xcb_record_id);
    if (!record || !record->present)
        return fail();
    xcb_screen_iterator_t screens = xcb_setup_roots_iterator(xcb_get_setup(control));
    for (int i = 0; i < screenNumber && screens.rem; ++i)
        xcb_screen_next(&screens);
    if (!screens.rem)
        return fail();

    std::unique_ptr<TEventRecorder> recorder(
        new TEventRecorder(control, data, screens.data->root, notificationPipe, view));
    if (!recorder->Enable())
        return nullptr;

    // The thread must never take the program's signals (SIGTERM starts the
    // orderly shutdown on the main thread); it inherits this mask.
    sigset_t all;
    sigset_t previous;
    sigfillset(&all);
    pthread_sigmask(SIG_SETMASK, &all, &previous);
    recorder->m_thread = std::thread([r = recorder.get()] { r->Run(); });
    pthread_sigmask(SIG_SETMASK, &previous, nullptr);
    pthread_setname_np(recorder->m_thread.native_handle(), "Hooks");
    return recorder;
}

TEventRecorder::TEventRecorder(xcb_connection_t* control, xcb_connection_t* data, xcb_window_t root, int pipe,
                               THooksView& view)
    : m_control(control), m_data(data), m_view(view), m_lookup(control, root), m_pipe(pipe)
{
}

TEventRecorder::~TEventRecorder()
{
    if (m_thread.joinable()) {
        const std::uint64_t one = 1;
        while (write(m_stop, &one, sizeof one) < 0 && errno == EINTR) {
        }
        m_thread.join();
    }
    if (m_context) {
        xcb_record_disable_context(m_control, m_context);
        xcb_record_free_context(m_control, m_context);
        xcb_flush(m_control);
    }
    if (m_stop >= 0)
        close(m_stop);
    xcb_disconnect(m_data);
    xcb_disconnect(m_control);
}

bool TEventRecorder::Enable()
{
    m_stop = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (m_stop < 0)
        return false;
    ReadKeyboardMap();

    m_context = xcb_generate_id(m_control);
    xcb_record_range_t range;
    std::memset(&range, 0, sizeof range);
    range.device_events.first = XCB_KEY_PRESS;
    range.device_events.last = XCB_MOTION_NOTIFY;
    const xcb_record_client_spec_t clients = XCB_RECORD_CS_ALL_CLIENTS;
    std::unique_ptr<xcb_generic_error_t, TFree> error(xcb_request_check(
        m_control, xcb_record_create_context_checked(m_control, m_context, 0, 1, 1, &clients, &range)));
    if (error) {
        m_context = 0;
        return false;
    }
    m_enableSequence = xcb_record_enable_context(m_data, m_context).sequence;
    xcb_flush(m_data);
    return !xcb_connection_has_error(m_data);
}

void TEventRecorder::ReadKeyboardMap()
{
    const xcb_setup_t* setup = xcb_get_setup(m_control);
    const std::uint8_t first = setup->min_keycode;
    const std::uint8_t count = setup->max_keycode - setup->min_keycode + 1;
    std::unique_ptr<xcb_get_keyboard_mapping_reply_t, TFree> reply(
        xcb_get_keyboard_mapping_reply(m_control, xcb_get_keyboard_mapping(m_control, first, count), nullptr));
    if (!reply)
        return;
    const xcb_keysym_t* keysyms = xcb_get_keyboard_mapping_keysyms(reply.get());
    const int length = xcb_get_keyboard_mapping_keysyms_length(reply.get());
    m_keyboard =
        TKeyboardMap(first, reply->keysyms_per_keycode, std::span<const std::uint32_t>(keysyms, std::size_t(length)));
}

void TEventRecorder::Run()
{
    std::vector<TWireEvent> events;
    while (true) {
        events.clear();
        const bool recording = TakeRecorded(events);
        for (std::size_t i = 0; i < events.size(); ++i) {
            // Of several movements in a row only the newest matters.
            const bool moved = (events[i][0] & 0x7f) == XCB_MOTION_NOTIFY;
            if (moved && i + 1 < events.size() && (events[i + 1][0] & 0x7f) == XCB_MOTION_NOTIFY)
                continue;
            Handle(events[i]);
        }
        while (xcb_generic_event_t* event = xcb_poll_for_event(m_control)) {
            if ((event->response_type & 0x7f) == XCB_MAPPING_NOTIFY)
                ReadKeyboardMap();
            std::free(event);
        }
        const bool drained = m_pipe.Flush();
        if (!recording && drained)
            return;

        pollfd fds[4];
        nfds_t count = 0;
        fds[count++] = {m_stop, POLLIN, 0};
        if (recording)
            fds[count++] = {xcb_get_file_descriptor(m_data), POLLIN, 0};
        if (!xcb_connection_has_error(m_control))
            fds[count++] = {xcb_get_file_descriptor(m_control), POLLIN, 0};
        if (!drained)
            fds[count++] = {m_pipe.Fd(), POLLOUT, 0};
        if (poll(fds, count, -1) < 0 && errno != EINTR)
            return;
        if (fds[0].revents)
            return;
    }
}

bool TEventRecorder::TakeRecorded(std::vector<TWireEvent>& events)
{
    while (true) {
        void* raw = nullptr;
        xcb_generic_error_t* error = nullptr;
        if (!xcb_poll_for_reply(m_data, m_enableSequence, &raw, &error))
            return !xcb_connection_has_error(m_data);
        std::free(error);
        std::unique_ptr<xcb_record_enable_context_reply_t, TFree> reply(
            static_cast<xcb_record_enable_context_reply_t*>(raw));
        if (!reply || reply->category == RecordEndOfData)
            return false;
        if (reply->category != RecordFromServer)
            continue;
        const std::uint8_t* data = xcb_record_enable_context_data(reply.get());
        const int length = xcb_record_enable_context_data_length(reply.get());
        for (int offset = 0; offset + int(sizeof(TWireEvent)) <= length; offset += sizeof(TWireEvent)) {
            TWireEvent event;
            std::memcpy(&event, data + offset, sizeof event);
            events.push_back(event);
        }
    }
}

void TEventRecorder::Handle(const TWireEvent& event)
{
    static_assert(sizeof(xcb_key_press_event_t) == sizeof(TWireEvent));
    static_assert(sizeof(xcb_button_press_event_t) == sizeof(TWireEvent));
    const std::uint8_t type = event[0] & 0x7f;
    if (type == XCB_KEY_PRESS || type == XCB_KEY_RELEASE) {
        xcb_key_press_event_t key;
        std::memcpy(&key, event.data(), sizeof key);
        HandleKey(key, type == XCB_KEY_RELEASE);
    } else if (type == XCB_BUTTON_PRESS || type == XCB_BUTTON_RELEASE || type == XCB_MOTION_NOTIFY) {
        // The three share one layout; a movement's detail is no button.
        xcb_button_press_event_t pointer;
        std::memcpy(&pointer, event.data(), sizeof pointer);
        const std::uint32_t message = type == XCB_MOTION_NOTIFY ? HookMouseMove : MouseMessageOf(type, pointer.detail);
        if (message)
            HandlePointer(pointer, message);
    }
}

void TEventRecorder::HandleKey(const xcb_key_press_event_t& event, bool released)
{
    const TKeyEvent key = KeyEventOf(m_keyboard.KeysymOf(event.detail), released);
    const xcb_window_t window = m_lookup.FocusedWindow(event.root_x, event.root_y);
    const std::uint32_t process = m_lookup.ProcessOf(window);
    m_view.ProcessId = process;
    m_pipe.Push({m_view.KeyMessage, key.VirtualKey, key.Keystroke, process, event.root_x, event.root_y, window}, false);
}

void TEventRecorder::HandlePointer(const xcb_button_press_event_t& event, std::uint32_t mouseMessage)
{
    // Recorded events carry root coordinates only; the window is the one at
    // the event's own point, not where the pointer is by now.
    const xcb_window_t window = m_lookup.WindowAt(event.root_x, event.root_y);
    const std::uint32_t process = m_lookup.ProcessOf(window);
    m_view.ProcessId = process;
    m_view.X = event.root_x;
    m_view.Y = event.root_y;
    m_view.Window = window;
    m_pipe.Push({m_view.MouseMessage, mouseMessage, 0, process, event.root_x, event.root_y, window},
                mouseMessage == HookMouseMove);
}
