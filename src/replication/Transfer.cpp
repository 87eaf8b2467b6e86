// SPDX-License-Identifier: GPL-3.0-or-later
#include "replication/Transfer.h"

#include <atomic>
#include <limits>
#include <memory>
#include <optional>

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
#include "replication/TransferCache.h"

namespace {

constexpr qsizetype kChunk = 8192;
// Several chunks per send: fewer system calls, the same bytes on the wire.
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

// The master hands an object only to the computers that its client-group
// rights admit, as its object list does. Any other computer knows no client
// groups: it hands out only objects that every computer may have. rights is
// the object whose rights decide, nullptr when none could be found.
bool MayServe(TSession& session, const QString& name, const TSyncObject* rights)
{
    if (rights != nullptr && IsMasterServer()) {
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

// Sends the header and exactly count bytes of the file. A file that ends
// early would leave the peer waiting for bytes that never come and every
// later line out of step, so the connection is closed instead.
void SendForm(TSession& session, const QString& header, const TPreparedForm& form)
{
    QFile file(form.path);
    QBuffer memory;
    QIODevice& source = form.data ? static_cast<QIODevice&>(memory) : file;
    if (form.data)
        memory.setData(*form.data);
    if (!source.open(QIODevice::ReadOnly))
        throw ECacheError(QStringLiteral("Die Datei \"%1\" kann nicht gelesen werden").arg(form.path));
    const qint64 count = form.size;
    session.Reply(header);
    try {
        qint64 rest = count;
        while (rest > 0) {
            const QByteArray piece = source.read(std::min(rest, kWriteBuffer));
            if (piece.isEmpty()) {
                session.CloseConnection();
                return;
            }
            session.Connection().WriteBytes(piece);
            rest -= piece.size();
        }
        session.Log(QStringLiteral("Objektübertragung erfolgreich beendet"));
    } catch (const std::exception&) {
        // A broken send is the peer's loss: it sees a short stream and gives up.
    }
}

void ServeObject(TSession& session, const QString& requested, TSyncObject& object, const QString& path)
{
    const QString negative = kDownload + QLatin1Char(' ') + requested + QStringLiteral(" 0");
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly) || file.size() > g_maxObjectSize.load()) {
        session.Log(QStringLiteral("Objektübertragung fehlgeschlagen, sende Negativantwort"));
        session.Reply(negative);
        return;
    }
    const qint64 size = file.size();
    file.close();
    const TTransform transform{MainConfig().GetBoolean(QStringLiteral("ServerEncodeData")),
                               MainConfig().GetBoolean(QStringLiteral("ServerCompressData"))};
    TPreparedForm form{path, size, nullptr};
    try {
        if (transform.Any())
            form = PrepareTransferForm(object.ComputeId(), path, transform);
    } catch (const std::exception& error) {
        session.Log(QStringLiteral("Beim Vorbereiten der Übertragung ") + ExceptionSuffix(error));
        session.Log(QStringLiteral("Objektübertragung fehlgeschlagen, sende Negativantwort"));
        session.Reply(negative);
        return;
    }
    qint64 before = size;
    if (transform.encode) {
        const qint64 encoded = (size + 2) / 3 * 4;
        session.Log(SizeMessage(QStringLiteral("Verschlüsselung"), before, encoded));
        before = encoded;
    }
    if (transform.compress)
        session.Log(SizeMessage(QStringLiteral("Kompression"), before, form.size));
    if (form.size > g_maxObjectSize.load()) {
        session.Log(QStringLiteral("Objektübertragung fehlgeschlagen, sende Negativantwort"));
        session.Reply(negative);
        return;
    }
    QString header = kDownload + QLatin1Char(' ') + requested + QLatin1Char(' ') + QString::number(form.size);
    if (transform.compress)
        header += QStringLiteral(" compressed");
    if (transform.encode)
        header += QStringLiteral(" encoded");
    try {
        SendForm(session, header, form);
    } catch (const ECacheError&) {
        // The entry vanished between preparing and opening: nothing was sent yet.
        session.Log(QStringLiteral("Objektübertragung fehlgeschlagen, sende Negativantwort"));
        session.Reply(negative);
    }
}

// The received bytes could not be stored (disk full, file too large).
class EStagingWriteError : public ETransferError
{
public:
    using ETransferError::ETransferError;
};

// Undoes the transformations while the bytes arrive and writes the result.
class TReceiver
{
public:
    TReceiver(const QString& destination, const TDownloadHeader& header)
        : m_file(destination), m_compressed(header.compressed), m_encoded(header.encoded)
    {
        if (!m_file.open(QIODevice::WriteOnly | QIODevice::Truncate))
            throw ETransferError(QStringLiteral("Die Datei \"%1\" kann nicht geschrieben werden").arg(destination));
    }

    void Feed(const QByteArray& data)
    {
        if (!m_compressed) {
            Decode(data.constData(), data.size());
            return;
        }
        const bool sound = m_inflater.Feed(data.constData(), data.size(), [this](const char* piece, qsizetype size) {
            m_inflated += size;
            if (m_inflated > g_maxObjectSize.load())
                throw ETransferError(QStringLiteral("Das empfangene Objekt ist größer als 2 GiB"));
            Decode(piece, size);
            return true;
        });
        if (!sound)
            throw ETransferError(QStringLiteral("Die empfangenen Daten lassen sich nicht entpacken"));
    }

    void Finish()
    {
        if (m_compressed && !m_inflater.Finished())
            throw ETransferError(QStringLiteral("Die empfangenen Daten lassen sich nicht entpacken"));
        if (m_encoded && !m_carry.isEmpty())
            throw ETransferError(QStringLiteral("Die empfangenen Daten lassen sich nicht entschlüsseln"));
        if (!m_file.flush())
            throw EStagingWriteError(
                QStringLiteral("Die Datei \"%1\" kann nicht geschrieben werden").arg(m_file.fileName()));
        m_file.close();
    }

    qint64 Inflated() const { return m_inflated; }
    qint64 Written() const { return m_written; }
    qint64 EncodedSize() const { return m_encodedSize; }

private:
    void Decode(const char* data, qsizetype size)
    {
        if (!m_encoded) {
            Write(data, size);
            return;
        }
        m_encodedSize += size;
        m_carry.append(data, size);
        const qsizetype whole = m_carry.size() - m_carry.size() % 4;
        if (whole == 0)
            return;
        // Padding may only close the whole text, never a piece in its middle.
        if (m_padded)
            throw ETransferError(QStringLiteral("Die empfangenen Daten lassen sich nicht entschlüsseln"));
        const std::optional<QByteArray> decoded = Base64Decode(m_carry.left(whole));
        if (!decoded)
            throw ETransferError(QStringLiteral("Die empfangenen Daten lassen sich nicht entschlüsseln"));
        m_padded = m_carry.at(whole - 1) == '=';
        m_carry.remove(0, whole);
        Write(decoded->constData(), decoded->size());
    }

    void Write(const char* data, qsizetype size)
    {
        m_written += size;
        if (m_written > g_maxObjectSize.load())
            throw ETransferError(QStringLiteral("Das empfangene Objekt ist größer als 2 GiB"));
        if (m_file.write(data, size) != size)
            throw EStagingWriteError(
                QStringLiteral("Die Datei \"%1\" kann nicht geschrieben werden").arg(m_file.fileName()));
    }

    QFile m_file;
    bool m_compressed;
    bool m_encoded;
    bool m_padded = false;
    TZlibInflater m_inflater;
    QByteArray m_carry;
    qint64 m_inflated = 0;
    qint64 m_encodedSize = 0;
    qint64 m_written = 0;
};

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
    TSyncObject* object = FindBySourcePath(name);
    // A command file, generated here or received as a companion, has the
    // rights of the object it belongs to.
    const TSyncObject* owner = object == nullptr || object->ScriptusCompanion() ? FindByScriptusFile(name) : nullptr;
    if (object == nullptr && owner == nullptr)
        return;
    if (!MayServe(session, name, object != nullptr && !object->ScriptusCompanion() ? object : owner))
        return;
    std::unique_ptr<TSyncObject> companion;
    if (object == nullptr) {
        session.Log(QStringLiteral("Skriptus-Objekt wird generiert"));
        companion = owner->GenerateScriptusCompanion();
        object = companion.get();
    }
    if (object == nullptr)
        return;
    const QString path = ServedFilePath(*object);
    const QString message = QStringLiteral("Objekt \"%1\" wird übertragen").arg(path);
    session.Log(message);
    ServerMessage(session.PeerName(), message);
    ServeObject(session, words.at(1), *object, path);
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

qint32 FetchFromServer(TClientBase& client, const TSyncObject& object, const QString& destination)
{
    const QString name = object.SourceName();
    const QString message = QStringLiteral("Objekt \"%1\" wird übertragen").arg(name);
    client.Log(message);
    ClientMessage(message);
    if (RunningAsService())
        WriteEventLog(message, 1);
    // Whatever lay there before must not pass for what this transfer brought.
    QFile::remove(destination);
    try {
        client.Send(kDownload + QLatin1Char(' ') + QuoteField(name));
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
        if (header->count <= 0) {
            client.Log(QStringLiteral("Objekt \"%1\" wurde nicht empfangen").arg(name));
            return header->count < 0 ? -1 : 0;
        }
        std::optional<TReceiver> receiver;
        qint64 rest = header->count;
        try {
            receiver.emplace(destination, *header);
            while (rest > 0) {
                const QByteArray chunk = client.Connection().ReadBytes(std::min<qint64>(rest, kChunk));
                rest -= chunk.size();
                receiver->Feed(chunk);
            }
            receiver->Finish();
        } catch (const ETransferError&) {
            QFile::remove(destination);
            // The rest of the announced bytes still comes: read past it, so
            // that the next request on this connection starts in step.
            while (rest > 0)
                rest -= client.Connection().ReadBytes(std::min<qint64>(rest, kChunk)).size();
            throw;
        } catch (...) {
            QFile::remove(destination);
            throw;
        }
        qint64 size = header->count;
        if (header->compressed) {
            client.Log(SizeMessage(QStringLiteral("Dekompression"), size, receiver->Inflated()));
            size = receiver->Inflated();
        }
        if (header->encoded)
            client.Log(SizeMessage(QStringLiteral("Entschlüsselung"), size, receiver->Written()));
        client.Log(QStringLiteral("Empfang beendet"));
        return static_cast<qint32>(receiver->Written());
    } catch (const ETransferError& error) {
        // The stream was read to its end: the connection is still in step.
        if (dynamic_cast<const EStagingWriteError*>(&error) != nullptr)
            client.Log(QStringLiteral("Objekt \"%1\" konnte nicht geschrieben werden").arg(destination));
        client.Log(QStringLiteral("Bei der Objektübertragung ") + ExceptionSuffix(error));
        return -1;
    } catch (const std::exception& error) {
        // Where the stream stands is unknown: nothing more may be read from it.
        client.Connection().Disconnect();
        client.Log(QStringLiteral("Bei der Objektübertragung ") + ExceptionSuffix(error));
        return -1;
    }
}

qint32 FetchFromProviders(TSyncObject& object, const QString& destination)
{
    EndProviderCollection();
    const QString name = object.SourceName();
    const auto log = [](const QString& text) { Log(QStringLiteral("Client"), text, 50); };
    const int count = object.ProviderCount();
    if (count == 0) {
        log(QStringLiteral("Kein Provider (außer dem Server) bietet das Objekt \"%1\" an").arg(name));
        return -1;
    }
    // A count of 0 for an object that is not empty is a provider's negative
    // answer (its copy changed since it offered it): the next provider, and
    // then the master server, is asked.
    const qint32 size = object.Size();
    const auto delivered = [size](qint32 result) { return result > 0 || (result == 0 && size == 0); };
    qint32 result = -1;
    for (int i = 0; i < count && !delivered(result); ++i) {
        const QString provider = object.GetProvider(i);
        log(QStringLiteral("Provider \"%1\" bietet das Objekt \"%2\" an").arg(provider, name));
        auto info = std::make_unique<TConnectInfo>();
        info->host = provider;
        info->port = MainConfig().GetInteger(QStringLiteral("NetServerPort"));
        info->kind = TConnectKind::ProviderDownload;
        TClientBase peer(std::move(info));
        RunConversation(peer, [&](TClientBase& client) { result = FetchFromServer(client, object, destination); });
    }
    return delivered(result) ? result : -1;
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
