// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <atomic>
#include <memory>
#include <mutex>
#include <optional>
#include <shared_mutex>
#include <vector>

#include <QDeadlineTimer>
#include <QString>
#include <QStringList>

#include "replication/ServerThread.h"

class TBroadcastListener;
class TLineConnection;

/// The server side of the program: the TCP listener with its sessions and the
/// UDP port of the same number. The program uses one instance (Instance());
/// tests may make their own, each on its own port.
class TServerBase final : public TSessionHost
{
public:
    TServerBase();
    /// Stops the listeners and waits, running the main event loop, until every
    /// session thread has ended.
    ~TServerBase();
    TServerBase(const TServerBase&) = delete;
    TServerBase& operator=(const TServerBase&) = delete;

    /// The process-wide server; lives until the process ends.
    static TServerBase& Instance();

    /// Binds NetServerPort on all local addresses (TCP, then UDP with
    /// broadcast reception); a failure of either is logged and the other still
    /// starts. Port 0 takes a free port for both (tests).
    void StartListeners();
    /// Closes both listeners and breaks the connections of running sessions.
    void StopListeners();
    /// The TCP port bound, 0 when the TCP listener is not active.
    int Port() const { return m_port; }
    /// The UDP port bound, 0 when the UDP listener is not active.
    int UdpPort() const;

    /// True when no session is active; otherwise from now on every new
    /// connection is refused, and the answer is false.
    bool MayQuit();
    /// The orderly shutdown: MayQuit, and once the grace has run out the
    /// connections of the sessions still running are broken, so that no peer
    /// keeps the program alive by talking.
    bool EndSessions(const QDeadlineTimer& grace);
    /// An active session's peer name equals name, ignoring case. Never waits
    /// for a running request.
    bool IsClientConnected(const QString& name) const;
    int ActiveSessionCount() const { return m_activeCount; }
    /// Size of the session table (slots are reused).
    qsizetype SlotCount() const;

    /// The session events, on the connection's own thread. OnConnect is false
    /// when the connection was refused and no session exists for it.
    bool OnConnect(TServerThread& session) override;
    bool HasSession(const TServerThread& session) const override;
    void OnExecute(TServerThread& session) override;
    void OnDisconnect(TServerThread& session) override;

    /// Held in writer mode while a request is served, so one request runs at a
    /// time across all connections; also by the connect and disconnect events.
    std::shared_mutex& SessionLock() override { return m_sessionLock; }

private:
    class TListenerThread;
    struct TSlot {
        const TLineConnection* connection = nullptr;
        TServerThread* session = nullptr;
        bool active = false;
    };

    bool StartTcp(int port);
    bool StartUdp(int port);
    TServerThread* FindSession(const TServerThread& session) const;
    void Accepted(int socket);
    /// Why a new connection from the address must be refused: the sessions
    /// overall or from that address are at their bound.
    std::optional<QString> Refusal(const QString& address) const;
    /// Joins and frees the sessions whose thread has ended.
    void ReapSessions();
    bool AllSessionsFinished() const;
    /// Breaks the connection of every active session, naming each in the log when logged.
    void BreakActiveSessions(bool logged);

    std::shared_mutex m_sessionLock;
    // Guards the slots alone, never across a request, so IsClientConnected
    // does not wait for a transfer.
    mutable std::mutex m_tableLock;
    std::vector<TSlot> m_slots;
    std::atomic<int> m_activeCount{0};
    std::atomic<bool> m_refusing{false};
    // Every session started and not yet joined; guarded by m_threadsLock.
    mutable std::mutex m_threadsLock;
    std::vector<std::unique_ptr<TServerThread>> m_sessionThreads;

    std::unique_ptr<TListenerThread> m_listener;
    int m_udpSocket = -1;
    std::unique_ptr<TBroadcastListener> m_broadcast;
    int m_port = 0;
};
