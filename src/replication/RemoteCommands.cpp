// SPDX-License-Identifier: GPL-3.0-or-later
#include "replication/RemoteCommands.h"

#include <atomic>

#include "foundation/MainConfig.h"
#include "foundation/PoolInterlocked.h"
#include "foundation/PoolSystem.h"
#include "foundation/Startup.h"
#include "foundation/UiAdapter.h"
#include "platform/ProgramPaths.h"
#include "replication/ClientBase.h"
#include "replication/HostKey.h"
#include "replication/MasterKey.h"
#include "replication/Session.h"

void SendCommand(TClientBase& client, TConnectKind kind)
{
    const QString word = RemoteCommandWord(kind);
    try {
        client.Send(word);
        client.ReceiveReply(); // the reply's content does not matter
    } catch (const std::exception& error) {
        client.Log(QStringLiteral("Bei der Bearbeitung des Kommandos \"%1\" ").arg(word) + ExceptionSuffix(error));
    }
}

void SendServerName(TClientBase& client)
{
    // The key as a second word lets the receiver pin the new master at once;
    // older receivers read the first word only.
    const QString key = NamedMasterKey();
    try {
        client.Send(QStringLiteral("SETSERVER ") + MainConfig().GetString(QStringLiteral("NetServerName")) +
                    (key.isEmpty() ? QString() : QLatin1Char(' ') + key));
    } catch (const std::exception& error) {
        client.Log(QStringLiteral("Beim Senden des Servernamens ") + ExceptionSuffix(error));
    }
}

namespace {

// Set once a SETSERVER was taken: from then on this computer has a master
// server, and only that one may send another.
std::atomic<bool> g_serverAccepted{false};

// The peer is the master server when it presented the master's key: an
// address or a name can be taken over by another computer, the key cannot.
// The master itself takes a command only from its own key.
bool FromMasterServer(const TSession& session)
{
    const QString master = NamedMasterKey();
    return !master.isEmpty() && session.PeerKey() == master;
}

// Anyone may log in (anonymous logins are the default): what redirects, ends
// or uninstalls a computer that has a master server is taken from that one only.
bool MayAct(TSession& session, const QString& word)
{
    if (!ServerConfigured() && !g_serverAccepted)
        return true;
    const QString master = MainConfig().GetString(QStringLiteral("NetServerName"));
    if (FromMasterServer(session))
        return true;
    session.Log(
        QStringLiteral("Kommando \"%1\" von \"%2\" wird nicht ausgeführt: nur der Master-Server \"%3\" darf es senden")
            .arg(word, session.PeerName(), master));
    return false;
}

} // namespace

bool SetMasterServerName(const QString& name)
{
    TConfig& config = MainConfig();
    if (config.GetString(QStringLiteral("NetServerName")).compare(name, Qt::CaseInsensitive) == 0)
        return false;
    config.Set(QStringLiteral("NetServerName"), name);
    config.SaveAll();
    TUiAdapter::RefreshConnectionSettings();
    return true;
}

void HandleTerminate(TSession& session, const QStringList&)
{
    session.Log(QStringLiteral("Terminierungskommando empfangen"));
    session.Reply(QStringLiteral("TERMINATE_OK"));
    if (!IsMasterServer() && MayAct(session, QStringLiteral("TERMINATE")))
        session.RequestApplicationEnd();
}

void HandleDeinstall(TSession& session, const QStringList&)
{
    session.Log(QStringLiteral("Deinstallationskommando empfangen"));
    session.Reply(QStringLiteral("DEINSTALL_OK"));
    if (IsMasterServer() || !MayAct(session, QStringLiteral("DEINSTALL")))
        return;
    try {
        SetAutostart(ExecutablePath(), false);
    } catch (const std::exception& error) {
        session.Log(QStringLiteral("Bei der Bearbeitung des Kommandos \"DEINSTALL\" ") + ExceptionSuffix(error));
    }
}

void HandlePhoneHome(TSession& session, const QStringList&)
{
    const QString text = QStringLiteral("Rückrufaufforderung empfangen");
    ServerMessage(session.PeerName(), text);
    session.Log(text);
    session.Reply(QStringLiteral("PHONEHOME_OK"));
    if (!IsMasterServer())
        StartUpdateSession();
}

void HandleSetServer(TSession& session, const QStringList& words)
{
    if (words.size() < 2)
        throw ENoServerName(QStringLiteral("Der Servername fehlt"));
    const QString& name = words[1];
    if (!MayAct(session, QStringLiteral("SETSERVER")))
        return;
    g_serverAccepted = true;
    const QString key = NormalizedFingerprint(words.value(2));
    if (SetMasterServerName(name)) {
        session.Log(QStringLiteral("Der Master-Server \"%1\" wurde konfiguriert").arg(name));
        // Another master comes with another key: without one named here, the
        // first login to the new master pins it.
        if (key.isEmpty())
            PinMasterKey(QString());
    } else {
        session.Log(QStringLiteral("Der Master-Server \"%1\" war bereits bekannt").arg(name));
    }
    if (!key.isEmpty()) {
        PinMasterKey(key);
        session.Log(MasterKeyTrustedText(key, name));
    }
}

QString RemoteCommandWord(TConnectKind kind)
{
    switch (kind) {
    case TConnectKind::Terminate:
        return QStringLiteral("TERMINATE");
    case TConnectKind::Deinstall:
        return QStringLiteral("DEINSTALL");
    case TConnectKind::PhoneHome:
        return QStringLiteral("PHONEHOME");
    case TConnectKind::SetServer:
        return QStringLiteral("SETSERVER");
    default:
        return QString();
    }
}
