// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <xcb/xcb.h>

#include <functional>
#include <vector>

#include <QByteArray>
#include <QElapsedTimer>

/// Watches a program's window from outside, on the display of $DISPLAY: the
/// window appears as a map on the root window, and the _NET_WM_PING messages
/// sent to it are answered by the program's main thread, after every event
/// sent to it before, so an answer's delay is how long that thread was held.
/// Keys are typed through XTest to the window that has the input focus.
/// Times are in microseconds since the watch was made.
class TDisplayWatch
{
public:
    TDisplayWatch();
    ~TDisplayWatch();
    TDisplayWatch(const TDisplayWatch&) = delete;
    TDisplayWatch& operator=(const TDisplayWatch&) = delete;

    qint64 Now() const { return m_clock.nsecsElapsed() / 1000; }

    /// The first window mapped from now on whose name starts so; 0 after the time.
    xcb_window_t WaitForWindow(const QByteArray& namePrefix, int timeoutMs);
    /// Gives the window the input focus, as a window manager would.
    void Focus(xcb_window_t window);
    /// Presses the keys in order and lets them go in the opposite order.
    void TypeKeys(const std::vector<uint32_t>& keysyms);

    /// Sends a ping to the window; its number.
    int SendPing(xcb_window_t window);
    struct TAnswer {
        int ping;
        qint64 sent;
        qint64 answered;
    };
    /// The answers that have come since the last call.
    std::vector<TAnswer> TakeAnswers();
    /// The pings still unanswered: when each was sent.
    std::vector<qint64> Unanswered() const;

    /// Pings the window every probeMs until done() holds; the answers, and
    /// the pings unanswered then as answered at the end.
    std::vector<TAnswer> Ping(xcb_window_t window, int probeMs, const std::function<bool()>& done);

private:
    uint32_t Atom(const char* name);
    QByteArray Name(xcb_window_t window);
    uint8_t KeyCode(uint32_t keysym);

    QElapsedTimer m_clock;
    xcb_connection_t* m_x;
    xcb_window_t m_root;
    uint32_t m_protocols;
    uint32_t m_ping;
    uint32_t m_name;
    std::vector<qint64> m_sent; // by ping number; -1 once answered
};
