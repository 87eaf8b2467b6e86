// SPDX-License-Identifier: GPL-3.0-or-later
#include "replication/Conversation.h"

#include "catalogue/ImportChilds.h"
#include "foundation/ObjectUpdateTimer.h"
#include "foundation/PoolInterlocked.h"
#include "foundation/UiAdapter.h"
#include "replication/ClientBase.h"
#include "replication/Login.h"

void RunConversation(TClientBase& client, const TConversationSequence& sequence)
{
    // Paused while this conversation runs; resumed at its end, also after a
    // failed connection or a refused login (one unreachable moment of the
    // server must not end periodic updates), whatever ran beside it.
    TObjectUpdateTimer::UpdateStarted();
    struct TResume {
        ~TResume() { TObjectUpdateTimer::UpdateEnded(); }
    } resume;
    const TConnectInfo& info = client.ConnectInfo();
    // The imports started with the object list take over any object of their
    // tree with the owner's flags as they read them: merged beside them, the
    // server's list could lose its delete marks or gain a second object of a
    // name. Waited for before connecting, as the server waits for the next
    // request only so long.
    if (info.kind == TConnectKind::Update && IsImportRunning()) {
        client.Log(QStringLiteral("Warte auf das Ende des Ordnerstruktur-Imports"));
        if (!WaitForImportsEnd([&client] { return client.TerminateRequested(); }))
            return;
    }
    try {
        client.Log(QStringLiteral("Verbinde mit Server %1:%2").arg(info.host).arg(info.port));
        client.Connect();
        client.Log(QStringLiteral("Verbindung hergestellt"));
        if (!client.TerminateRequested())
            TUiAdapter::UpdateActionStates();
        if (ClientLogin(client)) {
            if (sequence)
                sequence(client);
            if (!client.TerminateRequested()) {
                TUiAdapter::RebuildObjectViews();
                TUiAdapter::RebuildClientViews();
                TUiAdapter::UpdateActionStates();
            }
        }
        client.Log(QStringLiteral("Keine weiteren Kommandos anstehend, beende Verbindung"));
        // The end of an installation run may have closed it already.
        if (client.Connection().IsOpen() && !client.Connection().Disconnect())
            client.Log(QStringLiteral("Die Client-Verbindung konnte nicht ordentlich geschlossen werden"));
        ClientMessage(QStringLiteral("Synchronisation mit Server erfolgreich abgeschlossen"));
    } catch (const std::exception& error) {
        client.Log(QStringLiteral("Beim Verbindungsaufbau ") + ExceptionSuffix(error));
        ClientMessage(ExceptionText(error));
    }
}
