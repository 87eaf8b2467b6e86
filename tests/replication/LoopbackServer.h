// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <memory>

#include "foundation/MainConfig.h"
#include "replication/ClientThread.h"
#include "replication/ServerBase.h"

/// A real server on a free loopback port (its Port() is 0 when it could not
/// listen). Both sides give a silent peer up after the short time-out, so
/// that tests of broken conversations stay fast.
inline std::unique_ptr<TServerBase> StartLoopbackServer(int socketTimeoutMs)
{
    MainConfig().Set(QStringLiteral("NetServerPort"), 0);
    MainConfig().Set(QStringLiteral("MiscSocketTimeout"), socketTimeoutMs);
    MainConfig().Set(QStringLiteral("ClientInputWaitTimeInSecs"), 0);
    auto server = std::make_unique<TServerBase>();
    server->StartListeners();
    return server;
}

/// Starts a client thread of the kind against a loopback port; it runs the
/// sequence given instead of the kind's own.
inline void StartLoopbackClient(int port, TConnectKind kind, TConversationSequence sequence)
{
    auto info = std::make_unique<TConnectInfo>();
    info->host = QStringLiteral("127.0.0.1");
    info->port = port;
    info->kind = kind;
    StartClientThread(std::move(info), std::move(sequence));
}

/// The same with the kind's own sequence.
inline void StartLoopbackClient(int port, TConnectKind kind)
{
    StartLoopbackClient(port, kind, SequenceOf(kind));
}
