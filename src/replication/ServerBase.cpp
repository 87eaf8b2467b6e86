// SPDX-License-Identifier: GPL-3.0-or-later
#include "replication/ServerBase.h"

#include <arpa/inet.h>
#include <cerrno>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <optional>
#include <poll.h>
#include <sys/socket.h>
#include <system_error>
#include <thread>
#include <unistd.h>

#include "base/WorkerThread.h"
#include "catalogue/SyncClient.h"
#include "foundation/MainConfig.h"
#include "foundation/PoolInterlocked.h"
#include "foundation/ServiceMode.h"
#include "foundation/ThreadWait.h"
#include "foundation/UiAdapter.h"
#include "platform/HostNames.h"
#include "platform/ProcessLimits.h"
#include "replication/Broadcast.h"
#include "replication/Protocol.h"
#include "replication/ServerThread.h"

namespace {

const QString kCategory = QStringLiteral("ServerBase");
constexpr int kIcon = 45;

void BaseLog(const QString& message)
{
    Log(kCategory, message, kIcon);
}

void ErrorBox(const QString& text)
{
    TUiAdapter::ShowMessage(TMessageKind::Error, text);
}

int BoundSocket(int type, int port, bool broadcast)
{
    const int s = ::socket(AF_INET, type | SOCK_CLOEXEC, 0);
    if (s < 0)
        return -1;
    const int on = 1;
    ::setsockopt(s, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    if (broadcast)
        ::setsockopt(s, SOL_SOCKET, SO_BROADCAST, &on, sizeof on);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_ANY);
    address.sin_port = htons(static_cast<quint16>(port));
    if (::bind(s, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        ::close(s);
        return -1;
    }
    return s;
}

int LocalPort(int socket)
{
    sockaddr_in address{};
    socklen_t length = sizeof address;
    if (::getsockname(socket, reinterpret_cast<sockaddr*>(&address), &length) != 0)
        return 0;
    return ntohs(address.sin_port);
}

} // namespace

/// The accept loop of the TCP listener; hands every connection to a new
/// session thread. It logs nothing, so the main thread may wait for it.
class TServerBase::TListenerThread
{
public:
    TListenerThread(TServerBase& server, int socket)
        : m_server(server), m_socket(socket), m_reserve(::open("/dev/null", O_RDONLY | O_CLOEXEC))
    {
        m_thread.Start("TcpListener", [this] { Run(); });
    }
    ~TListenerThread()
    {
        m_waiter.Wake();
        m_thread.Join();
        ::close(m_socket);
        if (m_reserve >= 0)
            ::close(m_reserve);
    }

private:
    void Run()
    {
        while (m_waiter.WaitReadable(m_socket)) {
            const int s = ::accept4(m_socket, nullptr, nullptr, SOCK_CLOEXEC);
            if (s >= 0)
                m_server.Accepted(s);
            else if (errno == EMFILE || errno == ENFILE)
                RefuseOne();
        }
    }

    // Out of descriptors, the waiting connection would stay in the queue and
    // wake the listener for ever: the descriptor kept in reserve takes it
    // just long enough to close it.
    void RefuseOne()
    {
        if (m_reserve < 0) {
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
            return;
        }
        ::close(m_reserve);
        const int s = ::accept4(m_socket, nullptr, nullptr, SOCK_CLOEXEC);
        const QString address = s >= 0 ? TLineConnection(s).PeerAddress() : QString();
        m_reserve = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
        BaseLog(QStringLiteral("Verbindung von %1 abgelehnt: keine Dateideskriptoren mehr frei").arg(address));
    }

    TServerBase& m_server;
    int m_socket;
    int m_reserve;
    TSocketWaiter m_waiter;
    TWorkerThread m_thread;
};

TServerBase::TServerBase() = default;

TServerBase::~TServerBase()
{
    StopListeners();
    // A session may wait for the main thread while it ends: keep it turning.
    WaitTurningEvents([this] { return AllSessionsFinished(); });
    ReapSessions();
}

TServerBase& TServerBase::Instance()
{
    static TServerBase* const server = new TServerBase; // session threads may outlive static destruction
    return *server;
}

void TServerBase::StartListeners()
{
    if (m_listener || m_udpSocket >= 0)
        return;
    if (const long descriptors = RaiseDescriptorLimit(); descriptors > 0)
        BaseLog(QStringLiteral("Bis zu %1 offene Dateien und Verbindungen möglich").arg(descriptors));
    const int port = MainConfig().GetInteger(QStringLiteral("NetServerPort"));
    const bool tcp = StartTcp(port);
    if (tcp)
        BaseLog(QStringLiteral("Server-Komponente hört auf TCP-Port %1").arg(m_port));
    else
        BaseLog(QStringLiteral("Die %1-Serverkomponente konnte nicht gestartet werden").arg(QStringLiteral("TCP")));
    const int udpPort = tcp ? m_port : port;
    if (StartUdp(udpPort))
        BaseLog(QStringLiteral("Broadcast-Komponente hört auf UDP-Port %1").arg(LocalPort(m_udpSocket)));
    else
        BaseLog(QStringLiteral("Die %1-Serverkomponente konnte nicht gestartet werden").arg(QStringLiteral("UDP")));
}

bool TServerBase::StartTcp(int port)
{
    const int s = BoundSocket(SOCK_STREAM, port, false);
    if (s < 0)
        return false;
    if (::listen(s, SOMAXCONN) != 0) {
        ::close(s);
        return false;
    }
    try {
        m_listener = std::make_unique<TListenerThread>(*this, s);
    } catch (const EPlenwick&) {
        ::close(s);
        return false;
    }
    m_port = LocalPort(s);
    return true;
}

bool TServerBase::StartUdp(int port)
{
    m_udpSocket = BoundSocket(SOCK_DGRAM, port, true);
    if (m_udpSocket < 0)
        return false;
    try {
        m_broadcast = std::make_unique<TBroadcastListener>(
            [this](const QString& name) { return IsClientConnected(name); }, m_udpSocket);
    } catch (const EPlenwick&) {
        ::close(m_udpSocket);
        m_udpSocket = -1;
        return false;
    }
    return true;
}

int TServerBase::UdpPort() const
{
    return m_udpSocket >= 0 ? LocalPort(m_udpSocket) : 0;
}

void TServerBase::StopListeners()
{
    try {
        m_listener.reset();
        m_port = 0;
        // As the listener goes, so do its connections; the sessions then end by themselves.
        BreakActiveSessions(false);
        m_broadcast.reset();
        if (m_udpSocket >= 0) {
            ::close(m_udpSocket);
            m_udpSocket = -1;
        }
    } catch (const std::exception& error) {
        BaseLog(QStringLiteral("Beim Deaktivieren der Server-Ports ") + ExceptionSuffix(error));
    }
}

std::optional<QString> TServerBase::Refusal(const QString& address) const
{
    const int most = MainConfig().GetInteger(QStringLiteral("NetMaxSessions"));
    const int mostPerAddress = MainConfig().GetInteger(QStringLiteral("NetMaxSessionsPerAddress"));
    int all = 0;
    int fromAddress = 0;
    {
        std::lock_guard threads(m_threadsLock);
        for (const auto& session : m_sessionThreads) {
            if (session->Finished())
                continue;
            ++all;
            fromAddress += session->AcceptedFrom() == address ? 1 : 0;
        }
    }
    if (all >= most)
        return QStringLiteral("Verbindung von %1 abgelehnt: bereits %2 Verbindungen (NetMaxSessions)")
            .arg(address)
            .arg(all);
    if (fromAddress >= mostPerAddress)
        return QStringLiteral("Verbindung von %1 abgelehnt: bereits %2 Verbindungen von dieser Adresse "
                              "(NetMaxSessionsPerAddress)")
            .arg(address)
            .arg(fromAddress);
    return std::nullopt;
}

void TServerBase::Accepted(int socket)
{
    ReapSessions();
    auto connection = std::make_unique<TLineConnection>(socket);
    const QString address = connection->PeerAddress();
    if (const std::optional<QString> refusal = Refusal(address)) {
        BaseLog(*refusal);
        return; // the connection closes as it goes
    }
    auto session = std::make_unique<TServerThread>(std::move(connection), *this);
    TServerThread* started = session.get();
    {
        std::lock_guard threads(m_threadsLock);
        m_sessionThreads.push_back(std::move(session));
    }
    try {
        started->Start();
    } catch (const std::system_error& error) {
        // Refuses this one connection; the server goes on.
        BaseLog(QStringLiteral("Verbindung von %1 abgelehnt: kein Thread verfügbar (%2)")
                    .arg(address, QString::fromLocal8Bit(error.what())));
        std::lock_guard threads(m_threadsLock);
        std::erase_if(m_sessionThreads, [started](const auto& session) { return session.get() == started; });
    }
}

void TServerBase::ReapSessions()
{
    std::vector<std::unique_ptr<TServerThread>> ended;
    {
        std::lock_guard threads(m_threadsLock);
        for (auto& session : m_sessionThreads)
            if (session->Finished())
                ended.push_back(std::move(session));
        std::erase(m_sessionThreads, nullptr);
    }
    // Destroyed outside the lock: each joins its (ended) thread.
}

bool TServerBase::AllSessionsFinished() const
{
    std::lock_guard threads(m_threadsLock);
    return std::all_of(m_sessionThreads.begin(), m_sessionThreads.end(),
                       [](const std::unique_ptr<TServerThread>& session) { return session->Finished(); });
}

bool TServerBase::MayQuit()
{
    if (m_activeCount <= 0)
        return true;
    m_refusing = true;
    return false;
}

bool TServerBase::EndSessions(const QDeadlineTimer& grace)
{
    if (MayQuit())
        return true;
    if (grace.hasExpired())
        BreakActiveSessions(true);
    return false;
}

void TServerBase::BreakActiveSessions(bool logged)
{
    std::lock_guard table(m_tableLock);
    for (const TSlot& slot : m_slots) {
        if (!slot.active)
            continue;
        if (logged)
            BaseLog(QStringLiteral("Verbindung mit %1 wird getrennt").arg(slot.session->PeerName()));
        slot.session->BreakConnection();
    }
}

bool TServerBase::IsClientConnected(const QString& name) const
{
    std::lock_guard table(m_tableLock);
    for (const TSlot& slot : m_slots) {
        if (slot.active && slot.session->PeerName().compare(name, Qt::CaseInsensitive) == 0)
            return true;
    }
    return false;
}

qsizetype TServerBase::SlotCount() const
{
    std::lock_guard table(m_tableLock);
    return static_cast<qsizetype>(m_slots.size());
}

bool TServerBase::HasSession(const TServerThread& session) const
{
    return FindSession(session) != nullptr;
}

TServerThread* TServerBase::FindSession(const TServerThread& session) const
{
    std::lock_guard table(m_tableLock);
    for (const TSlot& slot : m_slots) {
        if (slot.active && slot.connection == session.ConnectionKey())
            return slot.session;
    }
    return nullptr;
}

bool TServerBase::OnConnect(TServerThread& session)
{
    {
        std::unique_lock lock(m_sessionLock);
        if (m_refusing) {
            BaseLog(QStringLiteral("Anwendung soll beendet werden, Verbindung abgelehnt"));
            session.CloseConnection();
            return false;
        }
        std::lock_guard table(m_tableLock);
        auto slot = std::find_if(m_slots.begin(), m_slots.end(), [](const TSlot& s) { return !s.active; });
        if (slot == m_slots.end())
            slot = m_slots.insert(m_slots.end(), TSlot{});
        ++m_activeCount;
        *slot = TSlot{session.ConnectionKey(), &session, true};
    }
    const QString address = session.Connection().PeerAddress();
    session.SetPeer(address, address);
    // A slow name server must not stall every other session: the look-up
    // runs outside the session lock, only the registration inside.
    BaseLog(QStringLiteral("Namensauflösung für IP-Adresse %1 vornehmen").arg(address));
    QString name;
    const TSyncClient* cached =
        MainConfig().GetBoolean(QStringLiteral("NetDNSCache")) ? FindClientByNameExact(address) : nullptr;
    if (cached != nullptr) {
        name = cached->Name();
        BaseLog(QStringLiteral("Domain-Name \"%1\" aus Cache aufgelöst").arg(name));
    } else {
        name = ResolveAddress(address).value_or(address);
    }
    std::unique_lock lock(m_sessionLock);
    RegisterClient(address, name);
    BaseLog(QStringLiteral("Verbindung mit \"%1\" hergestellt").arg(name));
    session.SetPeer(address, name);
    return true;
}

void TServerBase::OnExecute(TServerThread& session)
{
    session.ServeOneRequest();
}

void TServerBase::OnDisconnect(TServerThread& session)
{
    std::unique_lock lock(m_sessionLock);
    TServerThread* found = FindSession(session);
    if (found == nullptr) {
        ErrorBox(QStringLiteral("Server-Thread nicht gefunden in OnTCPServerDisconnect()."));
        return;
    }
    BaseLog(QStringLiteral("Verbindung mit %1 beendet").arg(found->PeerName()));
    BaseLog(QStringLiteral("Beende Thread"));
    found->Terminate();
    std::lock_guard table(m_tableLock);
    for (TSlot& slot : m_slots) {
        if (slot.active && slot.session == found) {
            slot.active = false;
            --m_activeCount;
        }
    }
}
