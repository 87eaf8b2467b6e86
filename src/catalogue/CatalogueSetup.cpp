// SPDX-License-Identifier: GPL-3.0-or-later
#include "catalogue/CatalogueSetup.h"

#include "catalogue/ChangeNotifyBase.h"
#include "catalogue/ImportChilds.h"
#include "catalogue/SyncClient.h"
#include "catalogue/SyncDownload.h"
#include "catalogue/SyncObject.h"
#include "catalogue/SyncUser.h"
#include "foundation/Startup.h"

void InstallCatalogue()
{
    SetListLoader(TListKind::Objects, [] { StartFolderThreads(LoadObjectList()); });
    SetLastImportEndedHandler(&StartFolderMonitoring);
    SetListLoader(TListKind::Clients, &LoadClientList);
    SetListLoader(TListKind::Downloads, &LoadDownloadList);
    SetListLoader(TListKind::Users, &LoadUserList);
    // Records of objects that are gone or changed are dropped when the list changes.
    static const bool tidying = [] {
        AddObjectListListener(&TidyDownloadList);
        return true;
    }();
    (void)tidying;
}
