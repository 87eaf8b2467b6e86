// SPDX-License-Identifier: GPL-3.0-or-later
#include "base/ContentDigest.h"

#include <openssl/evp.h>

#include <QFile>

namespace {

const QString kPrefix = QStringLiteral("sha256:");
constexpr qsizetype kHexLength = 64;
constexpr qsizetype kReadPiece = 256 * 1024;

} // namespace

struct TSha256::TState {
    EVP_MD_CTX* context = EVP_MD_CTX_new();
    ~TState() { EVP_MD_CTX_free(context); }
};

TSha256::TSha256() : m_state(std::make_unique<TState>())
{
    if (m_state->context == nullptr || EVP_DigestInit_ex(m_state->context, EVP_sha256(), nullptr) != 1)
        throw std::bad_alloc();
}

TSha256::~TSha256() = default;

void TSha256::Add(const char* data, qsizetype size)
{
    EVP_DigestUpdate(m_state->context, data, static_cast<size_t>(size));
}

QByteArray TSha256::Finish()
{
    QByteArray digest(EVP_MAX_MD_SIZE, '\0');
    unsigned int length = 0;
    EVP_DigestFinal_ex(m_state->context, reinterpret_cast<unsigned char*>(digest.data()), &length);
    digest.resize(length);
    EVP_DigestInit_ex(m_state->context, EVP_sha256(), nullptr);
    return digest;
}

QString TContentDigest::ToWord() const
{
    return kPrefix + QString::number(size) + QLatin1Char(':') + QString::fromLatin1(sha256.toHex());
}

std::optional<TContentDigest> TContentDigest::FromWord(const QString& word)
{
    if (!word.startsWith(kPrefix))
        return std::nullopt;
    const QStringList parts = word.mid(kPrefix.size()).split(QLatin1Char(':'));
    if (parts.size() != 2 || parts[1].size() != kHexLength)
        return std::nullopt;
    bool number = false;
    const qint64 size = parts[0].toLongLong(&number);
    if (!number || size < 0)
        return std::nullopt;
    for (const QChar c : parts[1])
        if (!c.isDigit() && (c < QLatin1Char('a') || c > QLatin1Char('f')))
            return std::nullopt;
    return TContentDigest{size, QByteArray::fromHex(parts[1].toLatin1())};
}

TContentDigest DigestOfFile(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw EDigestError(QStringLiteral("Die Datei \"%1\" kann nicht gelesen werden").arg(path));
    TSha256 hash;
    TContentDigest digest;
    QByteArray piece(kReadPiece, Qt::Uninitialized);
    for (;;) {
        const qint64 read = file.read(piece.data(), piece.size());
        if (read < 0)
            throw EDigestError(QStringLiteral("Die Datei \"%1\" kann nicht gelesen werden").arg(path));
        if (read == 0)
            break;
        hash.Add(piece.constData(), read);
        digest.size += read;
    }
    digest.sha256 = hash.Finish();
    return digest;
}
