// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/NetworkWatch.h"

#include <fcntl.h>
#include <linux/netlink.h>
#include <linux/rtnetlink.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <optional>

#include <QDeadlineTimer>

#include "base/Exceptions.h"

TNetworkWatch::TNetworkWatch(std::function<void()> cameUp, int debounceMs)
    : m_cameUp(std::move(cameUp)), m_debounceMs(debounceMs)
{
    m_socket = ::socket(AF_NETLINK, SOCK_RAW | SOCK_CLOEXEC | SOCK_NONBLOCK, NETLINK_ROUTE);
    sockaddr_nl address{};
    address.nl_family = AF_NETLINK;
    address.nl_groups = RTMGRP_IPV4_IFADDR | RTMGRP_IPV4_ROUTE;
    if (m_socket < 0 || ::bind(m_socket, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::pipe2(m_wake, O_CLOEXEC) != 0) {
        if (m_socket >= 0)
            ::close(m_socket);
        throw EPlenwick(QStringLiteral("Netzwerkänderungen können nicht beobachtet werden"));
    }
    m_thread.Start("NetworkWatch", [this] { Run(); });
}

TNetworkWatch::~TNetworkWatch()
{
    const char stop = 0;
    (void)!::write(m_wake[1], &stop, 1);
    m_thread.Join();
    ::close(m_socket);
    ::close(m_wake[0]);
    ::close(m_wake[1]);
}

void TNetworkWatch::Run()
{
    std::optional<QDeadlineTimer> quietUntil;
    for (;;) {
        pollfd p[2] = {{m_socket, POLLIN, 0}, {m_wake[0], POLLIN, 0}};
        const int timeout = quietUntil ? static_cast<int>(quietUntil->remainingTime()) : -1;
        const int r = ::poll(p, 2, timeout);
        if (r < 0 && errno != EINTR)
            return;
        if (p[1].revents != 0)
            return;
        if ((p[0].revents & POLLIN) != 0 && CameUp())
            quietUntil.emplace(m_debounceMs);
        if (quietUntil && quietUntil->hasExpired()) {
            quietUntil.reset();
            m_cameUp();
        }
    }
}

bool TNetworkWatch::CameUp()
{
    bool up = false;
    alignas(nlmsghdr) char buffer[8192];
    for (;;) {
        const ssize_t n = ::recv(m_socket, buffer, sizeof buffer, 0);
        if (n <= 0)
            // A full socket buffer drops messages (ENOBUFS): something changed.
            return up || (n < 0 && errno == ENOBUFS);
        int left = static_cast<int>(n);
        for (auto* message = reinterpret_cast<nlmsghdr*>(buffer); NLMSG_OK(message, left);
             message = NLMSG_NEXT(message, left)) {
            if (message->nlmsg_type == RTM_NEWADDR) {
                const auto* info = static_cast<const ifaddrmsg*>(NLMSG_DATA(message));
                up = up || info->ifa_scope != RT_SCOPE_HOST;
            } else if (message->nlmsg_type == RTM_NEWROUTE) {
                const auto* info = static_cast<const rtmsg*>(NLMSG_DATA(message));
                up = up || (info->rtm_dst_len == 0 && info->rtm_table == RT_TABLE_MAIN);
            }
        }
    }
}
