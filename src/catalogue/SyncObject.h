// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <atomic>
#include <functional>
#include <memory>

#include <QString>
#include <QStringList>

#include "base/DateTime.h"
#include "base/Exceptions.h"
#include "base/ReentrantRWLock.h"
#include "base/TextFields.h"
#include "catalogue/SyncChain.h"

/// An index outside an object's client-group or provider list.
class EListIndexError : public EPlenwick
{
public:
    using EPlenwick::EPlenwick;
};

/// A name no object line can carry (it holds CR or LF).
class EObjectNameError : public EPlenwick
{
public:
    using EPlenwick::EPlenwick;
};

/// The object lock: guards the fields of all objects and the object list
/// index. Re-entrant for its writer.
TReentrantRWLock& ObjectLock();

/// One replicable object: a source file of the master server with its target
/// folder and installation flags, a folder-structure object generated from a
/// distributed folder, or a Scriptus companion. Every accessor takes the object
/// lock, so each field access is atomic; compound operations are not.
class TSyncObject : public TSyncChain
{
public:
    TSyncObject(const QString& sourceName, const QString& version, qint32 size, TDateTime modifiedDate,
                const QString& targetFolder);

    TSyncObject* Next() const { return static_cast<TSyncObject*>(GetNext()); }

    QString SourceName() const { return Read(m_sourceName); }
    /// Also moves the object in the list's path index.
    void SetSourceName(const QString& value);
    QString TargetFolder() const { return Read(m_targetFolder); }
    void SetTargetFolder(const QString& value) { Write(m_targetFolder, value); }
    QString Description() const { return Read(m_description); }
    /// A line break becomes a space: the object line cannot hold one.
    void SetDescription(const QString& value) { Write(m_description, WithoutLineBreaks(value)); }
    TDateTime ModifiedDate() const { return Read(m_modifiedDate); }
    void SetModifiedDate(TDateTime value) { Write(m_modifiedDate, value); }
    /// "dd.mm.yy hh:nn:ss"
    QString ModifiedDateText() const { return FormatDateTime(ModifiedDate()); }
    qint32 Size() const { return Read(m_size); }
    void SetSize(qint32 value) { Write(m_size, value); }
    QString Version() const { return Read(m_version); }
    void SetVersion(const QString& value) { Write(m_version, value); }
    QString ScriptusFile() const { return Read(m_scriptusFile); }
    void SetScriptusFile(const QString& value) { Write(m_scriptusFile, value); }
    bool DistributeFolder() const { return Read(m_distributeFolder); }
    void SetDistributeFolder(bool value) { Write(m_distributeFolder, value); }
    bool IncludeSubfolders() const { return Read(m_includeSubfolders); }
    void SetIncludeSubfolders(bool value) { Write(m_includeSubfolders, value); }
    bool Persistent() const { return Read(m_persistent); }
    void SetPersistent(bool value) { Write(m_persistent, value); }
    bool UseClientGroupRights() const { return Read(m_useClientGroupRights); }
    void SetUseClientGroupRights(bool value) { Write(m_useClientGroupRights, value); }
    /// The object a folder-structure object was generated from; not owned.
    TSyncObject* Parent() const { return Read(m_parent); }
    void SetParent(TSyncObject* value) { Write(m_parent, value); }
    qint32 Reserved() const { return Read(m_reserved); }
    void SetReserved(qint32 value) { Write(m_reserved, value); }
    bool SwapOnly() const { return Read(m_swapOnly); }
    void SetSwapOnly(bool value) { Write(m_swapOnly, value); }
    bool StartAfterTransfer() const { return Read(m_startAfterTransfer); }
    void SetStartAfterTransfer(bool value) { Write(m_startAfterTransfer, value); }
    bool Autostart() const { return Read(m_autostart); }
    void SetAutostart(bool value) { Write(m_autostart, value); }
    bool RegisterOcx() const { return Read(m_registerOcx); }
    void SetRegisterOcx(bool value) { Write(m_registerOcx, value); }
    bool DeleteTarget() const { return Read(m_deleteTarget); }
    void SetDeleteTarget(bool value) { Write(m_deleteTarget, value); }
    bool ScriptusCompanion() const { return Read(m_scriptusCompanion); }
    void SetScriptusCompanion(bool value) { Write(m_scriptusCompanion, value); }

    void AddClientGroup(const QString& path);
    int ClientGroupCount() const;
    /// Raises EListIndexError for an index outside the list.
    QString GetClientGroup(int index) const;
    void SetClientGroup(int index, const QString& path);
    void ClearClientGroups();
    QStringList ClientGroups() const { return Read(m_clientGroups); }

    /// Peers that announced that they hold this object's current version,
    /// each once; never stored.
    void AddProvider(const QString& name);
    int ProviderCount() const;
    QString GetProvider(int index) const;
    QStringList Providers() const { return Read(m_providers); }
    /// Forgets the providers: each object list exchange asks anew.
    void ClearProviders();

    /// SourceName, prefixed by ServerObjectDir when it is not absolute.
    QString ResolvedSourcePath() const;
    /// ScriptusFile, prefixed by ServerScriptusDir when it is not absolute; "" stays "".
    QString ResolvedScriptusPath() const;
    /// TargetFolder followed by the file-name part of SourceName; for a
    /// Scriptus companion by the whole relative name (its subfolder kept).
    QString TargetPath() const;
    /// Whether a command file name may be used on a client: relative, and
    /// without a ".." step that would leave the target folder.
    static bool IsSafeScriptusName(const QString& name);
    /// The protocol line for a command file name that is not safe.
    static QString ScriptusNameRefusal(const QString& name);

    /// The id computed from date, size, the five action flags and the parity of
    /// the name's byte sum; it changes whenever the object does for the clients.
    quint64 ComputeId() const;
    /// The 20-field line of the object list file and the object list exchange.
    QString ToLine() const;
    /// Appends that line as UTF-8, without line end.
    void AppendLine(QByteArray& out) const;
    /// Reads such a line. A line without exactly 20 fields gives nullptr after
    /// the incompatible-list warning; a field that cannot be converted raises
    /// EConvertError.
    static std::unique_ptr<TSyncObject> FromLine(const QString& line);
    /// FromLine on the UTF-8 bytes of a line.
    static std::unique_ptr<TSyncObject> FromUtf8Line(QByteArrayView line);
    /// A new object for a source file: dated now, then given the file's date,
    /// size and version when the file exists. Not yet in the list.
    static std::unique_ptr<TSyncObject> FromSource(const QString& sourceName, const QString& targetFolder);

    /// The flags as one text: C X A R D P S.
    QString AttributeLetters() const;

    /// The file exists with exactly this object's date and size.
    bool MatchesFile(const QString& path) const;
    /// A next-start installation of TargetPath is waiting in RunOnce.
    bool PendingInRunOnce() const;
    bool IsInstalled() const;
    /// The object may be offered or served from this computer.
    bool IsCurrent() const;
    /// A client has to act on the object (install or delete).
    bool NeedsInstallation() const;
    /// Takes date, version and size from the source file; true when any changed.
    bool RefreshFromSource();
    /// Copies the flags, description, date, target folder, size and version
    /// into other; true (and logged) when date, target, size or version differed.
    bool CopyPropertiesTo(TSyncObject& other) const;
    /// A companion object for the Scriptus file, not in the list; nullptr when
    /// the file is missing or could not be probed (logged).
    std::unique_ptr<TSyncObject> GenerateScriptusCompanion() const;
    /// Removes every object generated from this one's folder.
    void DeleteFolderStructureObjects();
    /// The object whose client-group rights decide for this one: the parent of
    /// a folder-structure object, else the object itself.
    const TSyncObject& RightsHolder() const;
    /// Whether a client of this group path may receive the object, by its
    /// rights holder's client groups; a refusal is logged.
    bool ClientEntitled(const QString& groupPath) const;

private:
    friend class TObjectList;

    template <class T>
    T Read(const T& field) const
    {
        TReadGuard guard(ObjectLock());
        return field;
    }
    template <class T>
    void Write(T& field, const T& value)
    {
        TWriteGuard guard(ObjectLock());
        field = value;
    }

    QString m_sourceName;
    QString m_targetFolder;
    QString m_description;
    TDateTime m_modifiedDate = 0;
    qint32 m_size = 0;
    QString m_version;
    QString m_scriptusFile;
    QStringList m_clientGroups;
    QStringList m_providers;
    bool m_distributeFolder = false;
    bool m_includeSubfolders = false;
    bool m_persistent = true;
    bool m_useClientGroupRights = false;
    TSyncObject* m_parent = nullptr;
    qint32 m_reserved = 0;
    bool m_swapOnly = false;
    bool m_startAfterTransfer = false;
    bool m_autostart = false;
    bool m_registerOcx = false;
    bool m_deleteTarget = false;
    bool m_scriptusCompanion = false;
    // List bookkeeping: whether the object is in the list, its place in
    // append order (the index picks the first in list order) and the hash of
    // its indexed name (the index grows without hashing every name again).
    bool m_listed = false;
    quint64 m_sequence = 0;
    std::size_t m_pathHash = 0;
    mutable std::atomic<bool> m_runOnceReported{false};
};

/// Held by a walk of the object list, or a use of a found object, on a thread
/// that runs beside removals without holding the object lock (a removal waits
/// for the lock, and a log from under it could wait for the main thread): an
/// object removed meanwhile stays readable, links included, until the last
/// such walk ends.
class TObjectWalk
{
public:
    TObjectWalk();
    ~TObjectWalk();
    TObjectWalk(const TObjectWalk&) = delete;
    TObjectWalk& operator=(const TObjectWalk&) = delete;
};

/// The head of the object list.
TSyncObject* FirstObject();
/// Number of objects in the list.
int ObjectCount();
/// The first object in list order whose resolved source path equals the path
/// (resolved the same way), ignoring case; nullptr when none. Constant time on
/// average through an index beside the list.
TSyncObject* FindBySourcePath(const QString& path);
/// Appends an object; the list owns it from now on. A source name, target
/// folder or Scriptus file with a line break raises EObjectNameError.
TSyncObject* AppendObject(std::unique_ptr<TSyncObject> object);
/// Unlinks and destroys an object, and the folder-structure objects generated
/// from it, which would otherwise point to nothing.
void RemoveObject(TSyncObject* object);
/// Replaces the old client-group path prefix in every object's client groups;
/// true when any entry changed.
bool ReassignObjectGroupPaths(const QString& oldPath, const QString& newPath);
/// Reads plenwick.objects; a missing file is no error, a bad line is skipped.
/// Returns the objects that distribute their folder: the caller starts their
/// imports once the whole list is in, since an import beside the load would
/// duplicate an object listed later instead of taking it over.
QList<TSyncObject*> LoadObjectList();
/// Writes every persistent object, atomically.
void SaveObjectList();
/// Empties the list. The caller stops the imports and the folder monitor
/// first: they walk the list.
void FreeAllObjects();

/// Registers what tidies up after the object list changed (the download
/// list, the transfer cache); called in registration order.
void AddObjectListListener(std::function<void()> listener);
/// Tells the listeners that objects were added, removed or changed for good:
/// after a save, an import's end, a refresh by the folder monitor. Called on
/// the changing thread, holding no lock.
void ObjectListChanged();
