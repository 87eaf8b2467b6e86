// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <functional>

#include <QFileInfoList>
#include <QString>
#include <QThread>

class TSyncObject;

/// One folder-structure import: turns the folder tree of an object with
/// DistributeFolder into folder-structure objects, one per file, generated
/// anew after each start and each change of the tree. Several imports may
/// run at once, one per owner. The unit owns its threads and disposes of the
/// finished ones.
class TThreadImportChilds : public QThread
{
public:
    /// owner: the object whose folder is imported; not owned.
    explicit TThreadImportChilds(TSyncObject* owner) : m_owner(owner) {}

    TSyncObject* Owner() const { return m_owner; }

protected:
    void run() override;

private:
    /// folder: absolute, with trailing "/"; relative: its path below the root,
    /// "" or names each followed by "/".
    void ImportFolder(const QString& folder, const QString& relative);
    void ImportFile(const QString& path, const QFileInfo& entry, const QString& relative);
    void Finish();

    TSyncObject* m_owner;
    // Read from the owner once per folder.
    QString m_ownerFolder;
    QString m_ownerSource;
    QString m_ownerTarget;
    QString m_ownerDescription;
    bool m_swapOnly = false;
    bool m_deleteTarget = false;
};

/// What runs when the last import ends without being stopped (the folder
/// monitor's start, which waits for the imports); on that import's thread.
void SetLastImportEndedHandler(std::function<void()> handler);
/// Starts an import of the owner's folder tree. The caller removes the
/// owner's old folder-structure objects first.
void StartImport(TSyncObject* owner);
/// Some import is still in the import list.
bool IsImportRunning();
/// Blocks until the import list is empty (true) or giveUp, asked about every
/// 100 ms, says to stop waiting (false). Not on the main thread: an import
/// may wait for it to log.
bool WaitForImportsEnd(const std::function<bool()>& giveUp);
/// Stops the first import of this owner and waits for its end (on the main
/// thread the event loop keeps running). No import for the owner: nothing.
void StopImport(TSyncObject* owner);
/// Stops every import and waits for their ends.
void StopAllImports();
/// For the shutdown: true when no import thread is left; else asks every one
/// to end, without waiting, and returns false.
bool RequestAllImportsStop();
/// Folders scanned by the running imports; back to 0 when the last one ends.
quint32 ImportedFolderCount();

/// The folder part of a path, with its trailing "/".
QString FolderOfPath(const QString& path);
/// A folder's entries in name order, hidden ones included. Only regular files
/// and real folders are listed: a folder reached through a link is left out,
/// so a link back up cannot make a walk endless, and devices or pipes are
/// never opened.
QFileInfoList FolderEntries(const QString& folder);
