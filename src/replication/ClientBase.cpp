// SPDX-License-Identifier: GPL-3.0-or-later
#include "replication/ClientBase.h"

#include <algorithm>
#include <memory>
#include <mutex>
#include <shared_mutex>
#include <vector>

#include "foundation/MainConfig.h"
#include "foundation/PoolInterlocked.h"
#include "replication/ClientThread.h"
#include "replication/ReplicationSetup.h"

namespace {

struct TClientThreadList {
    std::shared_mutex lock;
    /// Running conversations.
    std::vector<TClientThread*> threads;
    /// The threads the list owns, running or ended and not yet joined.
    std::vector<std::unique_ptr<TClientThread>> owned;
};

TClientThreadList& List()
{
    // Never destroyed: "Sofort beenden" ends the process while a thread may
    // still wait on its connection, and joining it then would hold the end.
    static auto* const list = new TClientThreadList;
    return *list;
}

// Joins and frees the owned threads that have ended; the caller holds the lock.
void ReapEnded(TClientThreadList& list)
{
    std::vector<std::unique_ptr<TClientThread>> ended;
    for (auto& thread : list.owned)
        if (thread->Finished())
            ended.push_back(std::move(thread));
    std::erase(list.owned, nullptr);
}

} // namespace

TClientBase::TClientBase(std::unique_ptr<TConnectInfo> info) : m_info(std::move(info)) {}

TClientBase::~TClientBase() = default;

void TClientBase::Send(const QString& line)
{
    try {
        if (!m_connection)
            throw ESocketError(QStringLiteral("Die Verbindung ist geschlossen"));
        m_connection->WriteLine(line);
    } catch (const std::exception& error) {
        Log(QStringLiteral("Beim Senden ") + ExceptionSuffix(error));
        throw;
    }
    Log(QStringLiteral("Anfrage \"%1\" gesendet").arg(line));
}

QString TClientBase::ReceiveReply()
{
    const int timeout = MainConfig().GetInteger(QStringLiteral("MiscSocketTimeout")) * 2;
    Log(QStringLiteral("Erwarte Antwort (Timeout ist %1 Sekunden)").arg(static_cast<unsigned>(timeout) / 1000));
    QString line;
    try {
        if (!m_connection)
            throw ESocketError(QStringLiteral("Die Verbindung ist geschlossen"));
        m_connection->SetReadTimeout(timeout);
        line = m_connection->ReadLine();
    } catch (const std::exception& error) {
        Log(QStringLiteral("Beim Empfang ") + ExceptionSuffix(error));
        throw;
    }
    if (line.isEmpty())
        Log(QStringLiteral("Keine Antwort empfangen"));
    else
        Log(QStringLiteral("Antwort \"%1\" empfangen").arg(line));
    return line;
}

void TClientBase::Log(const QString& text) const
{
    ::Log(QStringLiteral("Client"), text, 50);
}

void TClientBase::RequestApplicationEnd()
{
    if (!m_terminate)
        AskApplicationEnd();
}

TClientThread* StartClientThread(std::unique_ptr<TConnectInfo> info)
{
    TClientThreadList& list = List();
    std::unique_lock lock(list.lock);
    ReapEnded(list);
    const bool owned = info->kind != TConnectKind::ProviderDownload;
    auto thread = std::make_unique<TClientThread>(std::move(info));
    TClientThread* started = thread.get();
    list.threads.push_back(started);
    if (owned)
        list.owned.push_back(std::move(thread));
    else
        thread.release(); // the starter's
    started->Start();
    return started;
}

bool AnyClientThreadRunning()
{
    TClientThreadList& list = List();
    std::unique_lock lock(list.lock);
    ReapEnded(list);
    return !list.threads.empty();
}

bool TerminateAllClientThreads()
{
    TClientThreadList& list = List();
    std::shared_lock lock(list.lock);
    for (TClientThread* thread : list.threads)
        thread->RequestTerminate();
    return list.threads.empty();
}

bool RemoveClientThread(TClientThread* thread)
{
    TClientThreadList& list = List();
    std::unique_lock lock(list.lock);
    std::erase(list.threads, thread);
    return list.threads.empty();
}
