// SPDX-License-Identifier: GPL-3.0-or-later
#include "replication/ObjectList.h"

#include <memory>

#include <QFileInfo>

#include "base/TextFields.h"
#include "catalogue/SyncClient.h"
#include "catalogue/SyncDownload.h"
#include "catalogue/SyncObject.h"
#include "foundation/MainConfig.h"
#include "foundation/PoolInterlocked.h"
#include "replication/Broadcast.h"
#include "replication/ClientBase.h"
#include "replication/Session.h"
#include "replication/TransferCache.h"

namespace {

QString ExchangeFailure(const std::exception& error)
{
    return QStringLiteral("Bei der Bearbeitung der Objektliste ") + ExceptionSuffix(error);
}

QString TargetState(bool acts)
{
    return acts ? QStringLiteral("aktueller") : QStringLiteral("bereits installiert (oder darf nur getauscht werden)");
}

// Writes the lines for one object: its Scriptus companion first, then itself.
void OfferObject(TSession& session, const TSyncObject& object, const TSyncClient& client, bool offerNewer)
{
    const QString name = object.SourceName();
    if (!object.IsCurrent() && !object.DeleteTarget()) {
        session.Log(QStringLiteral("Objekt \"%1\" ist privat und wird nicht verteilt").arg(name));
        return;
    }
    if ((offerNewer && HasDownloaded(client, object)) || !object.ClientEntitled(client.GroupPath())) {
        session.Log(QStringLiteral("Übertragung des Objekts \"%1\" nicht erforderlich").arg(name));
        return;
    }
    if (!object.ScriptusFile().isEmpty())
        if (const std::unique_ptr<TSyncObject> companion = object.GenerateScriptusCompanion())
            session.Reply(companion->ToLine());
    session.Reply(object.ToLine());
}

// Merges one received object into the local catalogue; true when it needs an action.
bool MergeObject(TClientBase& client, std::unique_ptr<TSyncObject> received, bool broadcastSearch)
{
    const QString name = received->SourceName();
    // Its name decides where on this computer it is written.
    if (received->ScriptusCompanion() && !TSyncObject::IsSafeScriptusName(name)) {
        client.Log(TSyncObject::ScriptusNameRefusal(name));
        return false;
    }
    if (TSyncObject* known = FindBySourcePath(name)) {
        client.Log(QStringLiteral("Quellobjekt \"%1\" ist bereits bekannt").arg(name));
        const bool changed = received->CopyPropertiesTo(*known);
        const bool work = changed || known->NeedsInstallation();
        client.Log(QStringLiteral("Zielobjekt \"%1\" ist ").arg(received->TargetPath()) + TargetState(changed));
        if (changed) {
            if (broadcastSearch)
                QueryDownload(*known);
            if (IsMasterServer())
                SaveObjectList();
        }
        return work;
    }
    if (received->SwapOnly() && !QFileInfo(received->TargetPath()).isFile()) {
        client.Log(QStringLiteral("Zielobjekt \"%1\" ignoriert; darf nur getauscht werden, ").arg(name) +
                   QStringLiteral("ist aber lokal gar nicht vorhanden"));
        return false;
    }
    TSyncObject* added = AppendObject(std::move(received));
    const bool need = added->NeedsInstallation();
    if (need && broadcastSearch)
        QueryDownload(*added);
    client.Log(QStringLiteral("Zielobjekt \"%1\" ist ").arg(name) + TargetState(need));
    return need;
}

} // namespace

void HandleObjList(TSession& session, const QStringList& /*words*/)
{
    const QString request = QStringLiteral("Anforderung der Objektliste");
    session.Log(request);
    ServerMessage(session.PeerName(), request);
    const TSyncClient* client = FindClientByName(session.PeerName());
    if (client == nullptr) {
        session.Log(QStringLiteral("Der anfragende Client konnte nicht ermittelt werden"));
        return;
    }
    // The client will ask for these objects next: compress ahead of its request.
    WakeTransferCache();
    const bool offerNewer = MainConfig().GetBoolean(QStringLiteral("ServerOfferNewerObjects"));
    session.Reply(QStringLiteral("OBJLIST start"));
    for (const TSyncObject* object = FirstObject(); object != nullptr; object = object->Next()) {
        if (object->ScriptusCompanion())
            continue;
        try {
            OfferObject(session, *object, *client, offerNewer);
        } catch (const ESocketError&) {
            throw; // the client is gone: the rest of the list has no reader
        } catch (const std::exception& error) {
            session.Log(ExchangeFailure(error));
        }
    }
    session.Reply(QStringLiteral("end"));
}

bool ExchangeObjectList(TClientBase& client)
{
    const bool broadcastSearch = MainConfig().GetBoolean(QStringLiteral("ClientFindObjectsOverBroadcast"));
    bool work = false;
    // Providers of an earlier exchange may hold an older version by now.
    {
        const TObjectWalk walk;
        for (TSyncObject* object = FirstObject(); object != nullptr; object = object->Next())
            object->ClearProviders();
    }
    try {
        client.Send(QStringLiteral("OBJLIST"));
        if (SplitFields(client.ReceiveReply(), QLatin1Char(' ')).size() != 2)
            return false;
        for (QString line = client.ReceiveReply(); line.compare(QLatin1String("end"), Qt::CaseInsensitive) != 0;
             line = client.ReceiveReply()) {
            // A time-out ends the list: nothing further would come.
            if (line.isEmpty())
                break;
            // A line that does not parse is skipped: the rest of the list is
            // still on the connection and as good as before.
            std::unique_ptr<TSyncObject> received;
            try {
                received = TSyncObject::FromLine(line);
            } catch (const EConvertError& error) {
                client.Log(ExchangeFailure(error));
            }
            if (received)
                work = MergeObject(client, std::move(received), broadcastSearch) || work;
        }
    } catch (const std::exception& error) {
        client.Log(ExchangeFailure(error));
    }
    return work;
}
