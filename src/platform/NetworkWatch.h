// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <functional>

#include "base/WorkerThread.h"

/// Tells when the network comes up: an IPv4 address or a default route
/// appears (a cable plugged in, a laptop waking, a VPN starting). Events come
/// in bursts, so the callback runs once a burst has been quiet for the
/// debounce time, on the watch's own thread.
class TNetworkWatch
{
public:
    /// Raises EPlenwick when the system's routing messages cannot be read.
    TNetworkWatch(std::function<void()> cameUp, int debounceMs);
    /// Ends the watch; waits for a callback that runs.
    ~TNetworkWatch();
    TNetworkWatch(const TNetworkWatch&) = delete;
    TNetworkWatch& operator=(const TNetworkWatch&) = delete;

private:
    void Run();
    /// Reads what the socket holds; true when a new address or default route was among it.
    bool CameUp();

    std::function<void()> m_cameUp;
    int m_debounceMs;
    int m_socket = -1;
    int m_wake[2] = {-1, -1};
    TWorkerThread m_thread;
};
