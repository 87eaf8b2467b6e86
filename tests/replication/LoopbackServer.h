// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <functional>
#include <future>
#include <memory>
#include <thread>

#include <QElapsedTimer>
#include <QStringList>

#include "foundation/MainConfig.h"
#include "replication/ClientThread.h"
#include "replication/HostKey.h"
#include "replication/Protocol.h"
#include "replication/ServerBase.h"
#include "replication/TlsChannel.h"
#include "support/TestHome.h"

/// A real server on a free loopback port (its Port() is 0 when it could not
/// listen). Both sides give a silent peer up after the short time-out, so
/// that tests of broken conversations stay fast.
inline std::unique_ptr<TServerBase> StartLoopbackServer(int socketTimeoutMs)
{
    MainConfig().Set(QStringLiteral("NetServerPort"), 0);
    MainConfig().Set(QStringLiteral("MiscSocketTimeout"), socketTimeoutMs);
    MainConfig().Set(QStringLiteral("ClientInputWaitTimeInSecs"), 0);
    // Made now, as the program makes it at start: a key written to disk by the
    // first client could outlast the short time-out the server waits for its greeting.
    OwnIdentity();
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

/// What a scripted peer got back.
struct TConversation {
    QStringList replies;
    bool closedByServer = false;
    qint64 firstReplyMs = -1;
};

/// How a scripted peer talks: inside TLS as every computer does, or in
/// clear text as a browser or a client of an older version.
enum class TPeerSpeaks {
    Tls,
    Plain
};

/// One scripted peer's conversation, on a thread of its own so that the main
/// thread keeps serving the sessions' log calls: sends the raw bytes, then
/// collects reply lines until the server closes, `replies` lines came, or
/// waitMs passed quietly.
inline std::future<TConversation> Converse(int port, const QByteArray& send, int replies = -1, int waitMs = 3000,
                                           TPeerSpeaks speaks = TPeerSpeaks::Tls)
{
    return std::async(std::launch::async, [=] {
        TConversation result;
        QElapsedTimer clock;
        clock.start();
        auto connection = TLineConnection::Connect(QStringLiteral("127.0.0.1"), port);
        connection->SetReadTimeout(waitMs);
        try {
            if (speaks == TPeerSpeaks::Tls)
                connection->StartTls(TTlsRole::Client, waitMs);
            connection->WriteBytes(send);
        } catch (const ESocketError&) {
            result.closedByServer = true;
            return result;
        }
        try {
            while (replies < 0 || result.replies.size() < replies) {
                const QString line = connection->ReadLine();
                if (line.isEmpty())
                    break;
                if (result.firstReplyMs < 0)
                    result.firstReplyMs = clock.elapsed();
                result.replies << line;
            }
        } catch (const ESocketError&) {
            result.closedByServer = true;
        }
        return result;
    });
}

/// Runs the main event loop until the conversation has ended.
inline TConversation Await(std::future<TConversation>& conversation)
{
    EXPECT_TRUE(RunEventsUntil(
        [&] { return conversation.wait_for(std::chrono::seconds(0)) == std::future_status::ready; }, 15000));
    return conversation.get();
}

/// A listening socket on a free loopback port, which port is set to.
inline int LoopbackListener(int& port, int backlog)
{
    const int listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address);
    ::listen(listener, backlog);
    socklen_t length = sizeof address;
    ::getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length);
    port = ntohs(address.sin_port);
    return listener;
}

/// A peer on a port of its own that accepts one connection and runs the
/// script on it, on the thread returned; port is set before it returns. It
/// answers TLS as a server does, unless it speaks plain text. The script's socket errors (the client
/// closed) end it quietly.
inline std::thread StartScriptedPeer(int& port, std::function<void(TLineConnection&)> script,
                                     TPeerSpeaks speaks = TPeerSpeaks::Tls)
{
    const int listener = LoopbackListener(port, 1);
    return std::thread([listener, speaks, script = std::move(script)] {
        const int socket = ::accept(listener, nullptr, nullptr);
        ::close(listener);
        if (socket < 0)
            return;
        TLineConnection connection(socket);
        connection.SetReadTimeout(5000);
        try {
            if (speaks == TPeerSpeaks::Tls && connection.OffersTls(5000))
                connection.StartTls(TTlsRole::Server, 5000);
            script(connection);
        } catch (const std::exception&) {
            // The client closed: the script is done.
        }
    });
}
