// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <memory>

#include <QString>

#include "replication/SocketErrors.h"

using SSL = struct ssl_st;
using SSL_CTX = struct ssl_ctx_st;

enum class TTlsRole {
    Client,
    Server
};

/// What a TLS call on a non-blocking socket waits for before it can go on.
enum class TTlsWait {
    None,
    Readable,
    Writable
};

/// TLS 1.3 on a connected non-blocking socket the caller owns and polls. Both
/// sides present their own certificate; any certificate is taken, since who
/// may do what is decided by its fingerprint, not by a signature chain.
class TTlsChannel
{
public:
    /// Raises ETlsError when no session could be set up (no identity).
    TTlsChannel(int socket, TTlsRole role);
    ~TTlsChannel();
    TTlsChannel(const TTlsChannel&) = delete;
    TTlsChannel& operator=(const TTlsChannel&) = delete;

    /// One step of the handshake: None once it is done. Raises ETlsError.
    TTlsWait Handshake();
    /// Up to size bytes: their count, 0 when the peer closed, or -1 with
    /// wait set. Raises ETlsError.
    qsizetype Receive(char* data, qsizetype size, TTlsWait& wait);
    /// Sends up to size bytes: their count, or -1 with wait set. Raises ETlsError.
    qsizetype Send(const char* data, qsizetype size, TTlsWait& wait);
    /// The kernel encrypts what is sent (kernel TLS, where the system has
    /// it): a file can then go to the socket without passing through here.
    bool KernelSends() const;
    /// Sends up to size bytes of the file from offset through the kernel's
    /// TLS: their count, 0 at the file's end, or -1 with wait set. Only
    /// when KernelSends. Raises ETlsError.
    qsizetype SendFile(int fd, qint64 offset, qsizetype size, TTlsWait& wait);
    /// Decrypted bytes wait inside, which no poll of the socket shows.
    bool Pending() const;
    /// Tells the peer that nothing more comes (best effort, never waits).
    void Close();
    /// The fingerprint of the key the peer presented.
    QString PeerFingerprint() const;

private:
    // The wait for an OpenSSL result, or raises for a failure.
    TTlsWait WaitOf(int result, const QString& what);

    std::shared_ptr<SSL_CTX> m_context;
    SSL* m_ssl = nullptr;
};
