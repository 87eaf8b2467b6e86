// SPDX-License-Identifier: GPL-3.0-or-later
#include "replication/ClientThread.h"

#include <mutex>
#include <system_error>
#include <vector>

#include <QCoreApplication>
#include <QDeadlineTimer>

#include "foundation/MainConfig.h"
#include "foundation/PoolInterlocked.h"
#include "foundation/ThreadWait.h"
#include "foundation/UiAdapter.h"
#include "replication/Installation.h"
#include "replication/RemoteCommands.h"
#include "replication/UpdateSession.h"

namespace {

// The threads started and not yet joined.
struct TOwnedThreads {
    std::mutex lock;
    std::vector<std::unique_ptr<TClientThread>> threads;
};

TOwnedThreads& Owned()
{
    // Never destroyed: "Sofort beenden" ends the process while a thread may
    // still wait on its connection, and joining it then would hold the end.
    static auto* const owned = new TOwnedThreads;
    return *owned;
}

// Joins and frees the threads that have ended; the caller holds the lock.
void ReapEnded(TOwnedThreads& owned)
{
    std::vector<std::unique_ptr<TClientThread>> ended;
    for (auto& thread : owned.threads)
        if (thread->Finished())
            ended.push_back(std::move(thread));
    std::erase(owned.threads, nullptr);
}

} // namespace

TClientThread::TClientThread(std::unique_ptr<TConnectInfo> info, TConversationSequence sequence,
                             std::function<void()> ended)
    : TClientBase(std::move(info)), m_sequence(std::move(sequence)), m_ended(std::move(ended))
{
}

TClientThread::~TClientThread() = default;

void TClientThread::Start()
{
    m_thread.Start("ClientThread", [this] { Execute(); });
}

void TClientThread::Execute()
{
    try {
        RunConversation(*this, m_sequence);
        DropConnection();
        // The refresh reads the list itself: only after its lock is released.
        if (RemoveClientThread(this) && !TerminateRequested())
            TUiAdapter::UpdateActionStates();
    } catch (const std::exception& error) {
        Log(QStringLiteral("Im Thread ") + ExceptionSuffix(error));
    }
    Log(QStringLiteral("Beende Thread"));
    if (m_ended)
        m_ended();
}

TConversationSequence SequenceOf(TConnectKind kind)
{
    switch (kind) {
    case TConnectKind::Update:
        return &RunUpdate;
    case TConnectKind::InstallOnly:
        return &RunInstallation;
    case TConnectKind::Terminate:
    case TConnectKind::Deinstall:
    case TConnectKind::PhoneHome:
        return [kind](TClientBase& client) { SendCommand(client, kind); };
    case TConnectKind::SetServer:
        return &SendServerName;
    case TConnectKind::ProviderDownload:
        break;
    }
    return {};
}

void StartClientThread(std::unique_ptr<TConnectInfo> info)
{
    const TConnectKind kind = info->kind;
    StartClientThread(std::move(info), SequenceOf(kind));
}

void StartClientThread(std::unique_ptr<TConnectInfo> info, TConversationSequence sequence, std::function<void()> ended)
{
    TOwnedThreads& owned = Owned();
    std::unique_lock guard(owned.lock);
    ReapEnded(owned);
    auto thread = std::make_unique<TClientThread>(std::move(info), std::move(sequence), ended);
    ListClientThread(thread.get());
    try {
        thread->Start();
    } catch (const std::system_error& error) {
        // No thread to be had: this conversation does not happen, the program goes on.
        RemoveClientThread(thread.get());
        Log(QStringLiteral("Client"),
            QStringLiteral("Der Client-Thread konnte nicht gestartet werden (%1)")
                .arg(QString::fromLocal8Bit(error.what())),
            50);
        guard.unlock();
        if (ended)
            ended();
        return;
    }
    owned.threads.push_back(std::move(thread));
}

void RunSendingInstance(TConnectKind kind, const QString& host)
{
    auto info = std::make_unique<TConnectInfo>();
    info->host = host;
    info->port = MainConfig().GetInteger(QStringLiteral("NetServerPort"));
    info->kind = kind;
    StartClientThread(std::move(info));
    // The thread logs through this thread: keep the events turning until it has gone.
    WaitTurningEvents([] { return !AnyClientThreadRunning(); });
    // The thread's last entries follow its leaving the list.
    QDeadlineTimer rest(200);
    while (!rest.hasExpired())
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
}
