// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <array>
#include <memory>
#include <optional>

#include <QByteArray>
#include <QDeadlineTimer>
#include <QString>

#include "base/Exceptions.h"
#include "replication/SocketErrors.h"

class TTlsChannel;
enum class TTlsRole;
enum class TTlsWait;

/// A peer sent a line longer than kMaxLineLength bytes.
class ELineTooLong : public EPlenwick
{
public:
    using EPlenwick::EPlenwick;
};

/// Longest request or reply line accepted, terminator not counted. Longer lines
/// close the connection, so a peer cannot make us buffer without limit.
inline constexpr qsizetype kMaxLineLength = qsizetype{64} * 1024;

/// One TCP connection speaking the line protocol: lines are sent as text plus
/// CR LF; on reading, LF ends a line and a CR before it is dropped. Blocking
/// calls with a read time-out; owns the socket. Plain until StartTls, then
/// every byte inside TLS. Not shared between threads, except Shutdown(),
/// which any thread may call to break a blocked read.
class TLineConnection
{
public:
    explicit TLineConnection(int socket);
    ~TLineConnection();
    TLineConnection(const TLineConnection&) = delete;
    TLineConnection& operator=(const TLineConnection&) = delete;

    /// Connects over IPv4 to a host name or dotted address; the system's connect
    /// time-out applies. Raises ESocketError.
    static std::unique_ptr<TLineConnection> Connect(const QString& host, int port);

    /// Runs the TLS handshake as the role within the time-out; from then on
    /// every line and byte travels encrypted. Raises ETlsError.
    void StartTls(TTlsRole role, int timeoutMs);
    /// The accepting side: whether the peer's first byte, awaited within the
    /// time-out, opens a TLS handshake. Nothing is read.
    bool OffersTls(int timeoutMs);
    bool Encrypted() const { return m_tls != nullptr; }
    /// The fingerprint of the key the peer presented; empty for a plain connection.
    QString PeerKey() const;

    void SetReadTimeout(int milliseconds) { m_readTimeoutMs = milliseconds; }
    int ReadTimeout() const { return m_readTimeoutMs; }

    /// One line without its terminator. Running into the read time-out gives an
    /// empty line; a closed or broken connection raises ESocketError (its kind
    /// EConnectionEnded when the peer closed with no part of a line sent), an
    /// overlong line ELineTooLong.
    QString ReadLine();
    /// Exactly count bytes within the read time-out per wait; raises ESocketError
    /// when the connection ends first or the time-out passes.
    QByteArray ReadBytes(qsizetype count);
    /// Up to count bytes, as many as have come: waits at most the read time-out
    /// for the first, and never past the deadline of the whole transfer.
    /// Raises ESocketError on either, or when the connection ends.
    QByteArray ReadSome(qsizetype count, const QDeadlineTimer& deadline);
    /// Waits until a byte can be read or the connection ended; false on time-out.
    bool WaitReadable(int timeoutMs);

    void WriteLine(const QString& line);
    void WriteBytes(const QByteArray& bytes);
    /// Sends count bytes of the open file from offset: from file to socket
    /// without passing through this process (sendfile) on a plain
    /// connection or with kernel TLS, otherwise through TLS in large pieces. False when the file ends early; raises
    /// ESocketError when the connection breaks or the deadline passes.
    bool SendFile(int fd, qint64 offset, qint64 count, const QDeadlineTimer& deadline);

    /// Orderly close of our side. False when the connection was already broken.
    bool Disconnect();
    /// Breaks the connection for both directions; safe from another thread.
    void Shutdown();
    bool IsOpen() const { return m_socket >= 0 && !m_closed; }
    void MarkClosed() { m_closed = true; }

    /// Dotted IPv4 address of the peer, as the socket reports it.
    QString PeerAddress() const;

private:
    /// Waits for the poll events; false on time-out.
    bool PollSocket(int timeoutMs, short events);
    /// recv or a TLS read; wait tells what a TLS read needs before it can go on.
    qsizetype Receive(char* data, qsizetype size, TTlsWait& wait);
    qsizetype Send(const char* data, qsizetype size, TTlsWait& wait);
    /// lineReader: the caller waits for a line, so an orderly close with
    /// nothing buffered is the conversation's end (EConnectionEnded).
    bool FillBuffer(int timeoutMs, bool lineReader = false);
    // One step of a file to the socket, the connection non-blocking: bytes
    // sent, 0 at the file's end, or -1 with the poll events to wait for.
    qint64 SendFileStep(int fd, qint64& offset, qint64 size, short& events);

    int m_socket;
    int m_readTimeoutMs = 10000;
    bool m_closed = false;
    QByteArray m_buffer;
    std::unique_ptr<TTlsChannel> m_tls;
};

/// The request words of the command table, by index.
enum class TCommandIndex : int {
    Login = 0,
    ObjList = 1,
    Download = 2,
    DownloadOk = 3,
    Terminate = 4,
    Deinstall = 5,
    PhoneHome = 6,
    PhoneHomeOk = 7,
    TerminateOk = 8,
    DeinstallOk = 9,
    SetServer = 10,
    ScriptusResult = 11,
};
inline constexpr int kCommandCount = 12;

/// The command words in table order.
const std::array<QString, kCommandCount>& CommandWords();

/// Exact, case-sensitive lookup of a request's first word.
std::optional<TCommandIndex> FindCommand(const QString& word);

/// A request or reply line as the protocol shows it: the credentials of a
/// LOGIN request, and the account words of a LOGIN reply (where older servers
/// sent the administrator's password), become "***". Other lines stay as they are.
QString LoggedLine(const QString& line);

/// Waits until a listening socket is readable or another thread asks the
/// waiter to stop; the two listener threads block in it.
class TSocketWaiter
{
public:
    TSocketWaiter();
    ~TSocketWaiter();
    TSocketWaiter(const TSocketWaiter&) = delete;
    TSocketWaiter& operator=(const TSocketWaiter&) = delete;

    /// True when the socket has something to read; false once Wake was called
    /// or the socket is no longer valid.
    bool WaitReadable(int socket);
    /// Ends every present and future WaitReadable; callable from any thread.
    void Wake();

private:
    int m_wake[2] = {-1, -1};
};
