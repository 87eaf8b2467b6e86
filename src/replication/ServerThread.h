// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <shared_mutex>

#include <QString>
#include <QStringList>

#include "base/WorkerThread.h"
#include "replication/Protocol.h"
#include "replication/Session.h"

class TServerThread;

/// A command handler: runs under the session lock (all but DOWNLOAD, which
/// changes no list and may take as long as its reader) with the request's words
/// (word 0 is the command). Exceptions it lets through end the request with
/// "Beende Thread" and close the connection.
using TCommandHandler = std::function<void(TSession& session, const QStringList& words)>;

/// Plugs a handler into the command table (the initial table in
/// ServerThread.cpp holds the handlers of the program; tests may replace one).
/// The three "_OK" words never get a handler: a server treats them as unknown.
void SetCommandHandler(TCommandIndex index, TCommandHandler handler);
TCommandHandler CommandHandler(TCommandIndex index);

/// What a session needs of the server that owns it: the session events, run
/// on the session's own thread, and the lock that lets one request run at a
/// time across all connections.
class TSessionHost
{
public:
    /// False when the connection was refused and no session exists for it.
    virtual bool OnConnect(TServerThread& session) = 0;
    /// Whether the session holds a slot (after a failed connect event).
    virtual bool HasSession(const TServerThread& session) const = 0;
    virtual void OnExecute(TServerThread& session) = 0;
    virtual void OnDisconnect(TServerThread& session) = 0;
    virtual std::shared_mutex& SessionLock() = 0;

protected:
    ~TSessionHost() = default;
};

/// The five lines of the page a web browser gets.
QStringList StatusPage();

/// One server session: the thread of one accepted connection. Its body runs
/// the connect, execute and disconnect events of the server and serves one
/// request per execute. The server owns it and joins its thread.
class TServerThread : public TSession
{
public:
    TServerThread(std::unique_ptr<TLineConnection> connection, TSessionHost& server);
    TServerThread(const TServerThread&) = delete;
    TServerThread& operator=(const TServerThread&) = delete;

    /// Starts the thread, named "ServerSession".
    void Start();
    /// The body has returned; destroying the session does not wait.
    bool Finished() const { return m_thread.Finished(); }

    void Log(const QString& text) const override;
    void Reply(const QString& line) override;
    /// Reads one request line within the server's read time-out; an empty
    /// line means nothing came in time.
    QString ReadRequest();
    void RequestApplicationEnd() override;
    /// Reads one request and serves it (the execute event's work).
    void ServeOneRequest();

    void CloseConnection() override;
    /// Ends the session's connection from another thread (listener stop).
    void BreakConnection();
    bool Terminated() const { return m_terminated; }
    void Terminate() { m_terminated = true; }

    TLineConnection& Connection() override { return *m_connection; }
    const TLineConnection* ConnectionKey() const { return m_connection.get(); }
    /// The address the connection came from, known before the session starts.
    const QString& AcceptedFrom() const { return m_acceptedFrom; }

    /// Peer fields; readable from any thread (IsClientConnected).
    QString PeerAddress() const override;
    QString PeerName() const override;
    void SetPeer(const QString& address, const QString& name);
    void SetPeerName(const QString& name);
    /// Set once the TLS handshake has been made, before the first request.
    QString PeerKey() const override { return m_peerKey; }

    /// The LOGIN fields; used by the handlers, under the session lock.
    QString LocalComputerName() const override { return m_localComputerName; }
    void SetLocalComputerName(const QString& name) override { m_localComputerName = name; }
    QString UserName() const override { return m_userName; }
    void SetUserName(const QString& name) override { m_userName = name; }
    QString Password() const override { return m_password; }
    void SetPassword(const QString& password) override { m_password = password; }
    bool ElevationOffTold() const override { return m_elevationOffTold; }
    void SetElevationOffTold() override { m_elevationOffTold = true; }

private:
    void Run();
    /// Takes TLS up when the peer opens with a handshake; a failed one is
    /// logged and closes the connection.
    void Secure();
    /// A command in clear text is served only while the master lets clients
    /// without TLS in; false when it closed the connection.
    bool PlainCommandAllowed(const QString& line);
    /// Reads past an HTTP request's header lines, up to the empty line.
    void DropHttpHeaders();
    /// The page's lines, after a status line and headers for an HTTP request.
    void SendStatusPage(bool http);

    std::unique_ptr<TLineConnection> m_connection;
    const QString m_acceptedFrom;
    TSessionHost& m_server;
    std::atomic<bool> m_terminated{false};
    mutable std::mutex m_peerLock;
    QString m_peerAddress;
    QString m_peerName;
    QString m_peerKey;
    QString m_localComputerName;
    QString m_userName;
    QString m_password;
    bool m_elevationOffTold = false;
    // Last: joined before the fields its body uses go.
    TWorkerThread m_thread;
};
