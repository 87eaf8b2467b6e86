// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/main/CatalogueCommands.h"

#include <memory>

#include <QFileInfo>

#include "base/WorkerThread.h"

#include "catalogue/ChangeNotifyBase.h"
#include "catalogue/ImportChilds.h"
#include "catalogue/SyncClient.h"
#include "catalogue/SyncObject.h"
#include "platform/ShellOpen.h"
#include "ui/views/MainViewsThread.h"

int DeleteObjects(const QStringList& keys, const TAsk& ask, const TWarn& warn)
{
    int removed = 0;
    for (const QString& key : keys) {
        TSyncObject* object = FindBySourcePath(key);
        if (object == nullptr)
            continue;
        if (const TSyncObject* parent = object->Parent()) {
            warn(QStringLiteral("Dieses Quellobjekt ist abhängig vom Objekt \"%1\".\r\nEs darf nicht gelöscht werden.")
                     .arg(parent->SourceName()));
            continue;
        }
        if (!ask(QStringLiteral("Das Quellobjekt \"%1\" wird aus der Objektliste entfernt.\r\nEs selbst und alle evtl. "
                                "damit verbundenen Objekte stehen zukünftig zur Verteilung nicht mehr zur "
                                "Verfügung.\r\nMöchten Sie fortfahren?")
                     .arg(object->SourceName())))
            continue;
        // A builder or the monitor may be reading any object.
        CancelObjectViewBuilds();
        StopFolderMonitoring();
        if (object->DistributeFolder()) {
            StopImport(object);
            object->DeleteFolderStructureObjects();
        }
        RemoveObject(object);
        ++removed;
    }
    if (removed > 0) {
        SaveObjectList();
        StartViewBuild(TViewKind::ObjectTree);
        StartViewBuild(TViewKind::ObjectList);
        StartFolderMonitoring();
    }
    return removed;
}

int DeleteClients(const QStringList& names, const TAsk& ask)
{
    int removed = 0;
    for (const QString& name : names) {
        TSyncClient* client = FindClientByName(name);
        if (client == nullptr)
            continue;
        if (!ask(QStringLiteral("Der Client \"%1\" wird aus der Client-Liste entfernt. Möchten Sie fortfahren?")
                     .arg(client->Name())))
            continue;
        DeleteClient(client);
        ++removed;
    }
    return removed;
}

void OpenObject(const QString& key, bool explore, QObject* context, const TWarn& warn)
{
    const TSyncObject* object = FindBySourcePath(key);
    if (object == nullptr)
        return;
    // Copies: the object may be gone before the thread looks at the files.
    const QString target = object->TargetPath();
    const QString source = object->ResolvedSourcePath();
    auto opened = std::make_shared<bool>(false);
    RunInBackground(
        context, "ObjectOpen",
        [target, source, explore, opened] {
            if (!explore) {
                const QString path = QFileInfo::exists(target) ? target : source;
                *opened = QFileInfo::exists(path) && ShellOpen(path);
                return;
            }
            const QString targetFolder = QFileInfo(target).absolutePath();
            const bool installed = QFileInfo::exists(target);
            const QString item = QFileInfo(targetFolder).isDir() ? (installed ? target : targetFolder) : source;
            *opened = QFileInfo::exists(item) && ShellExplore(item);
        },
        [opened, warn] {
            if (!*opened)
                warn(QStringLiteral("Das Objekt konnte nicht geöffnet werden."));
        });
}
