// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <atomic>
#include <memory>

#include <QString>

#include "replication/Protocol.h"

class TSyncObject;
class TClientThread;

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

/// Where a client thread connects and what it runs there. Made by the
/// starter, owned by the thread it is handed to.
struct TConnectInfo {
    QString host;
    qint32 port = 0;
    TConnectKind kind = TConnectKind::Update;
    /// ProviderDownload only: the object to fetch; not owned.
    TSyncObject* object = nullptr;
    /// ProviderDownload only: the file the received bytes are written to.
    QString destination;
};

/// The client side of one conversation: the connection, the line exchange
/// with its time-outs and the client's protocol entries. The base of the
/// client thread; the command sequences of the connect kinds use it.
class TClientBase
{
public:
    explicit TClientBase(std::unique_ptr<TConnectInfo> info);
    virtual ~TClientBase();

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

protected:
    std::unique_ptr<TConnectInfo> m_info;
    std::unique_ptr<TLineConnection> m_connection;

private:
    std::atomic<bool> m_terminate{false};
};

/// Creates and starts a client thread for info and lists it. The list owns
/// the thread and joins it once it has ended, except a ProviderDownload
/// thread: its starter owns it, calls WaitFor() and deletes it. The result
/// may only be used for that kind: any other thread may be gone by the time
/// the call returns.
TClientThread* StartClientThread(std::unique_ptr<TConnectInfo> info);
/// Whether any client thread is listed.
bool AnyClientThreadRunning();
/// True when no client thread is listed; otherwise asks every listed thread to
/// end and gives false (the orderly shutdown asks again).
bool TerminateAllClientThreads();

/// Takes a thread off the list; true when the list is now empty.
bool RemoveClientThread(TClientThread* thread);
