// SPDX-License-Identifier: GPL-3.0-or-later
#include "support/DisplayWatch.h"

#include <xcb/xtest.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <thread>

TDisplayWatch::TDisplayWatch()
    : m_x(xcb_connect(nullptr, nullptr)), m_root(xcb_setup_roots_iterator(xcb_get_setup(m_x)).data->root),
      m_protocols(Atom("WM_PROTOCOLS")), m_ping(Atom("_NET_WM_PING")), m_name(Atom("_NET_WM_NAME"))
{
    m_clock.start();
    // Maps of top-level windows, and the answers to pings, which Qt sends to
    // the root for those who watch its structure.
    const uint32_t mask = XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY | XCB_EVENT_MASK_STRUCTURE_NOTIFY;
    xcb_change_window_attributes(m_x, m_root, XCB_CW_EVENT_MASK, &mask);
    xcb_flush(m_x);
}

TDisplayWatch::~TDisplayWatch()
{
    xcb_disconnect(m_x);
}

xcb_window_t TDisplayWatch::WaitForWindow(const QByteArray& namePrefix, int timeoutMs)
{
    const qint64 end = Now() + qint64(timeoutMs) * 1000;
    while (Now() < end) {
        xcb_generic_event_t* event = xcb_poll_for_event(m_x);
        if (event == nullptr) {
            std::this_thread::sleep_for(std::chrono::microseconds(200));
            continue;
        }
        xcb_window_t mapped = 0;
        if ((event->response_type & 0x7f) == XCB_MAP_NOTIFY)
            mapped = reinterpret_cast<xcb_map_notify_event_t*>(event)->window;
        std::free(event);
        if (mapped != 0 && Name(mapped).startsWith(namePrefix))
            return mapped;
    }
    return 0;
}

void TDisplayWatch::Focus(xcb_window_t window)
{
    xcb_set_input_focus(m_x, XCB_INPUT_FOCUS_POINTER_ROOT, window, XCB_CURRENT_TIME);
    xcb_flush(m_x);
}

void TDisplayWatch::TypeKeys(const std::vector<uint32_t>& keysyms)
{
    std::vector<uint8_t> codes;
    for (const uint32_t keysym : keysyms)
        codes.push_back(KeyCode(keysym));
    for (const uint8_t code : codes)
        xcb_test_fake_input(m_x, XCB_KEY_PRESS, code, XCB_CURRENT_TIME, m_root, 0, 0, 0);
    for (auto code = codes.rbegin(); code != codes.rend(); ++code)
        xcb_test_fake_input(m_x, XCB_KEY_RELEASE, *code, XCB_CURRENT_TIME, m_root, 0, 0, 0);
    xcb_flush(m_x);
}

int TDisplayWatch::SendPing(xcb_window_t window)
{
    const int number = static_cast<int>(m_sent.size());
    xcb_client_message_event_t ping{};
    ping.response_type = XCB_CLIENT_MESSAGE;
    ping.format = 32;
    ping.window = window;
    ping.type = m_protocols;
    ping.data.data32[0] = m_ping;
    ping.data.data32[1] = static_cast<uint32_t>(number); // stands in for the time stamp
    ping.data.data32[2] = window;
    xcb_send_event(m_x, 0, window, XCB_EVENT_MASK_NO_EVENT, reinterpret_cast<const char*>(&ping));
    xcb_flush(m_x);
    m_sent.push_back(Now());
    return number;
}

std::vector<TDisplayWatch::TAnswer> TDisplayWatch::TakeAnswers()
{
    std::vector<TAnswer> answers;
    while (xcb_generic_event_t* event = xcb_poll_for_event(m_x)) {
        if ((event->response_type & 0x7f) == XCB_CLIENT_MESSAGE) {
            const auto* answer = reinterpret_cast<xcb_client_message_event_t*>(event);
            const uint32_t number = answer->data.data32[1];
            if (answer->data.data32[0] == m_ping && number < m_sent.size() && m_sent[number] >= 0) {
                answers.push_back({static_cast<int>(number), m_sent[number], Now()});
                m_sent[number] = -1;
            }
        }
        std::free(event);
    }
    return answers;
}

std::vector<qint64> TDisplayWatch::Unanswered() const
{
    std::vector<qint64> sent;
    for (const qint64 at : m_sent)
        if (at >= 0)
            sent.push_back(at);
    return sent;
}

std::vector<TDisplayWatch::TAnswer> TDisplayWatch::Ping(xcb_window_t window, int probeMs,
                                                        const std::function<bool()>& done)
{
    std::vector<TAnswer> answers;
    qint64 next = Now();
    while (!done()) {
        if (Now() >= next) {
            SendPing(window);
            next = Now() + qint64(probeMs) * 1000;
        }
        for (const TAnswer& answer : TakeAnswers())
            answers.push_back(answer);
        std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
    const qint64 end = Now();
    for (size_t number = 0; number < m_sent.size(); ++number)
        if (m_sent[number] >= 0)
            answers.push_back({static_cast<int>(number), m_sent[number], end});
    m_sent.clear();
    return answers;
}

uint32_t TDisplayWatch::Atom(const char* name)
{
    xcb_intern_atom_reply_t* reply =
        xcb_intern_atom_reply(m_x, xcb_intern_atom(m_x, 0, static_cast<uint16_t>(std::strlen(name)), name), nullptr);
    const uint32_t atom = reply != nullptr ? reply->atom : uint32_t(XCB_ATOM_NONE);
    std::free(reply);
    return atom;
}

QByteArray TDisplayWatch::Name(xcb_window_t window)
{
    QByteArray name;
    xcb_get_property_reply_t* reply = xcb_get_property_reply(
        m_x, xcb_get_property(m_x, 0, window, m_name, XCB_GET_PROPERTY_TYPE_ANY, 0, 256), nullptr);
    if (reply != nullptr)
        name =
            QByteArray(static_cast<const char*>(xcb_get_property_value(reply)), xcb_get_property_value_length(reply));
    std::free(reply);
    return name;
}

uint8_t TDisplayWatch::KeyCode(uint32_t keysym)
{
    const xcb_setup_t* setup = xcb_get_setup(m_x);
    const int count = setup->max_keycode - setup->min_keycode + 1;
    xcb_get_keyboard_mapping_reply_t* mapping = xcb_get_keyboard_mapping_reply(
        m_x, xcb_get_keyboard_mapping(m_x, setup->min_keycode, static_cast<uint8_t>(count)), nullptr);
    uint8_t code = 0;
    if (mapping != nullptr) {
        const xcb_keysym_t* keysyms = xcb_get_keyboard_mapping_keysyms(mapping);
        const int perCode = mapping->keysyms_per_keycode;
        for (int index = 0; index < count && code == 0; ++index)
            if (keysyms[index * perCode] == keysym)
                code = static_cast<uint8_t>(setup->min_keycode + index);
    }
    std::free(mapping);
    return code;
}
