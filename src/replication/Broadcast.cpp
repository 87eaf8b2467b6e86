// SPDX-License-Identifier: GPL-3.0-or-later
#include "replication/Broadcast.h"

#include <arpa/inet.h>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <fcntl.h>
#include <list>
#include <mutex>
#include <netinet/in.h>
#include <optional>
#include <poll.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>
#include <vector>

#include <QHash>
#include <QStringDecoder>

#include "base/TextFields.h"
#include "catalogue/SyncClient.h"
#include "catalogue/SyncObject.h"
#include "foundation/MainConfig.h"
#include "foundation/PoolInterlocked.h"
#include "foundation/ServiceMode.h"
#include "foundation/ThreadWait.h"
#include "foundation/UiAdapter.h"
#include "platform/HostNames.h"
#include "replication/Protocol.h"
#include "replication/RemoteCommands.h"
#include "replication/TransferPacing.h"

namespace {

using TClock = std::chrono::steady_clock;

constexpr int kFilterMs = 800;
constexpr qsizetype kFilterTextLength = 255;
constexpr qsizetype kMaxDatagram = 65536;

void BroadcastLog(const QString& message)
{
    Log(QStringLiteral("Broadcast"), message, 45);
}

struct TFilterEntry {
    QString address;
    QString name; // as last resolved
    TClock::time_point last;
};

// A found name is trusted this long; an empty one is never kept, so a peer
// that enters the hosts file or the client list is named at its next datagram.
constexpr auto kNameLifetime = std::chrono::seconds(5);

struct TResolvedName {
    QString name;
    TClock::time_point until;
};

// The flags are written by the sending thread and read by the listener; a
// late answer after a flag was cleared is simply ignored.
std::atomic<bool> g_serverQuery{false};
std::atomic<bool> g_quietQuery{false};
std::atomic<bool> g_collectProviders{false};
std::atomic<TClock::rep> g_lastDownloadQuery{0};
std::atomic<int> g_busyAnswers{0};

// Peers answer within milliseconds, but an installation that starts right
// after the object list would close the window before any answer arrives.
constexpr auto kProviderAnswerTime = std::chrono::milliseconds(300);

// Senders are spoofable: the tables keep this many, the least recently
// heard leaving first.
constexpr qsizetype kMostSenders = 4096;

struct TBroadcastState {
    std::mutex datagramLock;                                       // one datagram handled at a time
    std::list<TFilterEntry> filter;                                // most recently heard first
    QHash<QString, std::list<TFilterEntry>::iterator> filterIndex; // by lower-case address
    QHash<QString, TResolvedName> names;                           // by sender address
    std::mutex senderLock;
    TDatagramSender sender;
};

TBroadcastState& State()
{
    static TBroadcastState* const state = new TBroadcastState; // the listener may outlive static destruction
    return *state;
}

// An empty address broadcasts to 255.255.255.255.
void SendToNetwork(const QByteArray& datagram, const QString& address)
{
    sockaddr_in target{};
    target.sin_family = AF_INET;
    target.sin_addr.s_addr = htonl(INADDR_BROADCAST);
    target.sin_port = htons(static_cast<quint16>(MainConfig().GetInteger(QStringLiteral("NetServerPort"))));
    if (!address.isEmpty() && ::inet_pton(AF_INET, address.toLatin1().constData(), &target.sin_addr) != 1)
        throw ESocketError(QStringLiteral("Ungültige Adresse \"%1\"").arg(address));
    const int s = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (s < 0)
        throw ESocketError(QStringLiteral("Socket-Fehler: %1").arg(QString::fromLocal8Bit(std::strerror(errno))));
    const int on = 1;
    ::setsockopt(s, SOL_SOCKET, SO_BROADCAST, &on, sizeof on);
    const ssize_t sent = ::sendto(s, datagram.constData(), static_cast<size_t>(datagram.size()), 0,
                                  reinterpret_cast<sockaddr*>(&target), sizeof target);
    const int error = errno;
    ::close(s);
    if (sent != datagram.size())
        throw ESocketError(QStringLiteral("Socket-Fehler: %1").arg(QString::fromLocal8Bit(std::strerror(error))));
}

// Sends through the plugged-in sender or to the network; a failure is
// logged, never raised.
void SendDatagram(const QString& text, const QString& address)
{
    try {
        TDatagramSender sender;
        {
            std::lock_guard guard(State().senderLock);
            sender = State().sender;
        }
        const QByteArray datagram = text.toUtf8();
        if (sender)
            sender(datagram, address);
        else
            SendToNetwork(datagram, address);
    } catch (const std::exception& error) {
        BroadcastLog(QStringLiteral("Bei der Bearbeitung des Broadcasts \"%1\" ").arg(text) + ExceptionSuffix(error));
    }
}

// A datagram is text when it decodes cleanly and holds no control character:
// anything else cannot be a command of ours.
std::optional<QString> DatagramText(const QByteArray& data)
{
    QStringDecoder decoder(QStringDecoder::Utf8);
    QString text = decoder(data);
    if (decoder.hasError())
        return std::nullopt;
    for (const QChar c : text) {
        if (c.unicode() < 0x20 || c.unicode() == 0x7f)
            return std::nullopt;
    }
    return text;
}

// The look-up runs outside the datagram lock: a slow name server holds
// only the datagram that asked.
QString SenderName(const QString& address)
{
    TBroadcastState& state = State();
    {
        std::lock_guard guard(state.datagramLock);
        const auto known = state.names.constFind(address);
        if (known != state.names.cend() && known->until > TClock::now())
            return known->name;
    }
    QString name;
    if (const TSyncClient* client = FindClientByNameExact(address))
        name = client->Name();
    else
        name = ResolveAddress(address).value_or(QString());
    name.truncate(kFilterTextLength);
    std::lock_guard guard(state.datagramLock);
    if (name.isEmpty()) {
        state.names.remove(address);
        return name;
    }
    // Found names outlive their use only briefly; a flood of them is dropped whole.
    if (state.names.size() >= kMostSenders)
        state.names.clear();
    state.names.insert(address, {name, TClock::now() + kNameLifetime});
    return name;
}

// Applies the filter; true when the datagram is to be dropped. The time is
// refreshed in every case, so a steady stream stays filtered.
bool Filtered(const QString& text, const QString& address, const QString& name)
{
    TBroadcastState& state = State();
    const TClock::time_point now = TClock::now();
    const QString key = address.left(kFilterTextLength).toLower();
    const auto found = state.filterIndex.constFind(key);
    if (found == state.filterIndex.cend()) {
        if (state.filter.size() >= static_cast<size_t>(kMostSenders)) {
            state.filterIndex.remove(state.filter.back().address.toLower());
            state.filter.pop_back();
        }
        state.filter.push_front({address.left(kFilterTextLength), name, now});
        state.filterIndex.insert(key, state.filter.begin());
        return false;
    }
    const auto entry = *found;
    const auto elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(now - entry->last).count();
    entry->last = now;
    entry->name = name;
    state.filter.splice(state.filter.begin(), state.filter, entry);
    if (elapsed < kFilterMs) {
        BroadcastLog(QStringLiteral("Broadcast \"%1\" von \"%2\" gefiltert").arg(text, entry->name));
        return true;
    }
    return false;
}

void DropIncomplete(const QString& text)
{
    BroadcastLog(QStringLiteral("Unvollständiger Broadcast \"%1\" verworfen").arg(text));
}

void OnQueryServer()
{
    if (ServerConfigured())
        SendBroadcast(QStringLiteral("SETSERVER ") + MainConfig().GetString(QStringLiteral("NetServerName")));
}

void OnSetServer(const QString& text, const QStringList& words)
{
    if (!g_serverQuery)
        return;
    if (words.size() < 2) {
        DropIncomplete(text);
        return;
    }
    g_serverQuery = false;
    const QString& name = words[1];
    if (!SetMasterServerName(name))
        return;
    BroadcastLog(QStringLiteral("Der Master-Server \"%1\" wurde konfiguriert").arg(name));
    if (g_quietQuery)
        return;
    TUiAdapter::ShowMessage(TMessageKind::Information,
                            QStringLiteral("Der Name des Master-Servers \"%1\" wurde automatisch über das Netzwerk "
                                           "erfragt und konnte erfolgreich ermittelt werden.")
                                .arg(name));
}

// A computer holding the object answers the asker alone: a broadcast answer
// would reach every computer, whose filters would then drop this computer's
// next answer to another asker. While it sends the object to another, it
// says it is busy, so that the asker waits instead of going to the master.
void OnQueryDownload(const QString& text, const QStringList& words, const QString& senderAddress,
                     const QString& senderName, const TConnectedCheck& isConnected)
{
    if (words.size() < 3) {
        DropIncomplete(text);
        return;
    }
    const QString name = UnquoteField(words[1]);
    const TSyncObject* object = FindBySourcePath(name);
    if (object == nullptr)
        return;
    const quint64 id = NumberFromDigits(words[2]);
    if (id != object->ComputeId() || !object->IsCurrent())
        return;
    if (isConnected(senderName)) {
        BroadcastLog(
            QStringLiteral("Der Client \"%1\" ist ohnehin mit uns verbunden, nicht antworten").arg(senderName));
        return;
    }
    QString answer = QStringLiteral("SETDOWNLOAD %1 %2").arg(QuoteField(name), NumberToText(id));
    if (SendingNow(id)) {
        BroadcastLog(QStringLiteral("Wir sind bereits mit einem anderen Client beschäftigt"));
        answer += QStringLiteral(" busy");
    }
    BroadcastLog(QStringLiteral("Sende Antwort \"%1\" an \"%2\"").arg(answer, senderAddress));
    SendDatagram(answer, senderAddress);
}

void OnSetDownload(const QString& text, const QStringList& words, const QString& senderName)
{
    if (!g_collectProviders)
        return;
    if (words.size() < 3) {
        DropIncomplete(text);
        return;
    }
    const QString name = UnquoteField(words[1]);
    const quint64 id = NumberFromDigits(words[2]);
    BroadcastLog(QStringLiteral("Der Client \"%1\" besitzt das gewünschte Objekt \"%2\" mit der Id %3")
                     .arg(senderName, name, NumberToText(id)));
    // Only the version this computer wants counts: a provider of another
    // would serve bytes that the digest check throws away.
    TSyncObject* object = FindBySourcePath(name);
    if (object == nullptr || object->ComputeId() != id)
        return;
    if (words.value(3) == QLatin1String("busy"))
        ++g_busyAnswers;
    else if (!senderName.isEmpty())
        object->AddProvider(senderName);
}

} // namespace

void SetDatagramSender(TDatagramSender sender)
{
    std::lock_guard guard(State().senderLock);
    State().sender = std::move(sender);
}

void SendBroadcast(const QString& text)
{
    BroadcastLog(QStringLiteral("Sende Broadcast \"%1\"").arg(text));
    SendDatagram(text, QString());
}

void QueryServer(bool quiet)
{
    g_quietQuery = quiet;
    g_serverQuery = true;
    SendBroadcast(QStringLiteral("QUERYSERVER"));
}

void QueryDownload(const TSyncObject& object)
{
    g_busyAnswers = 0;
    g_collectProviders = true;
    SendBroadcast(
        QStringLiteral("QUERYDOWNLOAD %1 %2").arg(QuoteField(object.SourceName()), NumberToText(object.ComputeId())));
    g_lastDownloadQuery = TClock::now().time_since_epoch().count();
}

void StopProviderCollection()
{
    g_collectProviders = false;
}

void EndProviderCollection()
{
    if (g_collectProviders)
        std::this_thread::sleep_until(TClock::time_point(TClock::duration(g_lastDownloadQuery.load())) +
                                      kProviderAnswerTime);
    StopProviderCollection();
}

int BusyProviderAnswers()
{
    return g_busyAnswers;
}

bool CollectingProviders()
{
    return g_collectProviders;
}

bool ServerQueryPending()
{
    return g_serverQuery;
}

void ClearBroadcastFilter()
{
    std::lock_guard guard(State().datagramLock);
    State().filter.clear();
    State().filterIndex.clear();
    State().names.clear();
}

qsizetype BroadcastFilterSize()
{
    std::lock_guard guard(State().datagramLock);
    return static_cast<qsizetype>(State().filter.size());
}

void OnDatagram(const QByteArray& data, const QString& senderAddress, const TConnectedCheck& isConnected)
{
    QString text;
    try {
        const std::optional<QString> decoded = DatagramText(data);
        if (!decoded) {
            BroadcastLog(QStringLiteral("Broadcast von \"%1\" ist kein Text und wird verworfen").arg(senderAddress));
            return;
        }
        text = *decoded;
        const QStringList words = SplitFields(text, QLatin1Char(' '));
        if (words.isEmpty())
            return;
        const QString senderName = SenderName(senderAddress);
        std::lock_guard guard(State().datagramLock);
        if (Filtered(text, senderAddress, senderName))
            return;
        BroadcastLog(QStringLiteral("Empfange Broadcast \"%1\" von \"%2\"").arg(text, senderName));
        const QString& command = words[0];
        const TObjectWalk walk; // a found object may be removed meanwhile
        if (command == QLatin1String("QUERYSERVER"))
            OnQueryServer();
        else if (command == QLatin1String("SETSERVER"))
            OnSetServer(text, words);
        else if (command == QLatin1String("QUERYDOWNLOAD"))
            OnQueryDownload(text, words, senderAddress, senderName, isConnected);
        else if (command == QLatin1String("SETDOWNLOAD"))
            OnSetDownload(text, words, senderName);
        else
            BroadcastLog(QStringLiteral("Unbekanntes Broadcast-Kommando \"%1\" empfangen").arg(command));
    } catch (const std::exception& error) {
        BroadcastLog(QStringLiteral("Bei der Bearbeitung des Broadcasts \"%1\" ").arg(text) + ExceptionSuffix(error));
    }
}

TBroadcastListener::TBroadcastListener(TConnectedCheck isConnected, int socket)
    : m_isConnected(std::move(isConnected)), m_socket(socket)
{
    m_thread.Start("Broadcast", [this] { Run(); });
}

TBroadcastListener::~TBroadcastListener()
{
    m_waiter.Wake();
    WaitTurningEvents([this] { return m_thread.Finished(); });
    m_thread.Join();
}

void TBroadcastListener::Run()
{
    QByteArray buffer(kMaxDatagram, Qt::Uninitialized);
    while (m_waiter.WaitReadable(m_socket)) {
        sockaddr_in sender{};
        socklen_t length = sizeof sender;
        const ssize_t received = ::recvfrom(m_socket, buffer.data(), static_cast<size_t>(buffer.size()), MSG_DONTWAIT,
                                            reinterpret_cast<sockaddr*>(&sender), &length);
        if (received < 0) {
            if (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR)
                std::this_thread::sleep_for(std::chrono::milliseconds(50)); // do not spin on a failing socket
            continue;
        }
        char address[INET_ADDRSTRLEN] = {};
        ::inet_ntop(AF_INET, &sender.sin_addr, address, sizeof address);
        OnDatagram(buffer.left(received), QString::fromLatin1(address), m_isConnected);
    }
}
