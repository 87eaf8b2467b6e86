// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <atomic>
#include <functional>

#include <QByteArray>
#include <QString>

#include "base/WorkerThread.h"
#include "replication/Protocol.h"

class TSyncObject;

/// Whether the named peer holds a session with this computer's server
/// (ignoring case); such a peer gets no provider answer.
using TConnectedCheck = std::function<bool(const QString& name)>;

/// Sends one datagram to the address at NetServerPort, an empty address
/// meaning the broadcast to 255.255.255.255; the program's sender raises on
/// failure. Tests plug in a sender to loopback.
using TDatagramSender = std::function<void(const QByteArray& datagram, const QString& address)>;
/// An empty sender restores the program's own.
void SetDatagramSender(TDatagramSender sender);

/// Logs "Sende Broadcast" and sends the text as one datagram; a failure is
/// logged, never raised.
void SendBroadcast(const QString& text);

/// Asks the network for the master server. A quiet query shows no success box.
void QueryServer(bool quiet);
/// Asks the peers whether one holds this object with its current id, and
/// takes their answers as providers from now on.
void QueryDownload(const TSyncObject& object);
/// Provider answers are ignored from now on (a provider download starts).
void StopProviderCollection();
/// The same after the peers have had time to answer the last question:
/// called on the thread that is about to fetch, never on the main thread.
void EndProviderCollection();
/// Answers since the last QueryDownload from computers that hold the object
/// but are sending it to another right now.
int BusyProviderAnswers();
/// Whether SETDOWNLOAD answers are taken.
bool CollectingProviders();
/// Whether a QUERYSERVER awaits its first answer.
bool ServerQueryPending();

/// Handles one received datagram; one at a time across all threads. Never
/// raises: a datagram that is no text or lacks a word it needs is logged and
/// dropped. isConnected tells whether a peer holds a session with this
/// computer's server.
void OnDatagram(const QByteArray& data, const QString& senderAddress, const TConnectedCheck& isConnected);

/// Forgets every sender of the filter table (tests: each starts afresh).
void ClearBroadcastFilter();
/// Senders the filter holds now (at most 4 096).
qsizetype BroadcastFilterSize();

/// The reader of the UDP socket: a thread of its own that hands every datagram
/// to OnDatagram. Does not own the socket.
class TBroadcastListener
{
public:
    TBroadcastListener(TConnectedCheck isConnected, int socket);
    /// Stops the thread; on the main thread it keeps the event loop turning
    /// meanwhile, because a datagram being handled may wait for a log entry.
    ~TBroadcastListener();
    TBroadcastListener(const TBroadcastListener&) = delete;
    TBroadcastListener& operator=(const TBroadcastListener&) = delete;

private:
    void Run();

    TConnectedCheck m_isConnected;
    int m_socket;
    TSocketWaiter m_waiter;
    TWorkerThread m_thread;
};
