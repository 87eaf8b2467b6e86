// SPDX-License-Identifier: GPL-3.0-or-later
#include "replication/ServerThread.h"

#include <array>
#include <thread>

#include <QElapsedTimer>

#include "base/DateTime.h"
#include "base/TextFields.h"
#include "catalogue/SyncObject.h"
#include "foundation/MainConfig.h"
#include "foundation/PoolInterlocked.h"
#include "foundation/Quit.h"
#include "platform/VersionInfo.h"
#include "replication/Login.h"
#include "replication/ObjectList.h"
#include "replication/RemoteCommands.h"
#include "replication/ScriptusReports.h"
#include "replication/TlsChannel.h"
#include "replication/Transfer.h"

namespace {

// A browser's request line begins with the word GET; any other line, also one
// holding the letters inside a word (a computer named BUDGET-PC), is a command.
bool IsBrowserRequest(const QString& line)
{
    return SplitFields(line, QLatin1Char(' ')).value(0) == QLatin1String("GET");
}

bool IsHttpRequest(const QString& line)
{
    return line.endsWith(QLatin1String(" HTTP/1.0")) || line.endsWith(QLatin1String(" HTTP/1.1"));
}

struct THandlerTable {
    THandlerTable()
    {
        handlers[static_cast<int>(TCommandIndex::Login)] = &HandleLogin;
        handlers[static_cast<int>(TCommandIndex::ObjList)] = &HandleObjList;
        handlers[static_cast<int>(TCommandIndex::Download)] = &HandleDownload;
        handlers[static_cast<int>(TCommandIndex::DownloadOk)] = &HandleDownloadOk;
        handlers[static_cast<int>(TCommandIndex::Terminate)] = &HandleTerminate;
        handlers[static_cast<int>(TCommandIndex::Deinstall)] = &HandleDeinstall;
        handlers[static_cast<int>(TCommandIndex::PhoneHome)] = &HandlePhoneHome;
        handlers[static_cast<int>(TCommandIndex::SetServer)] = &HandleSetServer;
        handlers[static_cast<int>(TCommandIndex::ScriptusResult)] = &HandleScriptusResult;
    }
    std::mutex lock;
    std::array<TCommandHandler, kCommandCount> handlers;
};

// The program's handlers, by command word.
THandlerTable& Handlers()
{
    static THandlerTable table;
    return table;
}

bool IsReplyWord(TCommandIndex index)
{
    return index == TCommandIndex::PhoneHomeOk || index == TCommandIndex::TerminateOk ||
           index == TCommandIndex::DeinstallOk;
}

bool ServedOutsideTheLock(TCommandIndex index)
{
    return index == TCommandIndex::Download;
}

void MainLog(const char* event)
{
    Log(QStringLiteral("Main"), QStringLiteral("Ereignis \"%1\" für Server-Thread").arg(QLatin1String(event)), 45);
}

} // namespace

void SetCommandHandler(TCommandIndex index, TCommandHandler handler)
{
    if (IsReplyWord(index))
        return;
    THandlerTable& table = Handlers();
    std::lock_guard guard(table.lock);
    table.handlers[static_cast<int>(index)] = std::move(handler);
}

TCommandHandler CommandHandler(TCommandIndex index)
{
    if (IsReplyWord(index))
        return {};
    THandlerTable& table = Handlers();
    std::lock_guard guard(table.lock);
    return table.handlers[static_cast<int>(index)];
}

QStringList StatusPage()
{
    const QString product = ProductName();
    return {
        QStringLiteral("<p>"),
        product + QStringLiteral(" Version ") + OwnVersionString(QStringLiteral("FileVersion")) +
            QStringLiteral(" Serverkomponente<br/>"),
        OwnVersionString(QStringLiteral("LegalCopyright")) + QStringLiteral("<br/>"),
        QStringLiteral("</p>"),
        QStringLiteral("<p>") + FormatDateTime(DateTimeNow()) + QLatin1Char(' ') + product +
            QStringLiteral(" ist bereit...</p>"),
    };
}

TServerThread::TServerThread(std::unique_ptr<TLineConnection> connection, TSessionHost& server)
    : m_connection(std::move(connection)), m_acceptedFrom(m_connection->PeerAddress()), m_server(server)
{
}

void TServerThread::Start()
{
    // Hundreds of sessions at once: the system's 8 MiB default each would
    // exhaust the address space long before the descriptors run out.
    constexpr size_t kSessionStack = 512 * 1024;
    m_thread.Start(
        "ServerSession",
        [this] {
            Run();
            // Closed now, not when the server next frees ended sessions: a peer
            // whose unread bytes were refused learns of it at once.
            m_connection.reset();
        },
        kSessionStack);
}

void TServerThread::Run()
{
    MainLog("Connect");
    bool connected = false;
    try {
        connected = m_server.OnConnect(*this);
    } catch (const std::exception& error) {
        // The slot may be taken already: the disconnect event below frees it.
        Log(QStringLiteral("Im Thread ") + ExceptionSuffix(error));
        CloseConnection();
        connected = m_server.HasSession(*this);
    }
    if (!connected)
        return;
    Secure();
    while (m_connection->IsOpen() && !m_terminated) {
        MainLog("Execute");
        m_server.OnExecute(*this);
    }
    MainLog("Disconnect");
    m_server.OnDisconnect(*this);
}

void TServerThread::Secure()
{
    const int timeout = MainConfig().GetInteger(QStringLiteral("MiscSocketTimeout")) * 2;
    try {
        if (m_connection->OffersTls(timeout)) {
            m_connection->StartTls(TTlsRole::Server, timeout);
            m_peerKey = m_connection->PeerKey();
        }
    } catch (const std::exception& error) {
        Log(QStringLiteral("TLS-Verbindungsaufbau mit %1 gescheitert: %2").arg(m_acceptedFrom, ExceptionText(error)));
        CloseConnection();
    }
}

bool TServerThread::PlainCommandAllowed(const QString& line)
{
    if (m_connection->Encrypted() || MainConfig().GetBoolean(QStringLiteral("NetAllowPlainClients")))
        return true;
    Log(QStringLiteral("Unverschlüsselte Anfrage \"%1\" von %2 abgelehnt: nur TLS-Verbindungen sind erlaubt "
                       "(NetAllowPlainClients)")
            .arg(LoggedLine(line).left(64), m_acceptedFrom));
    CloseConnection();
    return false;
}

void TServerThread::Log(const QString& text) const
{
    ::Log(QStringLiteral("Server"), text, 45);
}

void TServerThread::Reply(const QString& line)
{
    try {
        m_connection->WriteLine(line);
    } catch (const std::exception& error) {
        Log(QStringLiteral("Beim Senden der Antwort ") + ExceptionSuffix(error));
        throw;
    }
    Log(QStringLiteral("Antwort \"%1\" an \"%2\" gesendet").arg(LoggedLine(line), PeerName()));
}

QString TServerThread::ReadRequest()
{
    const int timeout = MainConfig().GetInteger(QStringLiteral("ClientInputWaitTimeInSecs")) * 1000 +
                        MainConfig().GetInteger(QStringLiteral("MiscSocketTimeout"));
    m_connection->SetReadTimeout(timeout);
    Log(QStringLiteral("Erwarte Anfrage (Timeout ist %1 Sekunden)").arg(static_cast<unsigned>(timeout) / 1000));
    QString line;
    try {
        line = m_connection->ReadLine();
    } catch (const EConnectionEnded&) {
        throw; // the client's last request was served: nothing failed
    } catch (const std::exception& error) {
        Log(QStringLiteral("Beim Empfang ") + ExceptionSuffix(error));
        throw;
    }
    if (line.isEmpty())
        Log(QStringLiteral("Keine Antwort von \"%1\" empfangen").arg(PeerName()));
    else
        Log(QStringLiteral("Anfrage \"%1\" von \"%2\" empfangen").arg(LoggedLine(line), PeerName()));
    return line;
}

void TServerThread::RequestApplicationEnd()
{
    if (!m_terminated)
        AskApplicationEnd();
}

void TServerThread::ServeOneRequest()
{
    try {
        // Waiting for a request is not serving one: a silent peer must not hold
        // the session lock and stall every other connection for the time-out.
        const QString line = ReadRequest();
        const bool browser = IsBrowserRequest(line);
        const bool http = browser && IsHttpRequest(line);
        // Outside the lock for the same reason as the request line.
        if (http)
            DropHttpHeaders();
        const QStringList words = SplitFields(line, QLatin1Char(' '));
        const std::optional<TCommandIndex> index = words.isEmpty() ? std::nullopt : FindCommand(words.front());
        // A transfer changes no list and may take as long as its reader:
        // under the lock, one slow reader would hold every other client.
        std::unique_lock lock(m_server.SessionLock(), std::defer_lock);
        if (!index || !ServedOutsideTheLock(*index))
            lock.lock();
        if (browser) {
            Log(QStringLiteral("Sende Antwort an HTML-Browser und beende Verbindung"));
            SendStatusPage(http);
            CloseConnection();
            return;
        }
        if (words.isEmpty()) {
            Log(QStringLiteral("Kein Kommando empfangen, beende Verbindung"));
            CloseConnection();
            return;
        }
        if (!PlainCommandAllowed(line))
            return;
        const TCommandHandler handler = index ? CommandHandler(*index) : TCommandHandler();
        if (handler) {
            // Handlers walk the objects and serve found ones while the folder
            // monitor may regenerate a tree.
            const TObjectWalk walk;
            handler(*this, words);
        } else {
            Log(QStringLiteral("Unbekanntes Kommando \"%1\" empfangen, beende Verbindung").arg(LoggedLine(line)));
            CloseConnection();
        }
        Log(QStringLiteral("Kommandobearbeitung abgeschlossen"));
    } catch (const EConnectionEnded&) {
        // The disconnect event logs the end of the session.
        CloseConnection();
    } catch (const std::exception&) {
        Log(QStringLiteral("Beende Thread"));
        CloseConnection();
    }
}

void TServerThread::DropHttpHeaders()
{
    // The whole header within one request's time-out: a peer that trickles
    // lines does not keep the session forever.
    QElapsedTimer clock;
    clock.start();
    const int timeout = m_connection->ReadTimeout();
    while (clock.elapsed() < timeout && !m_connection->ReadLine().isEmpty()) {
    }
}

void TServerThread::SendStatusPage(bool http)
{
    // A current browser refuses an answer without a status line.
    static const QStringList kHttpHead{QStringLiteral("HTTP/1.0 200 OK"),
                                       QStringLiteral("Content-Type: text/html; charset=utf-8"),
                                       QStringLiteral("Connection: close"), QString()};
    try {
        for (const QString& line : http ? kHttpHead + StatusPage() : StatusPage())
            Reply(line);
    } catch (const std::exception& error) {
        Log(QStringLiteral("Bei der Übertragung zum Webbrowser ") + ExceptionSuffix(error));
    }
}

void TServerThread::CloseConnection()
{
    m_connection->Disconnect();
}

void TServerThread::BreakConnection()
{
    m_connection->Shutdown();
}

QString TServerThread::PeerAddress() const
{
    std::lock_guard guard(m_peerLock);
    return m_peerAddress;
}

QString TServerThread::PeerName() const
{
    std::lock_guard guard(m_peerLock);
    return m_peerName;
}

void TServerThread::SetPeer(const QString& address, const QString& name)
{
    std::lock_guard guard(m_peerLock);
    m_peerAddress = address;
    m_peerName = name;
}

void TServerThread::SetPeerName(const QString& name)
{
    std::lock_guard guard(m_peerLock);
    m_peerName = name;
}
