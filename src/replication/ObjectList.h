// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <functional>

#include <QStringList>

class TClientBase;
class TSession;
class TSyncObject;

/// Server handler of OBJLIST: the objects this client may receive, framed by
/// "OBJLIST start" and "end".
void HandleObjList(TSession& session, const QStringList& words);

/// Client side: asks for the list, merges it into the local catalogue and
/// gives whether any object needs an action (the work flag).
bool ExchangeObjectList(TClientBase& client);

/// Called for every new or changed object while broadcast search is on, so
/// that peers holding it can offer it (the broadcast unit plugs in here).
/// Nothing by default.
void SetQueryDownloadHook(std::function<void(TSyncObject& object)> hook);
