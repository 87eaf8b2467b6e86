// SPDX-License-Identifier: GPL-3.0-or-later
#include "catalogue/ChangeNotifyThread.h"

#include <algorithm>

#include <QFileInfo>

#include "catalogue/ImportChilds.h"
#include "catalogue/SyncObject.h"
#include "foundation/MainConfig.h"
#include "foundation/PoolInterlocked.h"
#include "foundation/UiAdapter.h"

namespace {

void Note(const QString& message)
{
    Log(QStringLiteral("ChangeNotifyThread"), message, 55);
}

// The tree an object belongs to: its parent, or itself when it distributes its
// folder (a tree whose folder holds only the owner's file has no child yet).
TSyncObject* TreeOf(TSyncObject* object)
{
    if (TSyncObject* parent = object->Parent())
        return parent;
    return object->DistributeFolder() ? object : nullptr;
}

} // namespace

void TChangeNotifyThread::run()
{
    Note(QStringLiteral("ChangeNotifyThread wird gestartet"));
    m_watch = std::make_unique<TDirectoryWatch>();
    try {
        BuildWatchSet();
        if (m_watchCount > 0)
            WatchLoop();
    } catch (const std::exception& error) {
        // Said aloud: otherwise changes would go unnoticed without a trace.
        Note(QStringLiteral("In der Ordnerüberwachung ") + ExceptionSuffix(error));
    }
    CloseAll();
    m_watch.reset();
    m_ended(this);
    Note(QStringLiteral("ChangeNotifyThread terminiert"));
}

void TChangeNotifyThread::BuildWatchSet()
{
    bool first = true;
    QString previous;
    for (TSyncObject* object = FirstObject(); object != nullptr && !isInterruptionRequested();
         object = object->Next()) {
        const QString folder = FolderOfPath(object->ResolvedSourcePath());
        if (!first && folder == previous)
            continue;
        first = false;
        previous = folder;
        if (!QFileInfo(folder).isDir() || m_watchedFolders.contains(folder))
            continue;
        AddFolder(folder);
        if (object->IncludeSubfolders())
            AddSubfolders(folder);
    }
    Note(QStringLiteral("Veränderungen in %1 Ordnern werden überwacht").arg(m_watchCount));
}

void TChangeNotifyThread::AddFolder(const QString& folder)
{
    if (m_watchCount == kMaxWatchCount) {
        Note(QStringLiteral("Fehler in Ordnerüberwachung \"%1\": es können maximal %2 Ordner überwacht werden")
                 .arg(folder, QString::number(kMaxWatchCount)));
        return;
    }
    int error = 0;
    const int handle = m_watch->Add(folder, error);
    if (handle < 0) {
        // Takes no slot: an invalid handle in the wait would end the monitor.
        Note(QStringLiteral("INVALID_HANDLE_VALUE mit Fehlercode #%1 für \"%2\"").arg(error).arg(folder));
        return;
    }
    m_watchedFolders.append(folder);
    m_watchHandles.push_back(handle);
    ++m_watchCount;
    Note(QStringLiteral("%1. Ordner \"%2\" wird überwacht").arg(m_watchCount).arg(folder));
}

void TChangeNotifyThread::AddSubfolders(const QString& folder)
{
    for (const QFileInfo& entry : FolderEntries(folder)) {
        if (isInterruptionRequested())
            return;
        if (!entry.isDir())
            continue;
        const QString subfolder = folder + entry.fileName() + QLatin1Char('/');
        AddFolder(subfolder);
        AddSubfolders(subfolder);
    }
}

void TChangeNotifyThread::WatchLoop()
{
    // The setting's number is taken as milliseconds. At least 1: 0 would spin,
    // and a negative wait would never see a stop request.
    const int timeoutMs = std::max(1, MainConfig().GetInteger(QStringLiteral("ClientInputWaitTimeInSecs")));
    bool lastFailed = false;
    while (!isInterruptionRequested()) {
        const TDirectoryWatch::TWait wait = m_watch->Wait(timeoutMs);
        if (wait.result == TDirectoryWatch::TResult::Failed) {
            Note(QStringLiteral("WAIT_FAILED bei WaitForMultipleObjects() mit Fehlercode #%1").arg(wait.error));
            if (lastFailed)
                requestInterruption();
            lastFailed = true;
            continue;
        }
        if (wait.result == TDirectoryWatch::TResult::Timeout)
            continue;
        if (lastFailed)
            Note(QStringLiteral("WaitForMultipleObjects() nun erfolgreich initiiert"));
        lastFailed = false;
        const auto index =
            std::find(m_watchHandles.begin(), m_watchHandles.end(), wait.handle) - m_watchHandles.begin();
        HandleChange(static_cast<int>(index));
    }
}

bool TChangeNotifyThread::Refresh(TSyncObject* object)
{
    try {
        return object->RefreshFromSource();
    } catch (const std::exception& error) {
        Note(QStringLiteral("Beim Prüfen von \"%1\" ").arg(object->ResolvedSourcePath()) + ExceptionSuffix(error));
        return false;
    }
}

void TChangeNotifyThread::HandleChange(int index)
{
    const QString changed = m_watchedFolders[index];
    Note(QStringLiteral("Ordner \"%1\" wurde modifiziert").arg(changed));
    TSyncObject* treeOwner = nullptr;
    bool modified = false;
    bool stopped = false;
    for (TSyncObject* object = FirstObject(); object != nullptr; object = object->Next()) {
        if (isInterruptionRequested()) {
            stopped = true;
            break;
        }
        const QString folder = FolderOfPath(object->ResolvedSourcePath());
        TSyncObject* tree = TreeOf(object);
        if (folder == changed) {
            // One signal may stand for several changed files: every object of
            // the folder is refreshed, else the others stay stale until the
            // folder happens to change again.
            if (Refresh(object)) {
                modified = true;
                treeOwner = nullptr;
                Note(QStringLiteral("Objekt \"%1\" wurde modifiziert").arg(object->SourceName()));
                continue;
            }
            if (tree != nullptr && !modified)
                treeOwner = tree;
        } else if (!modified && treeOwner == nullptr && tree != nullptr && tree->IncludeSubfolders() &&
                   changed.startsWith(folder)) {
            // A change below the tree in a folder that holds no object yet.
            treeOwner = tree;
        }
    }
    if (!stopped) {
        if (treeOwner != nullptr) {
            MarkMissingObjects(changed);
            StopImport(treeOwner);
            // A view builder may be reading them.
            TUiAdapter::CancelObjectViewBuilds();
            treeOwner->DeleteFolderStructureObjects();
            StartImport(treeOwner);
            // The import starts the monitoring anew when it ends.
            requestInterruption();
            TUiAdapter::RebuildObjectViews();
        } else if (modified) {
            Note(QStringLiteral("Objektliste wird aktualisiert"));
            TUiAdapter::RebuildObjectViews();
            ObjectListChanged();
        }
    }
    m_watch->Rearm(m_watchHandles[index]);
}

void TChangeNotifyThread::MarkMissingObjects(const QString& changed)
{
    if (!MainConfig().GetBoolean(QStringLiteral("ClientQueryMissingObjects")))
        return;
    Note(QStringLiteral("Suche fehlende Objekte im Ordner \"%1\"").arg(changed));
    // The import puts the objects of one folder next to each other: after a
    // run of them that held folder-structure objects, nothing more follows.
    bool inRun = false;
    bool runHadParent = false;
    for (TSyncObject* object = FirstObject(); object != nullptr && !isInterruptionRequested();
         object = object->Next()) {
        const QString source = object->ResolvedSourcePath();
        if (FolderOfPath(source) != changed) {
            if (inRun && runHadParent)
                break;
            inRun = false;
            continue;
        }
        inRun = true;
        runHadParent = runHadParent || object->Parent() != nullptr;
        if (object->DeleteTarget() || QFileInfo::exists(source))
            continue;
        Note(QStringLiteral("Objekt \"%1\" fehlt und wird als gelöscht gekennzeichnet").arg(object->SourceName()));
        object->SetPersistent(true);
        object->SetParent(nullptr);
        object->SetDeleteTarget(true);
        SaveObjectList();
    }
}

void TChangeNotifyThread::CloseAll()
{
    try {
        for (quint32 index = 0; index < m_watchCount; ++index) {
            int error = 0;
            if (!m_watch->Close(m_watchHandles[index], error))
                Note(QStringLiteral("FindCloseChangeNotification() fehlgeschlagen für Ordner \"%1\", Fehlercode #%2")
                         .arg(m_watchedFolders[index], QString::number(error)));
        }
    } catch (const std::exception& error) {
        Note(QStringLiteral("Beim Löschen der Notifications ") + ExceptionSuffix(error));
    }
}
