// SPDX-License-Identifier: GPL-3.0-or-later
#include "replication/ClientBase.h"

#include <algorithm>
#include <mutex>
#include <vector>

#include "catalogue/ClientKeys.h"
#include "catalogue/SyncClient.h"
#include "foundation/MainConfig.h"
#include "foundation/PoolInterlocked.h"
#include "foundation/Quit.h"
#include "foundation/UiAdapter.h"
#include "replication/MasterKey.h"
#include "replication/TlsChannel.h"

namespace {

struct TClientThreadList {
    std::mutex lock;
    std::vector<TClientBase*> threads;
};

TClientThreadList& List()
{
    // Never destroyed: "Sofort beenden" ends the process while a thread may
    // still wait on its connection.
    static auto* const list = new TClientThreadList;
    return *list;
}

} // namespace

TClientBase::TClientBase(std::unique_ptr<TConnectInfo> info) : m_info(std::move(info)) {}

TClientBase::~TClientBase() = default;

namespace {

// The conversations with this computer's master server, whose key is pinned.
bool TalksToMaster(TConnectKind kind)
{
    return kind == TConnectKind::Update || kind == TConnectKind::InstallOnly;
}

// While a fleet moves to TLS, the master still sends its commands in clear
// text to a computer that has never presented a key.
bool MayCommandInPlainText(const TConnectInfo& info)
{
    if (!IsMasterServer() || !MainConfig().GetBoolean(QStringLiteral("NetAllowPlainClients")))
        return false;
    if (info.kind != TConnectKind::Terminate && info.kind != TConnectKind::Deinstall &&
        info.kind != TConnectKind::PhoneHome && info.kind != TConnectKind::SetServer)
        return false;
    QString computer;
    {
        TReadGuard guard(ClientListLock());
        if (const TSyncClient* client = FindClientByName(info.host))
            computer = client->LocalComputerName();
    }
    return computer.isEmpty() || !RecordedClientKey(computer);
}

} // namespace

void TClientBase::Connect()
{
    const int timeout = MainConfig().GetInteger(QStringLiteral("MiscSocketTimeout")) * 2;
    m_connection = TLineConnection::Connect(m_info->host, m_info->port);
    try {
        m_connection->StartTls(TTlsRole::Client, timeout);
    } catch (const ETlsError& error) {
        if (!MayCommandInPlainText(*m_info))
            throw;
        Log(QStringLiteral("\"%1\" spricht kein TLS (%2), das Kommando wird unverschlüsselt gesendet")
                .arg(m_info->host, error.Message()));
        m_connection = TLineConnection::Connect(m_info->host, m_info->port);
        return;
    }
    if (TalksToMaster(m_info->kind))
        CheckMasterKey(m_info->host, m_connection->PeerKey());
}

bool TClientBase::TalksToMasterServer() const
{
    return TalksToMaster(m_info->kind);
}

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
    Log(QStringLiteral("Anfrage \"%1\" gesendet").arg(LoggedLine(line)));
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
        Log(QStringLiteral("Antwort \"%1\" empfangen").arg(LoggedLine(line)));
    return line;
}

void TClientBase::Log(const QString& text) const
{
    ::Log(QStringLiteral("Client"), text, 50);
}

void TClientBase::AskRestart()
{
    m_restartConfirmed = TUiAdapter::AskRestart();
}

void TClientBase::RequestApplicationEnd()
{
    if (!m_terminate)
        AskApplicationEnd();
}

void ListClientThread(TClientBase* thread)
{
    TClientThreadList& list = List();
    std::lock_guard guard(list.lock);
    list.threads.push_back(thread);
}

bool RemoveClientThread(TClientBase* thread)
{
    TClientThreadList& list = List();
    std::lock_guard guard(list.lock);
    std::erase(list.threads, thread);
    return list.threads.empty();
}

bool AnyClientThreadRunning()
{
    TClientThreadList& list = List();
    std::lock_guard guard(list.lock);
    return !list.threads.empty();
}

bool TerminateAllClientThreads()
{
    TClientThreadList& list = List();
    std::lock_guard guard(list.lock);
    for (TClientBase* thread : list.threads)
        thread->RequestTerminate();
    return list.threads.empty();
}
