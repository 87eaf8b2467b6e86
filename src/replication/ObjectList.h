// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QStringList>

class TClientBase;
class TSession;

/// Server handler of OBJLIST: the objects this client may receive, framed by
/// "OBJLIST start" and "end".
void HandleObjList(TSession& session, const QStringList& words);

/// Client side: asks for the list, merges it into the local catalogue and
/// gives whether any object needs an action (the work flag).
bool ExchangeObjectList(TClientBase& client);
