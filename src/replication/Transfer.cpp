// SPDX-License-Identifier: GPL-3.0-or-later
#include "replication/Transfer.h"

#include <algorithm>
#include <atomic>
#include <limits>
#include <memory>
#include <optional>
#include <variant>

#include <QBuffer>
#include <QFile>
#include <QLocale>

#include "base/Base64.h"
#include "base/TextFields.h"
#include "base/ZlibStream.h"
#include "catalogue/SyncClient.h"
#include "catalogue/SyncDownload.h"
#include "catalogue/SyncObject.h"
#include "foundation/MainConfig.h"
#include "foundation/PoolInterlocked.h"
#include "foundation/ServiceMode.h"
#include "platform/EventLog.h"
#include "replication/Broadcast.h"
#include "replication/ClientBase.h"
#include "replication/Conversation.h"
#include "replication/Session.h"
#include "replication/StagingFile.h"
#include "replication/TransferCache.h"

namespace {

constexpr qsizetype kChunk = 8192;
// Several chunks per send or receive: fewer system calls, the same bytes on the wire.
constexpr qint64 kWriteBuffer = 8 * kChunk;

std::atomic<qint64> g_maxObjectSize{std::numeric_limits<qint32>::max()};

const QString kDownload = QStringLiteral("DOWNLOAD");

// The object whose command file the name is. A companion served before has
// its own name as its command file: it owns nothing.
TSyncObject* FindByScriptusFile(const QString& name)
{
    TReadGuard guard(ObjectLock());
    for (TSyncObject* object = FirstObject(); object != nullptr; object = object->Next())
        if (!object->ScriptusCompanion() && object->ScriptusFile().compare(name, Qt::CaseInsensitive) == 0)
            return object;
    return nullptr;
}

// The object a DOWNLOAD or DIGEST names: one of the list, or the companion
// made for this request of the object whose command file it is; with the
// object whose rights decide (a command file, generated here or received as
// a companion, has the rights of the object it belongs to).
struct TServed {
    TSyncObject* object = nullptr;
    std::unique_ptr<TSyncObject> companion;
    const TSyncObject* rights = nullptr;
};

TServed FindServed(const QString& name)
{
    TServed served;
    served.object = FindBySourcePath(name);
    const bool ownsItself = served.object != nullptr && !served.object->ScriptusCompanion();
    const TSyncObject* owner = ownsItself ? nullptr : FindByScriptusFile(name);
    served.rights = ownsItself ? served.object : owner;
    if (served.object == nullptr && owner != nullptr) {
        served.companion = owner->GenerateScriptusCompanion();
        served.object = served.companion.get();
    }
    return served;
}

// The master hands an object only to the computers that its client-group
// rights admit, as its object list does. Any other computer knows no client
// groups: it hands out only objects that every computer may have. rights is
// the object whose rights decide, nullptr when none could be found.
bool MayServe(TSession& session, const QString& name, const TSyncObject* rights)
{
    if (rights != nullptr && IsMasterServer()) {
        // Only a login the master accepted, under a key it knows for that
        // computer, names whom the rights are checked for.
        if (session.LocalComputerName().isEmpty()) {
            session.Log(QStringLiteral("Objekt \"%1\" wird nur nach einer Anmeldung übertragen").arg(name));
            return false;
        }
        const TSyncClient* client = FindClientByName(session.PeerName());
        if (client == nullptr) {
            session.Log(QStringLiteral("Der anfragende Client konnte nicht ermittelt werden"));
            return false;
        }
        return rights->ClientEntitled(client->GroupPath());
    }
    if (rights != nullptr && !rights->RightsHolder().UseClientGroupRights())
        return true;
    session.Log(
        QStringLiteral("Objekt \"%1\" darf nicht übertragen werden, da Client-Gruppe nicht berechtigt").arg(name));
    return false;
}

// Only a confirmation of what this master offers the computer, in the form it
// offers now, is recorded: a record stops the offer to that computer, and
// every record is a line in a file that must not grow at a peer's will.
bool ConfirmationAcceptable(const TSession& session, const QString& name, quint64 id)
{
    // A record without a computer name could not be read back.
    if (!IsMasterServer() || session.LocalComputerName().isEmpty())
        return false;
    const TSyncObject* object = FindBySourcePath(name);
    if (object == nullptr || object->ScriptusCompanion() || (!object->IsCurrent() && !object->DeleteTarget()) ||
        object->ComputeId() != id)
        return false;
    const TSyncClient* client = FindClientByName(session.PeerName());
    return client != nullptr && object->ClientEntitled(client->GroupPath());
}

// No progress for the socket time-out ends a transfer, and so does a whole
// transfer slower than the floor rate: a peer trickling bytes, or reading
// them, cannot hold a thread for longer than the size warrants.
QDeadlineTimer TransferDeadline(qint64 count)
{
    constexpr qint64 kFloorBytesPerSecond = 64 * 1024;
    const qint64 timeout = MainConfig().GetInteger(QStringLiteral("MiscSocketTimeout")) * qint64{2};
    return QDeadlineTimer(timeout + count * 1000 / kFloorBytesPerSecond);
}

// A form held in memory (the cache could not take it), in pieces, within the deadline.
bool SendMemory(TLineConnection& connection, const QByteArray& data, const QDeadlineTimer& deadline)
{
    for (qsizetype at = 0; at < data.size(); at += kWriteBuffer) {
        if (deadline.hasExpired())
            throw ESocketError(QStringLiteral("Zeitüberschreitung beim Senden"));
        connection.WriteBytes(QByteArray::fromRawData(data.constData() + at, std::min(kWriteBuffer, data.size() - at)));
    }
    return true;
}

// Sends the header and exactly the form's bytes; true when every byte went
// out. A file that ends early would leave the peer waiting for bytes that
// never come and every later line out of step, so the connection is closed
// instead, as it is for a reader slower than the deadline allows.
bool SendForm(TSession& session, const QString& header, const TPreparedForm& form)
{
    QFile file(form.path);
    if (!form.data && !file.open(QIODevice::ReadOnly))
        throw ECacheError(QStringLiteral("Die Datei \"%1\" kann nicht gelesen werden").arg(form.path));
    session.Reply(header);
    const QDeadlineTimer deadline = TransferDeadline(form.size);
    TLineConnection& connection = session.Connection();
    try {
        const bool whole = form.data ? SendMemory(connection, *form.data, deadline)
                                     : connection.SendFile(file.handle(), 0, form.size, deadline);
        if (!whole) {
            session.CloseConnection();
            return false;
        }
        session.Log(QStringLiteral("Objektübertragung erfolgreich beendet"));
        return true;
    } catch (const std::exception&) {
        // A broken send is the peer's loss: it sees a short stream and gives up.
        if (deadline.hasExpired()) {
            session.Log(QStringLiteral("Objektübertragung abgebrochen, der Empfänger liest zu langsam"));
            session.CloseConnection();
        }
        return false;
    }
}

// The form to send and the digest of its plain bytes, from one read.
std::optional<TPreparedForm> PrepareForm(TSession& session, quint64 id, const QString& path, TTransform transform)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly) || file.size() > g_maxObjectSize.load())
        return std::nullopt;
    file.close();
    try {
        const TPreparedForm form = PrepareTransferForm(id, path, transform);
        if (form.size > g_maxObjectSize.load())
            return std::nullopt;
        return form;
    } catch (const std::exception& error) {
        session.Log(QStringLiteral("Beim Vorbereiten der Übertragung ") + ExceptionSuffix(error));
        return std::nullopt;
    }
}

void ServeObject(TSession& session, const QString& requested, TSyncObject& object, const QString& path, TSendSlot* slot)
{
    const bool digestOnly = slot == nullptr;
    const QString negative = kDownload + QLatin1Char(' ') + requested + QStringLiteral(" 0");
    const TTransform transform = TransformFor(path);
    const std::optional<TPreparedForm> form = PrepareForm(session, object.ComputeId(), path, transform);
    if (!form) {
        session.Log(QStringLiteral("Objektübertragung fehlgeschlagen, sende Negativantwort"));
        session.Reply(negative);
        return;
    }
    if (digestOnly) {
        session.Reply(negative + QLatin1Char(' ') + form->digest.ToWord());
        return;
    }
    if (!transform.compress && MainConfig().GetBoolean(QStringLiteral("ServerCompressData")))
        session.Log(QStringLiteral("Objekt lässt sich nicht verkleinern und wird unkomprimiert übertragen"));
    qint64 before = form->digest.size;
    if (transform.encode) {
        const qint64 encoded = (before + 2) / 3 * 4;
        session.Log(SizeMessage(QStringLiteral("Verschlüsselung"), before, encoded));
        before = encoded;
    }
    if (transform.compress)
        session.Log(SizeMessage(QStringLiteral("Kompression"), before, form->size));
    // The digest word comes after the flags, where older clients ignore it.
    QString header = kDownload + QLatin1Char(' ') + requested + QLatin1Char(' ') + QString::number(form->size);
    if (transform.compress)
        header += QStringLiteral(" compressed");
    if (transform.encode)
        header += QStringLiteral(" encoded");
    header += QLatin1Char(' ') + form->digest.ToWord();
    try {
        if (SendForm(session, header, *form))
            slot->Sent();
    } catch (const ECacheError&) {
        // The entry vanished between preparing and opening: nothing was sent yet.
        session.Log(QStringLiteral("Objektübertragung fehlgeschlagen, sende Negativantwort"));
        session.Reply(negative);
    }
}

// The sender broke the transfer's bounds or its data cannot be undone; the
// announced bytes are still read, so the connection stays in step.
class EStreamError : public ETransferError
{
public:
    using ETransferError::ETransferError;
};

// Undoes the transformations while the bytes arrive and writes the result,
// never more than the expected size.
class TReceiver
{
public:
    TReceiver(TStagingFile& staging, const TDownloadHeader& header, qint64 limit)
        : m_staging(staging), m_compressed(header.compressed), m_encoded(header.encoded), m_limit(limit)
    {
    }

    void Feed(const QByteArray& data)
    {
        if (!m_compressed) {
            Decode(data.constData(), data.size());
            return;
        }
        const bool sound = m_inflater.Feed(data.constData(), data.size(), [this](const char* piece, qsizetype size) {
            m_inflated += size;
            Decode(piece, size);
            return true;
        });
        if (!sound)
            throw EStreamError(QStringLiteral("Die empfangenen Daten lassen sich nicht entpacken"));
    }

    void Finish()
    {
        if (m_compressed && !m_inflater.Finished())
            throw EStreamError(QStringLiteral("Die empfangenen Daten lassen sich nicht entpacken"));
        if (m_encoded && !m_carry.isEmpty())
            throw EStreamError(QStringLiteral("Die empfangenen Daten lassen sich nicht entschlüsseln"));
        m_staging.Finish();
    }

    qint64 Inflated() const { return m_inflated; }
    qint64 Written() const { return m_staging.Size(); }

private:
    void Decode(const char* data, qsizetype size)
    {
        if (!m_encoded) {
            Write(data, size);
            return;
        }
        m_carry.append(data, size);
        const qsizetype whole = m_carry.size() - m_carry.size() % 4;
        if (whole == 0)
            return;
        // Padding may only close the whole text, never a piece in its middle.
        if (m_padded)
            throw EStreamError(QStringLiteral("Die empfangenen Daten lassen sich nicht entschlüsseln"));
        const std::optional<QByteArray> decoded = Base64Decode(m_carry.left(whole));
        if (!decoded)
            throw EStreamError(QStringLiteral("Die empfangenen Daten lassen sich nicht entschlüsseln"));
        m_padded = m_carry.at(whole - 1) == '=';
        m_carry.remove(0, whole);
        Write(decoded->constData(), decoded->size());
    }

    void Write(const char* data, qsizetype size)
    {
        if (m_staging.Size() + size > m_limit)
            throw EStreamError(QStringLiteral("Das empfangene Objekt ist größer als angekündigt"));
        m_staging.Write(data, size);
    }

    TStagingFile& m_staging;
    bool m_compressed;
    bool m_encoded;
    qint64 m_limit;
    bool m_padded = false;
    TZlibInflater m_inflater;
    QByteArray m_carry;
    qint64 m_inflated = 0;
};

// The most a sender may announce for an object of this size: zlib and Base64
// add at most a third and a little.
qint64 LargestStream(qint64 size)
{
    return size * 2 + 64 * 1024;
}

// Reads the announced bytes into the staging file. The stream is read to its
// end also when what it holds is refused.
void ReceiveStream(TClientBase& client, const TDownloadHeader& header, TReceiver& receiver)
{
    const QDeadlineTimer deadline = TransferDeadline(header.count);
    qint64 rest = header.count;
    const auto next = [&] { return client.Connection().ReadSome(std::min(rest, kWriteBuffer), deadline); };
    try {
        while (rest > 0) {
            const QByteArray chunk = next();
            rest -= chunk.size();
            receiver.Feed(chunk);
        }
        receiver.Finish();
    } catch (const EStreamError&) {
        while (rest > 0)
            rest -= next().size();
        throw;
    }
}

} // namespace

std::optional<TDownloadHeader> ParseDownloadHeader(const QString& line)
{
    const QStringList words = SplitFields(line, QLatin1Char(' '));
    if (words.size() < 3)
        return std::nullopt;
    TDownloadHeader header;
    header.count = IntegerFromText(words.at(2));
    for (qsizetype i = 3; i < words.size(); ++i) {
        if (words.at(i).compare(QLatin1String("compressed"), Qt::CaseInsensitive) == 0)
            header.compressed = true;
        else if (words.at(i).compare(QLatin1String("encoded"), Qt::CaseInsensitive) == 0)
            header.encoded = true;
        else if (words.at(i) == QLatin1String("later"))
            header.later = TComeBackLater{words.value(i + 1).toInt()};
        else if (const std::optional<TContentDigest> digest = TContentDigest::FromWord(words.at(i)))
            header.digest = digest;
    }
    return header;
}

QString SizeMessage(const QString& step, qint64 before, qint64 after)
{
    const QLocale german(QLocale::German, QLocale::Germany);
    const double percent = before == 0 ? 0.0 : 100.0 / static_cast<double>(before) * static_cast<double>(after);
    return QStringLiteral("Objektgröße vor der %1 %2 Bytes, danach %3 Bytes (%4%)")
        .arg(step, german.toString(before), german.toString(after), german.toString(percent, 'f', 1));
}

void HandleDownload(TSession& session, const QStringList& words)
{
    if (words.size() < 2)
        return;
    const QString name = UnquoteField(words.at(1));
    const TServed served = FindServed(name);
    TSyncObject* object = served.object;
    if (object == nullptr || !MayServe(session, name, served.rights))
        return;
    const bool companion = served.companion != nullptr;
    if (companion)
        session.Log(QStringLiteral("Skriptus-Objekt wird generiert"));
    const QString ask = words.value(3);
    if (words.size() > 2 && NumberFromDigits(words.at(2)) != object->ComputeId()) {
        session.Log(QStringLiteral("Objekt \"%1\" liegt hier in einer anderen Version vor").arg(name));
        session.Reply(kDownload + QLatin1Char(' ') + words.at(1) + QStringLiteral(" 0 stale"));
    } else if (ask == QLatin1String("digest")) {
        ServeObject(session, words.at(1), *object, ServedFilePath(*object), nullptr);
    } else {
        std::variant<TSendSlot, TComeBackLater> slot =
            TakeSendSlot(object->ComputeId(), object->Size(), ask == QLatin1String("wait"));
        if (const TComeBackLater* later = std::get_if<TComeBackLater>(&slot)) {
            session.Log(QStringLiteral("Objekt \"%1\" wird gerade oder wurde schon an andere übertragen, "
                                       "der Client fragt später wieder")
                            .arg(name));
            session.Reply(kDownload + QLatin1Char(' ') + words.at(1) + QStringLiteral(" 0 later ") +
                          QString::number(later->copiesOut));
        } else {
            const QString path = ServedFilePath(*object);
            const QString message = QStringLiteral("Objekt \"%1\" wird übertragen").arg(path);
            session.Log(message);
            ServerMessage(session.PeerName(), message);
            ServeObject(session, words.at(1), *object, path, &std::get<TSendSlot>(slot));
        }
    }
    if (companion)
        session.Log(QStringLiteral("Skriptus-Objekt wird entfernt"));
}

void HandleDownloadOk(TSession& session, const QStringList& words)
{
    if (words.size() < 3)
        throw EConvertError(QStringLiteral("Konvertierung des Strings in eine Zahl nicht möglich."));
    const QString name = UnquoteField(words.at(1));
    const quint64 id = NumberFromDigits(words.at(2));
    if (!ConfirmationAcceptable(session, name, id)) {
        session.Log(QStringLiteral("Bestätigung des Objekts \"%1\" abgelehnt").arg(name));
        return;
    }
    RecordDownload(session.PeerAddress(), id, session.LocalComputerName());
    const QString message = QStringLiteral("Übertragung des Objekts \"%1\" bestätigt").arg(name);
    session.Log(message);
    ServerMessage(session.PeerName(), message);
}

bool AcceptStaged(TStagingFile& staging, const TContentDigest& digest, const QString& name, const QString& source)
{
    if (staging.Digest() == digest)
        return true;
    staging.Discard();
    Log(QStringLiteral("Client"),
        QStringLiteral("Objekt \"%1\" von \"%2\" stimmt nicht mit Größe und Prüfsumme des Master-Servers überein "
                       "und wird verworfen")
            .arg(name, source),
        50);
    return false;
}

namespace {

qint32 ReceiveObject(TClientBase& client, const TSyncObject& object, TStagingFile& staging,
                     std::optional<TContentDigest>& digest, TDownloadAsk ask, std::optional<TComeBackLater>& later)
{
    const QString name = object.SourceName();
    if (ask == TDownloadAsk::Object) {
        const QString message = QStringLiteral("Objekt \"%1\" wird übertragen").arg(name);
        client.Log(message);
        ClientMessage(message);
        if (RunningAsService())
            WriteEventLog(message, 1);
    }
    const bool fromProvider = client.ConnectInfo().kind == TConnectKind::ProviderDownload;
    try {
        staging.Start();
        // The version wanted is named: a computer holding another says so.
        QString request =
            kDownload + QLatin1Char(' ') + QuoteField(name) + QLatin1Char(' ') + NumberToText(object.ComputeId());
        if (ask == TDownloadAsk::DigestOnly)
            request += QStringLiteral(" digest");
        else if (ask == TDownloadAsk::ObjectOrLater)
            request += QStringLiteral(" wait");
        client.Send(request);
        const QString reply = client.ReceiveReply();
        // No answer (an unknown name gets none): nothing received, and a late
        // answer is caught by the check below at the next request.
        if (reply.isEmpty())
            return -1;
        // A reply that came too late or answers another request puts every
        // later one out of step: the next object would get this one's bytes.
        if (SplitFields(reply, QLatin1Char(' ')).value(1) != QuoteField(name))
            throw ESocketError(QStringLiteral("Die Antwort passt nicht zur Anfrage"));
        const std::optional<TDownloadHeader> header = ParseDownloadHeader(reply);
        if (!header)
            return -1;
        // The master's own word on its bytes outweighs one asked before:
        // the source may have changed in between.
        if (!fromProvider && header->digest)
            digest = header->digest;
        if (header->count == 0 && ask == TDownloadAsk::DigestOnly && header->digest)
            return 0;
        if (header->count == 0 && ask == TDownloadAsk::ObjectOrLater && header->later) {
            client.Log(
                QStringLiteral("Objekt \"%1\" wird gerade an andere übertragen, später erneut anfragen").arg(name));
            later = header->later;
            return 0;
        }
        if (header->count <= 0) {
            client.Log(QStringLiteral("Objekt \"%1\" wurde nicht empfangen").arg(name));
            return header->count < 0 ? -1 : 0;
        }
        const qint64 limit =
            std::min(digest ? digest->size : std::max<qint64>(object.Size(), 0), g_maxObjectSize.load());
        if (header->count > LargestStream(limit))
            throw ESocketError(QStringLiteral("Angekündigte Größe %1 passt nicht zum Objekt").arg(header->count));
        TReceiver receiver(staging, *header, limit);
        ReceiveStream(client, *header, receiver);
        qint64 size = header->count;
        if (header->compressed) {
            client.Log(SizeMessage(QStringLiteral("Dekompression"), size, receiver.Inflated()));
            size = receiver.Inflated();
        }
        if (header->encoded)
            client.Log(SizeMessage(QStringLiteral("Entschlüsselung"), size, receiver.Written()));
        client.Log(QStringLiteral("Empfang beendet"));
        return static_cast<qint32>(receiver.Written());
    } catch (const EStreamError& error) {
        // The stream was read to its end: the connection is still in step.
        client.Log(QStringLiteral("Bei der Objektübertragung ") + ExceptionSuffix(error));
        return -1;
    } catch (const EStagingError& error) {
        client.Connection().Disconnect();
        client.Log(error.Message());
        client.Log(QStringLiteral("Bei der Objektübertragung ") + ExceptionSuffix(error));
        return -1;
    } catch (const std::exception& error) {
        // Where the stream stands is unknown: nothing more may be read from it.
        client.Connection().Disconnect();
        client.Log(QStringLiteral("Bei der Objektübertragung ") + ExceptionSuffix(error));
        return -1;
    }
}

} // namespace

TFetchOrLater FetchUnlessBusy(TClientBase& client, const TSyncObject& object, TStagingFile& staging,
                              std::optional<TContentDigest>& digest)
{
    TFetchOrLater result;
    result.count = ReceiveObject(client, object, staging, digest, TDownloadAsk::ObjectOrLater, result.later);
    if (result.count <= 0)
        staging.Discard();
    return result;
}

qint32 FetchFromServer(TClientBase& client, const TSyncObject& object, TStagingFile& staging,
                       std::optional<TContentDigest>& digest, TDownloadAsk ask)
{
    std::optional<TComeBackLater> later;
    const qint32 result = ReceiveObject(client, object, staging, digest, ask, later);
    if (result <= 0)
        staging.Discard();
    return result;
}

TProviderOutcome FetchFromProviders(TSyncObject& object, TStagingFile& staging, const TContentDigest& digest)
{
    EndProviderCollection();
    const QString name = object.SourceName();
    const auto log = [](const QString& text) { Log(QStringLiteral("Client"), text, 50); };
    const QStringList providers = object.Providers();
    bool busy = BusyProviderAnswers() > 0;
    if (providers.isEmpty()) {
        log(QStringLiteral("Kein Provider (außer dem Server) bietet das Objekt \"%1\" an").arg(name));
        return busy ? TProviderOutcome::Busy : TProviderOutcome::None;
    }
    // A provider is a cache nobody vouches for: its bytes count only when they
    // are what the master server's digest says, whatever it answers.
    for (const QString& provider : providers) {
        log(QStringLiteral("Provider \"%1\" bietet das Objekt \"%2\" an").arg(provider, name));
        auto info = std::make_unique<TConnectInfo>();
        info->host = provider;
        info->port = MainConfig().GetInteger(QStringLiteral("NetServerPort"));
        info->kind = TConnectKind::ProviderDownload;
        TClientBase peer(std::move(info));
        TFetchOrLater result;
        std::optional<TContentDigest> unused = digest;
        RunConversation(peer, [&](TClientBase& client) { result = FetchUnlessBusy(client, object, staging, unused); });
        busy = busy || result.later;
        // Nothing delivered leaves no file; an empty object never gets here.
        if (result.count <= 0)
            continue;
        if (AcceptStaged(staging, digest, name, provider))
            return TProviderOutcome::Delivered;
    }
    return busy ? TProviderOutcome::Busy : TProviderOutcome::None;
}

void Confirm(TClientBase& client, const TSyncObject& object)
{
    client.Send(
        QStringLiteral("DOWNLOAD_OK %1 %2").arg(QuoteField(object.SourceName()), NumberToText(object.ComputeId())));
}

void SetMaxObjectSize(qint64 bytes)
{
    g_maxObjectSize = bytes;
}
