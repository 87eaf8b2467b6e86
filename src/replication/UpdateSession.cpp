// SPDX-License-Identifier: GPL-3.0-or-later
#include "replication/UpdateSession.h"

#include "foundation/MainConfig.h"
#include "foundation/UiAdapter.h"
#include "replication/ClientBase.h"
#include "replication/Installation.h"
#include "replication/ObjectList.h"
#include "replication/ScriptusReports.h"

// Connecting and the login came before, in the client thread
// (ClientThread.cpp, Login.cpp); rebuilding the views and disconnecting come
// after it there.
void RunUpdate(TClientBase& client)
{
    // 0. What the command files of the last run did not do, for the master to know.
    SendScriptusReports(client);
    // 1. The object list: the server's lines merged into the local catalogue.
    const bool work = ExchangeObjectList(client);
    client.Log(work ? QStringLiteral("Objektliste abgeglichen, Objekte sind zu bearbeiten")
                    : QStringLiteral("Objektliste abgeglichen, keine Objekte zu bearbeiten"));
    if (!work)
        return;
    TUiAdapter::RebuildObjectViews();
    // 2. The prompt, which answers itself after its countdown.
    const bool silent = MainConfig().GetBoolean(QStringLiteral("ClientSilentInstall"));
    if (!silent)
        client.SetInstallConfirmed(AskNewObjects());
    // 3. Installation, then the objects to start and their scripts (Installation.cpp).
    if (silent || client.InstallConfirmed())
        RunInstallation(client);
}
