// SPDX-License-Identifier: GPL-3.0-or-later
#include "replication/Login.h"

#include <mutex>
#include <set>

#include "base/Base64.h"
#include "base/DateTime.h"
#include "base/TextFields.h"
#include "catalogue/ClientKeys.h"
#include "catalogue/SyncClient.h"
#include "foundation/MainConfig.h"
#include "foundation/PoolInterlocked.h"
#include "platform/Logon.h"
#include "platform/ProgramPaths.h"
#include "replication/ClientBase.h"
#include "replication/MasterKey.h"
#include "replication/Session.h"

namespace {

const QString kAnonymous = QStringLiteral("anonymous");
// Longer names do not fit the lists that are keyed by them.
constexpr qsizetype kMaxComputerNameBytes = 255;

/// A reply that lacks a word its form promises.
class ELoginReplyIncomplete : public EPlenwick
{
public:
    using EPlenwick::EPlenwick;
};

QString B64(const QString& text)
{
    return QString::fromLatin1(Base64Encode(text.toUtf8()));
}

QString Word(const QStringList& words, int index)
{
    if (index >= words.size())
        throw ELoginReplyIncomplete(QStringLiteral("Wort %1 fehlt in der Anmeldeantwort").arg(index));
    return words[index];
}

void Elevate(const QString& account, const QString& encodedPassword)
{
    const std::optional<QByteArray> password = Base64Decode(encodedPassword.toLatin1());
    if (!password)
        throw ELoginReplyIncomplete(QStringLiteral("Kennwort in der Anmeldeantwort ist kein Base64"));
    const bool elevated = LogonAndImpersonate(account, QString::fromUtf8(*password));
    const QString text = elevated
                             ? QStringLiteral("Anhebung der Anwendungsrechte durch Benutzer \"%1\" war erfolgreich")
                             : QStringLiteral("Anhebung der Anwendungsrechte durch Benutzer \"%1\" ist gescheitert");
    Log(QStringLiteral("Client"), text.arg(account), 20);
}

// The computer name is stored in the client list (quoted) and in the download
// list (bare): a quote or comma would break those lines, and a single quote
// opens a quoted stretch for their field splitter just as a double one does.
bool AcceptableComputerName(const QString& name)
{
    return name.toUtf8().size() <= kMaxComputerNameBytes && !name.contains(QLatin1Char(',')) &&
           !name.contains(QLatin1Char('"')) && !name.contains(QLatin1Char('\''));
}

// The first master server a computer logs in to is the one it trusts from
// then on, as the key it presented says.
void TrustOnFirstLogin(TClientBase& client)
{
    const QString presented = client.Connection().PeerKey();
    if (presented.isEmpty() || !PinnedMasterKey().isEmpty())
        return;
    PinMasterKey(presented);
    client.Log(MasterKeyTrustedText(presented, client.ConnectInfo().host));
}

// Plain sessions are logged once per computer, not at every update.
void LogPlainSessionOnce(TSession& session, const QString& computer)
{
    static std::mutex lock;
    static std::set<QString> logged;
    std::lock_guard guard(lock);
    if (logged.insert(computer.toLower()).second)
        session.Log(
            QStringLiteral("Client \"%1\" meldet sich unverschlüsselt an (NetAllowPlainClients)").arg(computer));
}

// A master knows each client by the key of its first login: another key under
// the same computer name is refused until the administrator deletes the
// client, and a computer that has shown a key never goes back to clear text.
bool ClientKeyAccepted(TSession& session, const QString& computer)
{
    const QString presented = session.PeerKey();
    const std::optional<QString> recorded = RecordedClientKey(computer);
    if (presented.isEmpty()) {
        if (recorded) {
            session.Log(QStringLiteral("Client \"%1\" meldet sich unverschlüsselt an, hat aber einen Schlüssel: "
                                       "Anmeldung abgelehnt")
                            .arg(computer));
            return false;
        }
        LogPlainSessionOnce(session, computer);
        return true;
    }
    if (!recorded) {
        RecordClientKey(computer, presented);
        session.Log(QStringLiteral("Schlüssel %1 des Clients \"%2\" gespeichert").arg(presented, computer));
        return true;
    }
    if (*recorded == presented)
        return true;
    session.Log(QStringLiteral("Client \"%1\" legt den Schlüssel %2 vor, gespeichert ist %3: Anmeldung abgelehnt. "
                               "Wurde der Computer neu eingerichtet, ihn mit \"Client löschen\" entfernen")
                    .arg(computer, presented, *recorded));
    return false;
}

} // namespace

bool ClientLogin(TClientBase& client)
{
    client.Log(QStringLiteral("Beginn der Anmeldung"));
    const TConfig& config = MainConfig();
    // A provider is any computer that answered a broadcast: it learns none of
    // our credentials, and no account it names is taken on.
    const bool provider = client.ConnectInfo().kind == TConnectKind::ProviderDownload;
    const bool anonymous = provider || config.GetBoolean(QStringLiteral("ClientAnonymousLogin"));
    const QString user = anonymous ? kAnonymous : config.GetString(QStringLiteral("ClientUsername"));
    const QString password =
        anonymous ? QStringLiteral("blueheron") : config.GetString(QStringLiteral("ClientPassword"));
    // The date is informative only; its first word is the date part.
    const QString date = FormatDateTime(DateTimeNow()).section(QLatin1Char(' '), 0, 0);
    bool accepted = false;
    try {
        client.Send(QStringLiteral("LOGIN %1,%2 %3 %4").arg(B64(user), B64(password), date, LocalComputerName()));
        const QStringList words = SplitFields(client.ReceiveReply(), QLatin1Char(' '));
        if (words.size() > 2) {
            accepted = words[1] == QLatin1String("ok");
            if (words[2] == QLatin1String("elevate") && !provider)
                Elevate(Word(words, 3), Word(words, 4));
        }
    } catch (const std::exception& error) {
        client.Log(QStringLiteral("Bei der Anmeldung ") + ExceptionSuffix(error));
    }
    if (accepted && client.TalksToMasterServer())
        TrustOnFirstLogin(client);
    return accepted;
}

void HandleLogin(TSession& session, const QStringList& words)
{
    if (words.size() < 2) {
        session.Log(QStringLiteral("Unerwartete Parameteranzahl in Anmeldung"));
        return;
    }
    const TConfig& config = MainConfig();
    QString answer = QStringLiteral("fail noelevate");
    const QString computer = words.value(3);
    const bool computerAcceptable = AcceptableComputerName(computer);
    if (!computerAcceptable)
        session.Log(
            QStringLiteral("Lokaler Computername \"%1\" ist unzulässig, Anmeldung abgelehnt").arg(computer.left(64)));
    const QStringList parts = SplitFields(words[1], QLatin1Char(','));
    if (parts.size() == 2) {
        const std::optional<QByteArray> user = Base64Decode(parts[0].toUtf8());
        const std::optional<QByteArray> password = Base64Decode(parts[1].toUtf8());
        if (user && password) {
            session.SetUserName(QString::fromUtf8(*user));
            session.SetPassword(QString::fromUtf8(*password));
        } else {
            session.SetUserName(parts[0]);
            session.SetPassword(parts[1]);
            session.Log(QStringLiteral("Benutzerberechtigung in Klartext empfangen!"));
        }
        if (computerAcceptable && session.UserName().compare(kAnonymous, Qt::CaseInsensitive) == 0 &&
            config.GetBoolean(QStringLiteral("ServerAllowAnonymousUsers")) &&
            (!IsMasterServer() || ClientKeyAccepted(session, computer))) {
            // The two empty words stand where the account and its password
            // were: older clients want three words, and any computer may log
            // in anonymously with a key of its own, so no account is handed over.
            answer = QStringLiteral("ok noelevate  ");
            if (config.GetBoolean(QStringLiteral("ServerAdminAccountUse")) && !session.ElevationOffTold()) {
                session.Log(QStringLiteral("Anhebung der Anwendungsrechte ist abgeschaltet: das Konto des "
                                           "Master-Servers wird keinem Client übergeben"));
                session.SetElevationOffTold();
            }
        }
    }
    const QString result =
        QStringLiteral("Anmeldung durch Benutzer \"%1\", Ergebnis: %2").arg(session.UserName(), answer);
    session.Log(result);
    ServerMessage(session.PeerName(), result);
    // Only a login accepted names the computer that the session's
    // confirmations and rights are for.
    if (answer.startsWith(QLatin1String("ok")) && computerAcceptable) {
        session.SetLocalComputerName(computer);
        if (TSyncClient* client = FindClientByName(session.PeerName())) {
            session.Log(QStringLiteral("Lokaler Computername des Clients ist \"%1\"").arg(computer));
            RecordLocalComputerName(*client, computer);
        }
    }
    try {
        session.Reply(QStringLiteral("LOGIN ") + answer);
    } catch (const std::exception& error) {
        session.Log(QStringLiteral("Beim Senden der Login-Antwort ") + ExceptionSuffix(error));
    }
}
