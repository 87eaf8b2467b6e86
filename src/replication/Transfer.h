// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <optional>

#include <QString>
#include <QStringList>

#include "base/Exceptions.h"

class TClientBase;
class TSession;
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
};

/// Reads "DOWNLOAD <name> <count> [flags]": no result for fewer than three
/// words; a count that is no signed 32-bit number raises EConvertError.
/// Unknown flag words are ignored.
std::optional<TDownloadHeader> ParseDownloadHeader(const QString& line);

/// "Objektgröße vor der <step> ... Bytes, danach ... Bytes (...%)"; an empty
/// object shows 0 %.
QString SizeMessage(const QString& step, qint64 before, qint64 after);

/// Server handlers of DOWNLOAD and DOWNLOAD_OK.
void HandleDownload(TSession& session, const QStringList& words);
void HandleDownloadOk(TSession& session, const QStringList& words);

/// Fetches the object over the client's connection and writes its bytes,
/// decompressed and decoded while they arrive, to destination. Gives the
/// object's size, 0 for a negative answer (no file is left then), -1 when
/// nothing usable came; a partial file is removed.
qint32 FetchFromServer(TClientBase& client, const TSyncObject& object, const QString& destination);
/// Ends the collection of provider answers, then tries every provider of the
/// object in turn, each in a conversation of its own on the calling thread;
/// the result as FetchFromServer, -1 when no provider delivered.
qint32 FetchFromProviders(TSyncObject& object, const QString& destination);
/// Sends DOWNLOAD_OK for the object; no reply comes.
void Confirm(TClientBase& client, const TSyncObject& object);

/// The largest object sent or received (the counts are signed 32-bit);
/// tests lower it to try the limit without writing gigabytes.
void SetMaxObjectSize(qint64 bytes);
