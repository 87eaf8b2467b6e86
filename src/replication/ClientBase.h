// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <atomic>
#include <memory>

#include <QString>

#include "replication/Protocol.h"

/// What a client thread does after its login; the values are the stored numbers.
enum class TConnectKind : quint8 {
    Update = 1,
    InstallOnly = 2,
    Terminate = 3,
    Deinstall = 4,
    PhoneHome = 5,
    SetServer = 6,
    ProviderDownload = 7,
};

/// Where a conversation connects and what it runs there. Made by the
/// starter, owned by the conversation it is handed to.
struct TConnectInfo {
    QString host;
    qint32 port = 0;
    TConnectKind kind = TConnectKind::Update;
};

/// The client side of one conversation: the connection, the line exchange
/// with its time-outs, the user's answers and the client's protocol entries.
/// The base of the client thread; the command sequences of the connect kinds
/// use it, and a provider download runs one on the installing thread.
class TClientBase
{
public:
    explicit TClientBase(std::unique_ptr<TConnectInfo> info);
    virtual ~TClientBase();

    /// Opens the connection to the info's host and port and takes TLS up; a
    /// master server must present the key pinned for it. Raises on failure
    /// (EMasterKeyRefused for another key).
    void Connect();
    /// The conversation is one with this computer's master server.
    bool TalksToMasterServer() const;
    /// Sends a line; a failure is logged and raised again.
    void Send(const QString& line);
    /// Reads one reply line within MiscSocketTimeout x 2; the time-out stays
    /// set for raw reads that follow. An empty line means no reply.
    QString ReceiveReply();
    /// A protocol entry with category "Client", image 50.
    void Log(const QString& text) const;

    /// Unless a terminate request came: asks the orderly shutdown whether the
    /// application may end, and ends it if so.
    void RequestApplicationEnd();

    /// Set by TerminateAllClientThreads; running commands are not broken off.
    bool TerminateRequested() const { return m_terminate; }
    void RequestTerminate() { m_terminate = true; }

    const TConnectInfo& ConnectInfo() const { return *m_info; }
    /// The open connection, for raw reads and for closing.
    TLineConnection& Connection() { return *m_connection; }
    /// Closes the connection for good (a no-op without one).
    void DropConnection() { m_connection.reset(); }

    /// Update: the user confirmed the list of new objects.
    bool InstallConfirmed() const { return m_installConfirmed; }
    void SetInstallConfirmed(bool confirmed) { m_installConfirmed = confirmed; }
    /// The program may restart itself after replacing its own file.
    bool RestartConfirmed() const { return m_restartConfirmed; }
    void SetRestartConfirmed(bool confirmed) { m_restartConfirmed = confirmed; }
    /// Asks the user on the main thread whether the program may restart
    /// after its own update; the answer becomes RestartConfirmed.
    void AskRestart();

private:
    std::unique_ptr<TConnectInfo> m_info;
    std::unique_ptr<TLineConnection> m_connection;
    std::atomic<bool> m_terminate{false};
    bool m_installConfirmed = false;
    bool m_restartConfirmed = false;
};

/// The running client threads: a thread is listed from its start until its
/// conversation has ended.
void ListClientThread(TClientBase* thread);
/// Takes a thread off the list; true when the list is now empty.
bool RemoveClientThread(TClientBase* thread);
/// Whether any client thread is listed.
bool AnyClientThreadRunning();
/// True when no client thread is listed; otherwise asks every listed thread to
/// end and gives false (the orderly shutdown asks again).
bool TerminateAllClientThreads();
