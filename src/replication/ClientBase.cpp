// SPDX-License-Identifier: GPL-3.0-or-later
#include "replication/ClientBase.h"

#include <algorithm>
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
    std::vector<TClientThread*> threads;
};

TClientThreadList& List()
{
    static TClientThreadList list;
    return list;
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
    auto* thread = new TClientThread(std::move(info));
    list.threads.push_back(thread);
    thread->Start();
    return thread;
}

bool AnyClientThreadRunning()
{
    TClientThreadList& list = List();
    std::shared_lock lock(list.lock);
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
