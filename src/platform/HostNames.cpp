// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/HostNames.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>

std::optional<QString> ResolveAddress(const QString& address)
{
    sockaddr_in peer{};
    peer.sin_family = AF_INET;
    if (::inet_pton(AF_INET, address.toLatin1().constData(), &peer.sin_addr) != 1)
        return std::nullopt;
    char host[NI_MAXHOST] = {};
    if (::getnameinfo(reinterpret_cast<sockaddr*>(&peer), sizeof peer, host, sizeof host, nullptr, 0, NI_NAMEREQD) != 0)
        return std::nullopt;
    return QString::fromUtf8(host);
}
