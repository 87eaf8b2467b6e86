// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <csignal>

/// SIGPIPE blocked on this thread for the object's life, and one that a call
/// meanwhile raised taken off again. For writes that cannot say
/// MSG_NOSIGNAL (OpenSSL's write(), sendfile): a peer that has gone would
/// otherwise end the whole process, wherever its signals are not ignored.
class TSigPipeBlocked
{
public:
    TSigPipeBlocked();
    ~TSigPipeBlocked();
    TSigPipeBlocked(const TSigPipeBlocked&) = delete;
    TSigPipeBlocked& operator=(const TSigPipeBlocked&) = delete;

private:
    sigset_t m_pipe{};
    sigset_t m_previous{};
    bool m_wasPending = false;
};
