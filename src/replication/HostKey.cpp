// SPDX-License-Identifier: GPL-3.0-or-later
#include "replication/HostKey.h"

#include <mutex>

#include <QFile>

#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/rand.h>
#include <openssl/x509.h>

#include "base/AtomicFile.h"
#include "platform/ProgramPaths.h"

namespace {

template <auto Free>
struct TFreeWith {
    template <class T>
    void operator()(T* p) const
    {
        Free(p);
    }
};
using TKey = std::unique_ptr<EVP_PKEY, TFreeWith<EVP_PKEY_free>>;
using TCertificate = std::unique_ptr<X509, TFreeWith<X509_free>>;
using TBio = std::unique_ptr<BIO, TFreeWith<BIO_free>>;

constexpr qsizetype kFingerprintDigits = 64;

QString OpenSslReason()
{
    const unsigned long code = ERR_get_error();
    ERR_clear_error();
    char text[256] = {};
    ERR_error_string_n(code, text, sizeof text);
    return QString::fromLatin1(text);
}

EHostKeyError KeyError(const QString& what)
{
    return EHostKeyError(QStringLiteral("%1: %2").arg(what, OpenSslReason()));
}

QByteArray BioBytes(BIO* bio)
{
    char* data = nullptr;
    const long size = BIO_get_mem_data(bio, &data);
    return QByteArray(data, static_cast<qsizetype>(size));
}

TBio ReadingBio(const QByteArray& bytes)
{
    return TBio(BIO_new_mem_buf(bytes.constData(), static_cast<int>(bytes.size())));
}

TKey MakeKey()
{
    TKey key(EVP_PKEY_Q_keygen(nullptr, nullptr, "ED25519"));
    if (!key)
        throw KeyError(QStringLiteral("Der Schlüssel dieses Computers konnte nicht erzeugt werden"));
    return key;
}

QByteArray KeyText(EVP_PKEY* key)
{
    TBio bio(BIO_new(BIO_s_mem()));
    if (!bio || PEM_write_bio_PrivateKey(bio.get(), key, nullptr, nullptr, 0, nullptr, nullptr) != 1)
        throw KeyError(QStringLiteral("Der Schlüssel dieses Computers konnte nicht geschrieben werden"));
    return BioBytes(bio.get());
}

QByteArray CertificateText(X509* certificate)
{
    TBio bio(BIO_new(BIO_s_mem()));
    if (!bio || PEM_write_bio_X509(bio.get(), certificate) != 1)
        throw KeyError(QStringLiteral("Das Zertifikat dieses Computers konnte nicht geschrieben werden"));
    return BioBytes(bio.get());
}

// Certificates are never checked for their dates: they run a century so that
// other programs looking at them do not complain either.
TCertificate IssueCertificate(EVP_PKEY* key)
{
    TCertificate certificate(X509_new());
    qint64 serial = 0;
    RAND_bytes(reinterpret_cast<unsigned char*>(&serial), sizeof serial);
    const QByteArray name = LocalComputerName().toUtf8();
    X509_NAME* subject = certificate ? X509_get_subject_name(certificate.get()) : nullptr;
    if (!certificate || X509_set_version(certificate.get(), X509_VERSION_3) != 1 ||
        ASN1_INTEGER_set_int64(X509_get_serialNumber(certificate.get()), serial & 0x7fffffffffffffff) != 1 ||
        X509_gmtime_adj(X509_getm_notBefore(certificate.get()), 0) == nullptr ||
        X509_time_adj_ex(X509_getm_notAfter(certificate.get()), 36500, 0, nullptr) == nullptr ||
        X509_set_pubkey(certificate.get(), key) != 1 ||
        X509_NAME_add_entry_by_txt(subject, "CN", MBSTRING_UTF8,
                                   reinterpret_cast<const unsigned char*>(name.constData()), -1, -1, 0) != 1 ||
        X509_set_issuer_name(certificate.get(), subject) != 1 || X509_sign(certificate.get(), key, nullptr) == 0)
        throw KeyError(QStringLiteral("Das Zertifikat dieses Computers konnte nicht ausgestellt werden"));
    return certificate;
}

TKey LoadKey(const QString& path)
{
    QByteArray text;
    if (!ReadWholeFile(path, text))
        throw EHostKeyError(QStringLiteral("Der Schlüssel \"%1\" kann nicht gelesen werden").arg(path));
    const TBio bio = ReadingBio(text);
    TKey key(PEM_read_bio_PrivateKey(bio.get(), nullptr, nullptr, nullptr));
    if (!key)
        throw KeyError(QStringLiteral("Der Schlüssel \"%1\" ist unbrauchbar").arg(path));
    return key;
}

// The certificate on disk when it belongs to the key, else none.
TCertificate LoadCertificate(const QString& path, EVP_PKEY* key)
{
    QByteArray text;
    if (!ReadWholeFile(path, text))
        return nullptr;
    const TBio bio = ReadingBio(text);
    TCertificate certificate(PEM_read_bio_X509(bio.get(), nullptr, nullptr, nullptr));
    ERR_clear_error();
    if (!certificate || EVP_PKEY_eq(X509_get0_pubkey(certificate.get()), key) != 1)
        return nullptr;
    return certificate;
}

std::shared_ptr<const THostIdentity> LoadOrMakeIdentity(const QString& keyPath, const QString& certificatePath)
{
    // Linked in whole or not at all: a service and a window starting together
    // both end up with the key the first of them made.
    if (!QFile::exists(keyPath))
        CreateFileOnce(keyPath, KeyText(MakeKey().get()), TFileAccess::GroupReadOnly);
    TKey key = LoadKey(keyPath);
    TCertificate certificate = LoadCertificate(certificatePath, key.get());
    if (!certificate) {
        certificate = IssueCertificate(key.get());
        WriteFileAtomically(certificatePath, CertificateText(certificate.get()), TFileAccess::GroupReadOnly);
    }
    return std::make_shared<const THostIdentity>(key.release(), certificate.release());
}

} // namespace

THostIdentity::THostIdentity(EVP_PKEY* key, X509* certificate)
    : m_key(key), m_certificate(certificate), m_fingerprint(KeyFingerprint(certificate))
{
}

THostIdentity::~THostIdentity()
{
    X509_free(m_certificate);
    EVP_PKEY_free(m_key);
}

std::shared_ptr<const THostIdentity> OwnIdentity()
{
    static std::mutex lock;
    static QString loadedFrom;
    static std::shared_ptr<const THostIdentity> identity;
    std::lock_guard guard(lock);
    // Keyed by the path: tests move the program folder between cases.
    const QString keyPath = ProgramFile(QStringLiteral(".key"));
    if (!identity || loadedFrom != keyPath) {
        identity = LoadOrMakeIdentity(keyPath, ProgramFile(QStringLiteral(".crt")));
        loadedFrom = keyPath;
    }
    return identity;
}

QString OwnFingerprintText()
{
    try {
        return OwnIdentity()->Fingerprint();
    } catch (const EHostKeyError& error) {
        return error.Message();
    }
}

QString KeyFingerprint(X509* certificate)
{
    unsigned char* der = nullptr;
    const int length = i2d_PUBKEY(X509_get0_pubkey(certificate), &der);
    if (length <= 0)
        return QString();
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int size = 0;
    EVP_Digest(der, static_cast<size_t>(length), digest, &size, EVP_sha256(), nullptr);
    OPENSSL_free(der);
    return NormalizedFingerprint(
        QString::fromLatin1(QByteArray(reinterpret_cast<const char*>(digest), static_cast<qsizetype>(size)).toHex()));
}

QString NormalizedFingerprint(const QString& text)
{
    QString digits;
    for (const QChar c : text) {
        const QChar lower = c.toLower();
        if ((lower >= QLatin1Char('0') && lower <= QLatin1Char('9')) ||
            (lower >= QLatin1Char('a') && lower <= QLatin1Char('f')))
            digits += lower;
        else if (c != QLatin1Char(':') && c != QLatin1Char(' ') && c != QLatin1Char('-'))
            return QString();
    }
    if (digits.size() != kFingerprintDigits)
        return QString();
    QString grouped;
    for (qsizetype i = 0; i < digits.size(); i += 4)
        grouped += (i > 0 ? QStringLiteral(":") : QString()) + digits.mid(i, 4);
    return grouped;
}
