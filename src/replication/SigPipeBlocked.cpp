// SPDX-License-Identifier: GPL-3.0-or-later
#include "replication/SigPipeBlocked.h"

#include <cerrno>
#include <ctime>

#include <pthread.h>

namespace {

bool PipePending()
{
    sigset_t pending;
    sigpending(&pending);
    return sigismember(&pending, SIGPIPE) == 1;
}

} // namespace

TSigPipeBlocked::TSigPipeBlocked()
{
    sigemptyset(&m_pipe);
    sigaddset(&m_pipe, SIGPIPE);
    m_wasPending = PipePending();
    pthread_sigmask(SIG_BLOCK, &m_pipe, &m_previous);
}

TSigPipeBlocked::~TSigPipeBlocked()
{
    if (!m_wasPending && PipePending()) {
        const timespec none{};
        while (sigtimedwait(&m_pipe, nullptr, &none) < 0 && errno == EINTR) {
        }
    }
    pthread_sigmask(SIG_SETMASK, &m_previous, nullptr);
}
