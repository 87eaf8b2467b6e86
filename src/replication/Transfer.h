// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <optional>

#include <QString>
#include <QStringList>

#include "base/ContentDigest.h"
#include "base/Exceptions.h"
#include "replication/TransferPacing.h"

class TClientBase;
class TSession;
class TStagingFile;
class TSyncObject;

/// Received object data that cannot be undone or stored.
class ETransferError : public EPlenwick
{
public:
    using EPlenwick::EPlenwick;
};

/// The header line of a DOWNLOAD answer as the receiving side reads it.
struct TDownloadHeader {
    qint32 count = 0;
    bool compressed = false;
    bool encoded = false;
    /// Size and SHA-256 of the plain bytes, from a sender that gives them.
    std::optional<TContentDigest> digest;
    /// "later <copies>": the sender asks to come back shortly.
    std::optional<TComeBackLater> later;
};

/// Reads "DOWNLOAD <name> <count> [flags] [digest]": no result for fewer
/// than three words; a count that is no signed 32-bit number raises
/// EConvertError. Unknown words are ignored.
std::optional<TDownloadHeader> ParseDownloadHeader(const QString& line);

/// "Objektgröße vor der <step> ... Bytes, danach ... Bytes (...%)"; an empty
/// object shows 0 %.
QString SizeMessage(const QString& step, qint64 before, qint64 after);

/// Server handlers of DOWNLOAD and DOWNLOAD_OK. A DOWNLOAD may name the
/// version wanted as its third word: a computer holding another answers with
/// the negative answer and the word "stale". A fourth word "digest" asks for
/// the header alone, with a count of 0 and the digest word; a fourth word
/// "wait" says the asker may come back later, which a computer busy with
/// that object answers by "DOWNLOAD <name> 0 later <copies>". An older
/// computer ignores these words and sends the object.
void HandleDownload(TSession& session, const QStringList& words);
void HandleDownloadOk(TSession& session, const QStringList& words);

/// Whether the finished staging file is what the digest says; if not, the
/// file is removed and the mismatch logged with the object and the source.
bool AcceptStaged(TStagingFile& staging, const TContentDigest& digest, const QString& name, const QString& source);

/// What a DOWNLOAD asks for: the object, the object unless the sender is
/// busy with it, or the master's digest of it alone.
enum class TDownloadAsk {
    Object,
    ObjectOrLater,
    DigestOnly
};

/// Fetches the object over the client's connection into the staging file,
/// decompressed and decoded while the bytes arrive, never past the expected
/// size, within a deadline for the whole transfer. Gives the object's size,
/// 0 for a negative answer or a header alone, -1 when nothing usable came; no
/// file is left for either. From the master server, digest takes the
/// header's digest word.
qint32 FetchFromServer(TClientBase& client, const TSyncObject& object, TStagingFile& staging,
                       std::optional<TContentDigest>& digest, TDownloadAsk ask = TDownloadAsk::Object);

/// What an ask that may wait brings: the count as FetchFromServer gives it,
/// unless the sender asked to come back later.
struct TFetchOrLater {
    qint32 count = -1;
    std::optional<TComeBackLater> later;
};
TFetchOrLater FetchUnlessBusy(TClientBase& client, const TSyncObject& object, TStagingFile& staging,
                              std::optional<TContentDigest>& digest);

/// What the providers of an object did: one delivered, some are busy
/// sending it to others (they asked to come back, or said so in their
/// answer), or none could help.
enum class TProviderOutcome {
    Delivered,
    Busy,
    None
};
/// Ends the collection of provider answers, then tries every provider of the
/// object in turn, each in a conversation of its own on the calling thread,
/// until one delivers bytes that match the digest.
TProviderOutcome FetchFromProviders(TSyncObject& object, TStagingFile& staging, const TContentDigest& digest);
/// Sends DOWNLOAD_OK for the object; no reply comes.
void Confirm(TClientBase& client, const TSyncObject& object);

/// The largest object sent or received (the counts are signed 32-bit);
/// tests lower it to try the limit without writing gigabytes.
void SetMaxObjectSize(qint64 bytes);
