// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <QStringList>

class TClientBase;
class TSession;

/// The client's LOGIN exchange right after connecting, with the elevation the
/// server may hand over. True when the server accepted the login.
bool ClientLogin(TClientBase& client);

/// The server's handler of "LOGIN": only the anonymous user is admitted; the
/// reply may carry the administrative account for the client's elevation.
void HandleLogin(TSession& session, const QStringList& words);
