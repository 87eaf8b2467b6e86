// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <memory>
#include <optional>

#include <QByteArray>
#include <QString>

#include "base/Exceptions.h"

/// A file that should be hashed could not be read.
class EDigestError : public EPlenwick
{
public:
    using EPlenwick::EPlenwick;
};

/// SHA-256 over bytes that arrive in pieces (OpenSSL's EVP: several times
/// faster than Qt's own hash here, which counts for gigabyte objects).
class TSha256
{
public:
    TSha256();
    ~TSha256();
    TSha256(const TSha256&) = delete;
    TSha256& operator=(const TSha256&) = delete;

    void Add(const char* data, qsizetype size);
    /// The 32-byte digest; the hash starts anew afterwards.
    QByteArray Finish();

private:
    struct TState;
    std::unique_ptr<TState> m_state;
};

/// What the master server vouches for: the exact size and SHA-256 of the
/// bytes an object version stands for.
struct TContentDigest {
    qint64 size = 0;
    QByteArray sha256; // 32 bytes

    bool operator==(const TContentDigest&) const = default;

    /// "sha256:<size>:<64 hex digits>", one word of a reply line.
    QString ToWord() const;
    /// Reads such a word; no result for anything else.
    static std::optional<TContentDigest> FromWord(const QString& word);
};

/// Hashes a whole file; raises EDigestError when it cannot be read.
TContentDigest DigestOfFile(const QString& path);
