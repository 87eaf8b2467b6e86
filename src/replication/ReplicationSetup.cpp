// SPDX-License-Identifier: GPL-3.0-or-later
#include "replication/ReplicationSetup.h"

#include <mutex>
#include <optional>

#include <QDeadlineTimer>

#include "catalogue/SyncObject.h"
#include "foundation/ListenerControl.h"
#include "foundation/PoolInterlocked.h"
#include "foundation/Quit.h"
#include "foundation/Startup.h"
#include "foundation/UiAdapter.h"
#include "replication/ClientThread.h"
#include "replication/HostKey.h"
#include "replication/ServerBase.h"
#include "replication/TransferCache.h"

namespace {

// Running sessions get a grace period to finish; then their connections are
// broken, so that a chatty peer cannot hold the shutdown.
class TServerThreadsParticipant : public TShutdownParticipant
{
public:
    bool IsRunning() override { return !TServerBase::Instance().MayQuit(); }
    void RequestStop() override
    {
        constexpr int kGraceMs = 10000;
        if (!m_grace) {
            m_grace.emplace(kGraceMs);
            TUiAdapter::ShowShutdownNote(QStringLiteral("Verbindungen werden getrennt..."));
        }
        TServerBase::Instance().EndSessions(*m_grace);
    }

private:
    std::optional<QDeadlineTimer> m_grace;
};

class TClientThreadsParticipant : public TShutdownParticipant
{
public:
    bool IsRunning() override { return AnyClientThreadRunning(); }
    void RequestStop() override { TerminateAllClientThreads(); }
};

// Made at the first start, so that it can be noted before any client asks.
void AnnounceOwnKey()
{
    try {
        Log(QStringLiteral("ServerBase"),
            QStringLiteral("Fingerabdruck des Schlüssels dieses Computers: %1").arg(OwnIdentity()->Fingerprint()), 45);
    } catch (const EHostKeyError& error) {
        Log(QStringLiteral("ServerBase"), error.Message(), 45);
    }
}

// Ends with the server sessions it prepares transfers for.
// The cache worker lives as long as the listeners it serves: it reads the
// options, so it may not start before they are registered.
class TReplicationListeners : public TListenerControl
{
public:
    void StartListeners() override
    {
        AnnounceOwnKey();
        TServerBase::Instance().StartListeners();
        StartTransferCacheWorker();
    }
    void StopListeners() override
    {
        StopTransferCacheWorker();
        TServerBase::Instance().StopListeners();
    }
};

class TTransferCacheParticipant : public TShutdownParticipant
{
public:
    // An idle worker ends with the listeners; only a preparation in progress holds the shutdown.
    bool IsRunning() override { return TransferCacheWorkerBusy(); }
    void RequestStop() override { StopTransferCacheWorker(); }
};

// One update at a time: a second one beside it would merge the same list
// twice and write the same staging files.
struct TUpdateQueue {
    std::mutex lock;
    bool running = false;
    bool again = false;
    QString host;
    int port = 0;
};

TUpdateQueue& Queue()
{
    static TUpdateQueue queue;
    return queue;
}

void StartQueuedUpdate(const QString& host, int port);

void UpdateEnded()
{
    TUpdateQueue& queue = Queue();
    QString host;
    int port = 0;
    {
        std::lock_guard guard(queue.lock);
        queue.running = queue.again;
        if (!queue.again)
            return;
        queue.again = false;
        host = queue.host;
        port = queue.port;
    }
    StartQueuedUpdate(host, port);
}

void StartQueuedUpdate(const QString& host, int port)
{
    auto info = std::make_unique<TConnectInfo>();
    info->host = host;
    info->port = port;
    info->kind = TConnectKind::Update;
    StartClientThread(std::move(info), SequenceOf(TConnectKind::Update), &UpdateEnded);
}

} // namespace

void RequestUpdate(const QString& host, int port)
{
    TUpdateQueue& queue = Queue();
    {
        std::lock_guard guard(queue.lock);
        if (queue.running) {
            queue.again = true;
            queue.host = host;
            queue.port = port;
            Log(QStringLiteral("Main"), QStringLiteral("Eine Synchronisation läuft bereits, eine weitere folgt ihr"),
                50);
            return;
        }
        queue.running = true;
    }
    StartQueuedUpdate(host, port);
}

void InstallReplication()
{
    static TServerThreadsParticipant servers;
    static TClientThreadsParticipant clients;
    static TTransferCacheParticipant cache;
    static TReplicationListeners listeners;
    SetListenerControl(&listeners);
    RegisterShutdownParticipant(TShutdownStep::ServerThreads, &servers);
    RegisterShutdownParticipant(TShutdownStep::ServerThreads, &cache);
    RegisterShutdownParticipant(TShutdownStep::ClientThreads, &clients);
    // The cache follows the object list: new forms ahead, entries of withdrawn objects gone.
    static const bool cacheFollowsList = [] {
        AddObjectListListener(&WakeTransferCache);
        return true;
    }();
    (void)cacheFollowsList;
    SetUpdateSessionStarter(&RequestUpdate);
}
