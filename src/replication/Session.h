// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

class TLineConnection;

/// What a command handler sees of the server session whose request it
/// serves: the connection, the peer and the fields LOGIN sets.
class TSession
{
public:
    virtual ~TSession() = default;

    /// A protocol entry with category "Server", image 45.
    virtual void Log(const QString& text) const = 0;
    /// Sends one line and logs it; a failure is logged and raised again.
    virtual void Reply(const QString& line) = 0;
    /// The connection, for raw writes.
    virtual TLineConnection& Connection() = 0;
    /// Closes the connection; the session then ends after this request.
    virtual void CloseConnection() = 0;
    /// Unless the session is terminated: asks the orderly shutdown whether the
    /// application may end, and ends it if so.
    virtual void RequestApplicationEnd() = 0;

    virtual QString PeerAddress() const = 0;
    virtual QString PeerName() const = 0;
    /// The fingerprint of the key the peer presented; empty for a plain session.
    virtual QString PeerKey() const = 0;

    /// The LOGIN fields.
    virtual QString LocalComputerName() const = 0;
    virtual void SetLocalComputerName(const QString& name) = 0;
    virtual QString UserName() const = 0;
    virtual void SetUserName(const QString& name) = 0;
    virtual QString Password() const = 0;
    virtual void SetPassword(const QString& password) = 0;
    /// Whether a login of this session was told that elevation is off.
    virtual bool ElevationOffTold() const = 0;
    virtual void SetElevationOffTold() = 0;
};
