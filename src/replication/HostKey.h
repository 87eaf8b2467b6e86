// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <memory>

#include <QString>

#include "base/Exceptions.h"

using EVP_PKEY = struct evp_pkey_st;
using X509 = struct x509_st;

/// The computer's key files could not be made or read.
class EHostKeyError : public EPlenwick
{
public:
    using EPlenwick::EPlenwick;
};

/// This computer's identity on the network: its key pair and the self-signed
/// certificate every session presents.
class THostIdentity
{
public:
    THostIdentity(EVP_PKEY* key, X509* certificate);
    ~THostIdentity();
    THostIdentity(const THostIdentity&) = delete;
    THostIdentity& operator=(const THostIdentity&) = delete;

    EVP_PKEY* Key() const { return m_key; }
    X509* Certificate() const { return m_certificate; }
    /// The fingerprint of the public key, as KeyFingerprint gives it.
    const QString& Fingerprint() const { return m_fingerprint; }

private:
    EVP_PKEY* m_key;
    X509* m_certificate;
    QString m_fingerprint;
};

/// The identity kept beside the options (plenwick.key, plenwick.crt, 0640).
/// The key is made once, at the first call on a computer without one, and
/// never again while its file exists; a missing or foreign certificate is
/// issued anew for the key. Raises EHostKeyError.
std::shared_ptr<const THostIdentity> OwnIdentity();

/// The own fingerprint for a person to read, or why there is none.
QString OwnFingerprintText();

/// SHA-256 of the certificate's public key (its SubjectPublicKeyInfo), as 64
/// lower-case hex digits in groups of four joined by ':'. Dates and names of
/// the certificate do not enter it, so a certificate issued anew for the same
/// key keeps the fingerprint.
QString KeyFingerprint(X509* certificate);

/// A fingerprint in any spelling (upper case, with or without separators) in
/// the form KeyFingerprint gives; empty for a text that is none.
QString NormalizedFingerprint(const QString& text);
