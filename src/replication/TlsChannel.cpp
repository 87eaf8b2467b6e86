// SPDX-License-Identifier: GPL-3.0-or-later
#include "replication/TlsChannel.h"

#include <mutex>

#include <openssl/err.h>
#include <openssl/ssl.h>

#include "replication/HostKey.h"
#include "replication/SigPipeBlocked.h"

namespace {

QString TlsReason()
{
    const unsigned long code = ERR_get_error();
    ERR_clear_error();
    if (code == 0)
        return QStringLiteral("Verbindung unterbrochen");
    char text[256] = {};
    ERR_error_string_n(code, text, sizeof text);
    return QString::fromLatin1(text);
}

// The identity is judged by its fingerprint after the handshake; a peer
// without any certificate fails it.
int AcceptAnyCertificate(int, X509_STORE_CTX*)
{
    return 1;
}

std::shared_ptr<SSL_CTX> MakeContext(const THostIdentity& identity)
{
    std::shared_ptr<SSL_CTX> context(SSL_CTX_new(TLS_method()), SSL_CTX_free);
    if (!context)
        throw ETlsError(QStringLiteral("TLS kann nicht eingerichtet werden: %1").arg(TlsReason()));
    SSL_CTX* c = context.get();
    SSL_CTX_set_min_proto_version(c, TLS1_3_VERSION);
    SSL_CTX_set_verify(c, SSL_VERIFY_PEER | SSL_VERIFY_FAIL_IF_NO_PEER_CERT, AcceptAnyCertificate);
    // Every session is a new handshake: tickets would only be bytes that a
    // client must read before its first reply.
    SSL_CTX_set_num_tickets(c, 0);
    SSL_CTX_set_session_cache_mode(c, SSL_SESS_CACHE_OFF);
    // A peer that closes without close_notify has still ended the session; the
    // protocol's lengths and digests tell a cut transfer.
    SSL_CTX_set_options(c, SSL_OP_IGNORE_UNEXPECTED_EOF | SSL_OP_ENABLE_KTLS);
    SSL_CTX_set_mode(c, SSL_MODE_ENABLE_PARTIAL_WRITE | SSL_MODE_ACCEPT_MOVING_WRITE_BUFFER);
    if (SSL_CTX_use_certificate(c, identity.Certificate()) != 1 || SSL_CTX_use_PrivateKey(c, identity.Key()) != 1)
        throw ETlsError(QStringLiteral("TLS kann nicht eingerichtet werden: %1").arg(TlsReason()));
    return context;
}

// One context per identity, shared by all sessions.
std::shared_ptr<SSL_CTX> ContextOf(const std::shared_ptr<const THostIdentity>& identity)
{
    static std::mutex lock;
    static std::shared_ptr<const THostIdentity> madeFor;
    static std::shared_ptr<SSL_CTX> context;
    std::lock_guard guard(lock);
    if (madeFor != identity) {
        context = MakeContext(*identity);
        madeFor = identity;
    }
    return context;
}

} // namespace

TTlsChannel::TTlsChannel(int socket, TTlsRole role)
{
    try {
        m_context = ContextOf(OwnIdentity());
    } catch (const EHostKeyError& error) {
        throw ETlsError(QStringLiteral("TLS kann nicht eingerichtet werden: %1").arg(error.Message()));
    }
    m_ssl = SSL_new(m_context.get());
    if (m_ssl == nullptr || SSL_set_fd(m_ssl, socket) != 1)
        throw ETlsError(QStringLiteral("TLS kann nicht eingerichtet werden: %1").arg(TlsReason()));
    if (role == TTlsRole::Client)
        SSL_set_connect_state(m_ssl);
    else
        SSL_set_accept_state(m_ssl);
}

TTlsChannel::~TTlsChannel()
{
    SSL_free(m_ssl);
}

TTlsWait TTlsChannel::WaitOf(int result, const QString& what)
{
    switch (SSL_get_error(m_ssl, result)) {
    case SSL_ERROR_WANT_READ:
        return TTlsWait::Readable;
    case SSL_ERROR_WANT_WRITE:
        return TTlsWait::Writable;
    default:
        throw ETlsError(QStringLiteral("%1: %2").arg(what, TlsReason()));
    }
}

TTlsWait TTlsChannel::Handshake()
{
    const TSigPipeBlocked quiet;
    const int result = SSL_do_handshake(m_ssl);
    return result == 1 ? TTlsWait::None : WaitOf(result, QStringLiteral("TLS-Handshake gescheitert"));
}

qsizetype TTlsChannel::Receive(char* data, qsizetype size, TTlsWait& wait)
{
    const TSigPipeBlocked quiet; // a read may answer a key update
    size_t count = 0;
    const int result = SSL_read_ex(m_ssl, data, static_cast<size_t>(size), &count);
    wait = TTlsWait::None;
    if (result == 1)
        return static_cast<qsizetype>(count);
    if (SSL_get_error(m_ssl, result) == SSL_ERROR_ZERO_RETURN)
        return 0;
    wait = WaitOf(result, QStringLiteral("TLS-Empfang gescheitert"));
    return -1;
}

qsizetype TTlsChannel::Send(const char* data, qsizetype size, TTlsWait& wait)
{
    const TSigPipeBlocked quiet;
    size_t count = 0;
    const int result = SSL_write_ex(m_ssl, data, static_cast<size_t>(size), &count);
    wait = TTlsWait::None;
    if (result == 1)
        return static_cast<qsizetype>(count);
    wait = WaitOf(result, QStringLiteral("TLS-Senden gescheitert"));
    return -1;
}

bool TTlsChannel::KernelSends() const
{
    return BIO_get_ktls_send(SSL_get_wbio(m_ssl)) != 0;
}

qsizetype TTlsChannel::SendFile(int fd, qint64 offset, qsizetype size, TTlsWait& wait)
{
    const TSigPipeBlocked quiet;
    const ossl_ssize_t sent = SSL_sendfile(m_ssl, fd, static_cast<off_t>(offset), static_cast<size_t>(size), 0);
    wait = TTlsWait::None;
    if (sent >= 0)
        return static_cast<qsizetype>(sent);
    wait = WaitOf(-1, QStringLiteral("TLS-Senden gescheitert"));
    return -1;
}

bool TTlsChannel::Pending() const
{
    return SSL_pending(m_ssl) > 0;
}

void TTlsChannel::Close()
{
    const TSigPipeBlocked quiet;
    if (SSL_is_init_finished(m_ssl))
        SSL_shutdown(m_ssl);
    ERR_clear_error();
}

QString TTlsChannel::PeerFingerprint() const
{
    X509* certificate = SSL_get0_peer_certificate(m_ssl);
    return certificate != nullptr ? KeyFingerprint(certificate) : QString();
}
