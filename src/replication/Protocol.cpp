// SPDX-License-Identifier: GPL-3.0-or-later
#include "replication/Protocol.h"

#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/sendfile.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QDeadlineTimer>
#include <QScopeGuard>

#include "base/TextFields.h"
#include "replication/SigPipeBlocked.h"
#include "replication/TlsChannel.h"

namespace {

constexpr qsizetype kReadChunk = 16 * 1024;

QString SystemError(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

ESocketError SocketError(int error)
{
    return ESocketError(QStringLiteral("Socket-Fehler #%1: %2").arg(error).arg(SystemError(error)));
}

// Remaining milliseconds for poll(); -1 waits without end.
int PollTimeout(const QDeadlineTimer& deadline)
{
    if (deadline.isForever())
        return -1;
    return static_cast<int>(deadline.remainingTime());
}

} // namespace

TLineConnection::TLineConnection(int socket) : m_socket(socket)
{
    // Request and reply lines are small and strictly alternate; do not let
    // Nagle hold back a reply until the peer's delayed ACK.
    const int on = 1;
    ::setsockopt(m_socket, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
}

TLineConnection::~TLineConnection()
{
    m_tls.reset();
    if (m_socket >= 0)
        ::close(m_socket);
}

std::unique_ptr<TLineConnection> TLineConnection::Connect(const QString& host, int port)
{
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    const QByteArray service = QByteArray::number(port);
    const int rc = ::getaddrinfo(host.toUtf8().constData(), service.constData(), &hints, &found);
    if (rc != 0)
        throw ESocketError(
            QStringLiteral("Host \"%1\" nicht gefunden: %2").arg(host, QString::fromLocal8Bit(::gai_strerror(rc))));
    int lastError = ECONNREFUSED;
    for (addrinfo* a = found; a != nullptr; a = a->ai_next) {
        const int s = ::socket(a->ai_family, a->ai_socktype | SOCK_CLOEXEC, a->ai_protocol);
        if (s < 0) {
            lastError = errno;
            continue;
        }
        int r;
        do
            r = ::connect(s, a->ai_addr, a->ai_addrlen);
        while (r < 0 && errno == EINTR);
        if (r == 0) {
            ::freeaddrinfo(found);
            return std::make_unique<TLineConnection>(s);
        }
        lastError = errno;
        ::close(s);
    }
    ::freeaddrinfo(found);
    throw SocketError(lastError);
}

void TLineConnection::StartTls(TTlsRole role, int timeoutMs)
{
    // TLS reads whole records: on a blocking socket a peer that sends half of
    // one would hold the read past every time-out.
    ::fcntl(m_socket, F_SETFL, ::fcntl(m_socket, F_GETFL) | O_NONBLOCK);
    m_tls = std::make_unique<TTlsChannel>(m_socket, role);
    const QDeadlineTimer deadline(timeoutMs < 0 ? -1 : timeoutMs);
    try {
        for (TTlsWait wait = m_tls->Handshake(); wait != TTlsWait::None; wait = m_tls->Handshake()) {
            if (!PollSocket(PollTimeout(deadline), wait == TTlsWait::Readable ? POLLIN : POLLOUT))
                throw ETlsError(QStringLiteral("Zeitüberschreitung beim TLS-Handshake"));
        }
    } catch (const ESocketError&) {
        m_closed = true;
        throw;
    }
}

bool TLineConnection::OffersTls(int timeoutMs)
{
    constexpr char kHandshakeRecord = 0x16;
    if (!PollSocket(timeoutMs, POLLIN))
        return false;
    char first = 0;
    ssize_t n;
    do
        n = ::recv(m_socket, &first, 1, MSG_PEEK);
    while (n < 0 && errno == EINTR);
    return n == 1 && first == kHandshakeRecord;
}

QString TLineConnection::PeerKey() const
{
    return m_tls ? m_tls->PeerFingerprint() : QString();
}

bool TLineConnection::WaitReadable(int timeoutMs)
{
    return !m_buffer.isEmpty() || (m_tls && m_tls->Pending()) || PollSocket(timeoutMs, POLLIN);
}

bool TLineConnection::PollSocket(int timeoutMs, short events)
{
    if (!IsOpen())
        throw ESocketError(QStringLiteral("Die Verbindung ist geschlossen"));
    pollfd p{m_socket, events, 0};
    int r;
    do
        r = ::poll(&p, 1, timeoutMs);
    while (r < 0 && errno == EINTR);
    if (r < 0)
        throw SocketError(errno);
    return r > 0;
}

qsizetype TLineConnection::Receive(char* data, qsizetype size, TTlsWait& wait)
{
    if (m_tls)
        return m_tls->Receive(data, size, wait);
    wait = TTlsWait::None;
    ssize_t n;
    do
        n = ::recv(m_socket, data, static_cast<size_t>(size), 0);
    while (n < 0 && errno == EINTR);
    return n;
}

qsizetype TLineConnection::Send(const char* data, qsizetype size, TTlsWait& wait)
{
    if (m_tls)
        return m_tls->Send(data, size, wait);
    wait = TTlsWait::None;
    return ::send(m_socket, data, static_cast<size_t>(size), MSG_NOSIGNAL);
}

bool TLineConnection::FillBuffer(int timeoutMs, bool lineReader)
{
    const QDeadlineTimer deadline(timeoutMs < 0 ? -1 : timeoutMs);
    const qsizetype old = m_buffer.size();
    short events = POLLIN;
    qsizetype n = -1;
    try {
        for (;;) {
            // Bytes TLS has decrypted already show in no poll of the socket.
            if (!(m_tls && m_tls->Pending()) && !PollSocket(PollTimeout(deadline), events))
                return false;
            m_buffer.resize(old + kReadChunk);
            TTlsWait wait = TTlsWait::None;
            n = Receive(m_buffer.data() + old, kReadChunk, wait);
            m_buffer.resize(old + (n > 0 ? n : 0));
            if (wait == TTlsWait::None)
                break;
            events = wait == TTlsWait::Readable ? POLLIN : POLLOUT;
        }
    } catch (const ETlsError&) {
        m_buffer.resize(old);
        m_closed = true;
        throw;
    }
    if (n == 0) {
        m_closed = true;
        const QString message = QStringLiteral("Die Verbindung wurde vom Gegenüber geschlossen");
        if (lineReader && old == 0)
            throw EConnectionEnded(message);
        throw ESocketError(message);
    }
    if (n < 0) {
        const int error = errno;
        m_closed = true;
        throw SocketError(error);
    }
    return true;
}

QString TLineConnection::ReadLine()
{
    const QDeadlineTimer deadline(m_readTimeoutMs < 0 ? -1 : m_readTimeoutMs);
    qsizetype searched = 0;
    for (;;) {
        const qsizetype lf = m_buffer.indexOf('\n', searched);
        if (lf >= 0) {
            qsizetype length = lf;
            if (length > 0 && m_buffer[length - 1] == '\r')
                --length;
            if (length > kMaxLineLength)
                break;
            const QString line = QString::fromUtf8(m_buffer.constData(), length);
            m_buffer.remove(0, lf + 1);
            return line;
        }
        // One byte more than the limit may be the CR of a line of full length.
        if (m_buffer.size() > kMaxLineLength + 1)
            break;
        searched = m_buffer.size();
        if (deadline.hasExpired() || !FillBuffer(PollTimeout(deadline), true))
            return QString(); // a time-out is no error; what came so far stays buffered
    }
    m_buffer.clear();
    m_closed = true;
    throw ELineTooLong(QStringLiteral("Zeile länger als %1 Bytes empfangen").arg(kMaxLineLength));
}

QByteArray TLineConnection::ReadBytes(qsizetype count)
{
    while (m_buffer.size() < count) {
        if (!FillBuffer(m_readTimeoutMs))
            throw ESocketError(QStringLiteral("Zeitüberschreitung beim Empfang"));
    }
    QByteArray data = m_buffer.left(count);
    m_buffer.remove(0, count);
    return data;
}

QByteArray TLineConnection::ReadSome(qsizetype count, const QDeadlineTimer& deadline)
{
    if (m_buffer.isEmpty()) {
        if (deadline.hasExpired())
            throw ESocketError(QStringLiteral("Die Übertragung dauert zu lange"));
        int wait = PollTimeout(deadline);
        if (m_readTimeoutMs >= 0 && (wait < 0 || m_readTimeoutMs < wait))
            wait = m_readTimeoutMs;
        if (!FillBuffer(wait))
            throw ESocketError(deadline.hasExpired() ? QStringLiteral("Die Übertragung dauert zu lange")
                                                     : QStringLiteral("Zeitüberschreitung beim Empfang"));
    }
    QByteArray data = m_buffer.left(count);
    m_buffer.remove(0, data.size());
    return data;
}

void TLineConnection::WriteLine(const QString& line)
{
    WriteBytes(line.toUtf8() + "\r\n");
}

void TLineConnection::WriteBytes(const QByteArray& bytes)
{
    if (!IsOpen())
        throw ESocketError(QStringLiteral("Die Verbindung ist geschlossen"));
    qsizetype sent = 0;
    short events = POLLOUT;
    while (sent < bytes.size()) {
        if (!PollSocket(m_readTimeoutMs < 0 ? -1 : m_readTimeoutMs, events))
            throw ESocketError(QStringLiteral("Zeitüberschreitung beim Senden"));
        TTlsWait wait = TTlsWait::None;
        qsizetype n;
        try {
            n = Send(bytes.constData() + sent, bytes.size() - sent, wait);
        } catch (const ETlsError&) {
            m_closed = true;
            throw;
        }
        if (wait != TTlsWait::None) {
            events = wait == TTlsWait::Readable ? POLLIN : POLLOUT;
            continue;
        }
        if (n < 0) {
            if (errno == EINTR || errno == EAGAIN)
                continue;
            const int error = errno;
            m_closed = true;
            throw SocketError(error);
        }
        sent += n;
        events = POLLOUT;
    }
}

bool TLineConnection::SendFile(int fd, qint64 offset, qint64 count, const QDeadlineTimer& deadline)
{
    constexpr qint64 kStep = 4 * 1024 * 1024;
    if (!IsOpen())
        throw ESocketError(QStringLiteral("Die Verbindung ist geschlossen"));
    const auto timedOut = [] { return ESocketError(QStringLiteral("Zeitüberschreitung beim Senden")); };
    if (m_tls && !m_tls->KernelSends()) {
        // Without kernel TLS every byte passes through here to be encrypted.
        QByteArray piece(std::min(count, qint64{256 * 1024}), Qt::Uninitialized);
        while (count > 0) {
            if (deadline.hasExpired())
                throw timedOut();
            const ssize_t n = ::pread(fd, piece.data(), static_cast<size_t>(std::min<qint64>(count, piece.size())),
                                      static_cast<off_t>(offset));
            if (n <= 0)
                return false;
            WriteBytes(QByteArray::fromRawData(piece.constData(), n));
            offset += n;
            count -= n;
        }
        return true;
    }
    // Non-blocking meanwhile, so that a reader that stops cannot hold the
    // send past the deadline.
    const int flags = ::fcntl(m_socket, F_GETFL);
    ::fcntl(m_socket, F_SETFL, flags | O_NONBLOCK);
    const auto restore = qScopeGuard([&] { ::fcntl(m_socket, F_SETFL, flags); });
    while (count > 0) {
        short events = POLLOUT;
        const qint64 n = SendFileStep(fd, offset, std::min(count, kStep), events);
        if (n > 0) {
            count -= n;
            continue;
        }
        if (n == 0)
            return false;
        if (deadline.hasExpired() || !PollSocket(static_cast<int>(deadline.remainingTime()), events))
            throw timedOut();
    }
    return true;
}

qint64 TLineConnection::SendFileStep(int fd, qint64& offset, qint64 size, short& events)
{
    if (m_tls) {
        TTlsWait wait = TTlsWait::None;
        qsizetype n = 0;
        try {
            n = m_tls->SendFile(fd, offset, static_cast<qsizetype>(size), wait);
        } catch (const ETlsError&) {
            m_closed = true;
            throw;
        }
        offset += std::max<qsizetype>(n, 0);
        events = wait == TTlsWait::Readable ? POLLIN : POLLOUT;
        return n;
    }
    auto at = static_cast<off_t>(offset);
    for (;;) {
        ssize_t n = 0;
        int error = 0;
        {
            const TSigPipeBlocked quiet; // a peer that has gone gives EPIPE
            n = ::sendfile(m_socket, fd, &at, static_cast<size_t>(size));
            error = errno;
        }
        offset = at;
        if (n >= 0)
            return n;
        if (error == EINTR)
            continue;
        if (error == EAGAIN) {
            events = POLLOUT;
            return -1;
        }
        m_closed = true;
        throw SocketError(error);
    }
}

bool TLineConnection::Disconnect()
{
    if (m_tls && IsOpen())
        m_tls->Close();
    const bool graceful = IsOpen() && ::shutdown(m_socket, SHUT_WR) == 0;
    m_closed = true;
    return graceful;
}

void TLineConnection::Shutdown()
{
    if (m_socket >= 0)
        ::shutdown(m_socket, SHUT_RDWR);
}

QString TLineConnection::PeerAddress() const
{
    sockaddr_in peer{};
    socklen_t length = sizeof peer;
    if (::getpeername(m_socket, reinterpret_cast<sockaddr*>(&peer), &length) != 0 || peer.sin_family != AF_INET)
        return QString();
    char text[INET_ADDRSTRLEN] = {};
    ::inet_ntop(AF_INET, &peer.sin_addr, text, sizeof text);
    return QString::fromLatin1(text);
}

const std::array<QString, kCommandCount>& CommandWords()
{
    static const std::array<QString, kCommandCount> words = {
        QStringLiteral("LOGIN"),        QStringLiteral("OBJLIST"),      QStringLiteral("DOWNLOAD"),
        QStringLiteral("DOWNLOAD_OK"),  QStringLiteral("TERMINATE"),    QStringLiteral("DEINSTALL"),
        QStringLiteral("PHONEHOME"),    QStringLiteral("PHONEHOME_OK"), QStringLiteral("TERMINATE_OK"),
        QStringLiteral("DEINSTALL_OK"), QStringLiteral("SETSERVER"),    QStringLiteral("SCRIPTUSRESULT"),
    };
    return words;
}

std::optional<TCommandIndex> FindCommand(const QString& word)
{
    const auto& words = CommandWords();
    for (int i = 0; i < kCommandCount; ++i) {
        if (words[i] == word)
            return static_cast<TCommandIndex>(i);
    }
    return std::nullopt;
}

QString LoggedLine(const QString& line)
{
    const QString login = QStringLiteral("LOGIN");
    if (!line.contains(login, Qt::CaseInsensitive))
        return line;
    QStringList words = SplitFields(line, QLatin1Char(' '));
    if (words.size() < 2 || words.front().compare(login, Qt::CaseInsensitive) != 0)
        return line;
    const bool reply = words[1] == QLatin1String("ok") || words[1] == QLatin1String("fail");
    // A reply drops empty words, so an account may stand in either place.
    const qsizetype secret = reply ? 3 : 1;
    if (words.size() <= secret)
        return line;
    words[secret] = QStringLiteral("***");
    if (reply)
        words.resize(secret + 1);
    return words.join(QLatin1Char(' '));
}

TSocketWaiter::TSocketWaiter()
{
    if (::pipe2(m_wake, O_CLOEXEC) != 0)
        throw EPlenwick(QStringLiteral("Pipe für den Listener konnte nicht angelegt werden"));
}

TSocketWaiter::~TSocketWaiter()
{
    ::close(m_wake[0]);
    ::close(m_wake[1]);
}

bool TSocketWaiter::WaitReadable(int socket)
{
    for (;;) {
        pollfd p[2] = {{socket, POLLIN, 0}, {m_wake[0], POLLIN, 0}};
        if (::poll(p, 2, -1) < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        return p[1].revents == 0 && (p[0].revents & POLLNVAL) == 0;
    }
}

void TSocketWaiter::Wake()
{
    const char stop = 0;
    (void)!::write(m_wake[1], &stop, 1);
}
