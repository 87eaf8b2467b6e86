// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

#include "base/Exceptions.h"

/// The master server presented another key than the one this computer trusts.
class EMasterKeyRefused : public EPlenwick
{
public:
    using EPlenwick::EPlenwick;
};

/// The master server's key this computer trusts: the option NetServerKey,
/// else the fingerprint in plenwick.serverkey in the program folder (which an
/// object may deliver ahead of a new master); empty while none is known.
QString PinnedMasterKey();
/// Trusts the fingerprint from now on (NetServerKey, saved at once); an empty
/// one clears the pin, so that the next master's key is taken at its first login.
void PinMasterKey(const QString& fingerprint);
/// The log line for a key pinned for the master server of that name.
QString MasterKeyTrustedText(const QString& fingerprint, const QString& server);
/// Raises EMasterKeyRefused when a key is pinned and the presented one is another.
void CheckMasterKey(const QString& server, const QString& presented);
/// The fingerprint of the master server this computer names: its own key
/// when it is the master, else the pinned one.
QString NamedMasterKey();
