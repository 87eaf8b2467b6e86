// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <QStringList>

#include "base/Exceptions.h"
#include "replication/ClientBase.h"

class TSession;

/// A SETSERVER request came without a name.
class ENoServerName : public EPlenwick
{
public:
    using EPlenwick::EPlenwick;
};

/// Stores name as NetServerName and saves the options when it differs from
/// the current setting, ignoring case; true when it was stored. Shared by the
/// SETSERVER request and the broadcast answer.
bool SetMasterServerName(const QString& name);

/// The receiving side: the handlers of the command table. The first three
/// reply before they act, and do not act on the master server itself.
void HandleTerminate(TSession& session, const QStringList& words);
void HandleDeinstall(TSession& session, const QStringList& words);
void HandlePhoneHome(TSession& session, const QStringList& words);
void HandleSetServer(TSession& session, const QStringList& words);

/// The sending side: the sequence of the kinds Terminate, Deinstall and
/// PhoneHome (sends the word, waits for any reply) and of SetServer (sends
/// this computer's NetServerName, expects no reply).
void SendCommand(TClientBase& client, TConnectKind kind);
void SendServerName(TClientBase& client);

/// The command word of a sending kind (TERMINATE, DEINSTALL, PHONEHOME,
/// SETSERVER); "" for the other kinds.
QString RemoteCommandWord(TConnectKind kind);
