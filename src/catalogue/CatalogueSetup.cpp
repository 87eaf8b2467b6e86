// SPDX-License-Identifier: GPL-3.0-or-later
#include "catalogue/CatalogueSetup.h"

#include <memory>
#include <utility>

#include "catalogue/ChangeNotifyBase.h"
#include "catalogue/ImportChilds.h"
#include "catalogue/SyncClient.h"
#include "catalogue/SyncDownload.h"
#include "catalogue/SyncObject.h"
#include "catalogue/SyncUser.h"
#include "foundation/Startup.h"

void InstallCatalogue()
{
    // Read on the list reader; the imports, the folder monitoring and the
    // cleaning start on the main thread once every list is in.
    auto owners = std::make_shared<QList<TSyncObject*>>();
    SetListLoader(
        TListKind::Objects, [owners] { *owners = LoadObjectList(); },
        [owners] { StartFolderThreads(std::exchange(*owners, {})); });
    SetLastImportEndedHandler(&StartFolderMonitoring);
    SetListLoader(TListKind::Clients, &LoadClientList);
    auto downloadsRead = std::make_shared<bool>(false);
    SetListLoader(
        TListKind::Downloads, [downloadsRead] { *downloadsRead = ReadDownloadList(); },
        [downloadsRead] {
            if (std::exchange(*downloadsRead, false))
                RewriteDownloadList();
        });
    SetListLoader(TListKind::Users, &LoadUserList);
    // Records of objects that are gone or changed are dropped when the list changes.
    static const bool tidying = [] {
        AddObjectListListener(&TidyDownloadList);
        return true;
    }();
    (void)tidying;
}
