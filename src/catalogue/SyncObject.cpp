// SPDX-License-Identifier: GPL-3.0-or-later
#include "catalogue/SyncObject.h"

#include <atomic>
#include <mutex>
#include <vector>

#include <QFile>
#include <QFileInfo>
#include <QHash>

#include "base/TextFields.h"
#include "catalogue/ListFile.h"
#include "foundation/MainConfig.h"
#include "foundation/PendingMoves.h"
#include "foundation/PoolInterlocked.h"
#include "platform/FileTimes.h"
#include "platform/FileVersion.h"
#include "platform/ProgramPaths.h"

namespace {

const QString kCategory = QStringLiteral("SyncObject");
constexpr int kIcon = 46;
constexpr int kFieldCount = 20;

qint32 FileSize(const QString& path)
{
    if (!QFileInfo::exists(path))
        return 0;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw EInOutError(QStringLiteral("Datei \"%1\" kann nicht geöffnet werden: %2").arg(path, file.errorString()));
    // The size is a signed 32-bit field of the line; larger files wrap as they always did.
    return static_cast<qint32>(file.size());
}

TDateTime FileDate(const QString& path)
{
    return FileLastWriteTime(path).value_or(0);
}

QString WithFolder(const QString& name, const char* folderOption)
{
    if (HasDrivePart(name))
        return name;
    return MainConfig().GetString(QLatin1String(folderOption)) + name;
}

} // namespace

namespace {

struct TWalks {
    std::atomic<int> open{0};
    std::mutex lock;
    std::vector<TSyncObject*> retired; // removed while a walk was open
};

TWalks& Walks()
{
    // Never destroyed: a walk may still end while the process ends.
    static auto* walks = new TWalks;
    return *walks;
}

// The object is already unlinked: only walks open now can still reach it.
void Retire(TSyncObject* object)
{
    TWalks& walks = Walks();
    {
        std::lock_guard guard(walks.lock);
        if (walks.open > 0) {
            walks.retired.push_back(object);
            return;
        }
    }
    delete object;
}

} // namespace

TObjectWalk::TObjectWalk()
{
    ++Walks().open;
}

TObjectWalk::~TObjectWalk()
{
    TWalks& walks = Walks();
    if (--walks.open > 0)
        return;
    std::vector<TSyncObject*> ended;
    {
        std::lock_guard guard(walks.lock);
        // A walk begun since cannot reach these: they were unlinked before.
        if (walks.open == 0)
            ended.swap(walks.retired);
    }
    for (TSyncObject* object : ended)
        delete object;
}

/// The process-wide object list with its path index. The index holds absolute
/// source names under their folded text and relative ones under their folded
/// text without the object folder, so a change of ServerObjectDir needs no
/// rebuild: a lookup strips the current folder instead.
class TObjectList
{
public:
    TChainList list;
    TReentrantRWLock lock;
    QMultiHash<QString, TSyncObject*> absolute;
    QMultiHash<QString, TSyncObject*> relative;
    quint64 nextSequence = 0;
    int count = 0;
    TListFile file{".objects", "SyncObject"};

    QMultiHash<QString, TSyncObject*>& Bucket(const QString& name) { return HasDrivePart(name) ? absolute : relative; }
    void Index(TSyncObject* object) { Bucket(object->m_sourceName).insert(object->m_sourceName, object); }
    void Unindex(TSyncObject* object) { Bucket(object->m_sourceName).remove(object->m_sourceName, object); }
    static TSyncObject* Earliest(const QMultiHash<QString, TSyncObject*>& bucket, const QString& key, TSyncObject* best)
    {
        for (auto [it, end] = bucket.equal_range(key); it != end; ++it)
            if (best == nullptr || (*it)->m_sequence < best->m_sequence)
                best = *it;
        return best;
    }
    void Remove(TSyncObject* object)
    {
        Unindex(object);
        --count;
        list.Unlink(object);
        Retire(object);
    }
    TSyncObject* Append(std::unique_ptr<TSyncObject> object)
    {
        TSyncObject* raw = object.release();
        raw->m_listed = true;
        raw->m_sequence = nextSequence++;
        Index(raw);
        ++count;
        list.Append(raw);
        return raw;
    }
    void RemoveChildrenOf(const TSyncObject* parent)
    {
        auto* object = static_cast<TSyncObject*>(list.Head());
        while (object != nullptr) {
            TSyncObject* next = object->Next();
            if (object->m_parent == parent)
                Remove(object);
            object = next;
        }
    }
    bool ReassignGroupPaths(const QString& oldPath, const QString& newPath)
    {
        bool changed = false;
        for (auto* object = static_cast<TSyncObject*>(list.Head()); object != nullptr; object = object->Next())
            for (QString& group : object->m_clientGroups)
                if (group.startsWith(oldPath, Qt::CaseInsensitive)) {
                    group = newPath + group.mid(oldPath.size());
                    changed = true;
                }
        return changed;
    }
};

namespace {

TObjectList& Objects()
{
    static TObjectList objects;
    return objects;
}

} // namespace

TReentrantRWLock& ObjectLock()
{
    return Objects().lock;
}

TSyncObject::TSyncObject(const QString& sourceName, const QString& version, qint32 size, TDateTime modifiedDate,
                         const QString& targetFolder)
    : m_sourceName(sourceName), m_targetFolder(targetFolder), m_modifiedDate(modifiedDate), m_size(size),
      m_version(version)
{
}

void TSyncObject::SetSourceName(const QString& value)
{
    TWriteGuard guard(ObjectLock());
    if (m_listed)
        Objects().Unindex(this);
    m_sourceName = value;
    if (m_listed)
        Objects().Index(this);
}

void TSyncObject::AddClientGroup(const QString& path)
{
    TWriteGuard guard(ObjectLock());
    m_clientGroups.append(path);
}

int TSyncObject::ClientGroupCount() const
{
    TReadGuard guard(ObjectLock());
    return static_cast<int>(m_clientGroups.size());
}

QString TSyncObject::GetClientGroup(int index) const
{
    TReadGuard guard(ObjectLock());
    if (index < 0 || index >= m_clientGroups.size())
        throw EListIndexError(QStringLiteral("Die Liste des Objekts verfügt nicht über diesen Index"));
    return m_clientGroups[index];
}

void TSyncObject::SetClientGroup(int index, const QString& path)
{
    TWriteGuard guard(ObjectLock());
    if (index < 0 || index >= m_clientGroups.size())
        throw EListIndexError(QStringLiteral("Die Client-Gruppenliste des Objekts verfügt nicht über diesen Index"));
    m_clientGroups[index] = path;
}

void TSyncObject::ClearClientGroups()
{
    TWriteGuard guard(ObjectLock());
    m_clientGroups.clear();
}

void TSyncObject::AddProvider(const QString& name)
{
    TWriteGuard guard(ObjectLock());
    if (!m_providers.contains(name, Qt::CaseInsensitive))
        m_providers.append(name);
}

void TSyncObject::ClearProviders()
{
    TWriteGuard guard(ObjectLock());
    m_providers.clear();
}

int TSyncObject::ProviderCount() const
{
    TReadGuard guard(ObjectLock());
    return static_cast<int>(m_providers.size());
}

QString TSyncObject::GetProvider(int index) const
{
    TReadGuard guard(ObjectLock());
    if (index < 0 || index >= m_providers.size())
        throw EListIndexError(QStringLiteral("Die Liste des Objekts verfügt nicht über diesen Index"));
    return m_providers[index];
}

QString TSyncObject::ResolvedSourcePath() const
{
    return WithFolder(SourceName(), "ServerObjectDir");
}

QString TSyncObject::ResolvedScriptusPath() const
{
    const QString name = ScriptusFile();
    return name.isEmpty() ? name : WithFolder(name, "ServerScriptusDir");
}

QString TSyncObject::TargetPath() const
{
    const QString name = SourceName();
    // A command file keeps the subfolder it has below the Scriptus folder,
    // where the client looks for it first.
    if (ScriptusCompanion() && IsSafeScriptusName(name))
        return TargetFolder() + name;
    return TargetFolder() + name.mid(name.lastIndexOf(QLatin1Char('/')) + 1);
}

QString TSyncObject::ScriptusNameRefusal(const QString& name)
{
    return QStringLiteral("Die Skriptus-Kommandodatei \"%1\" wird abgelehnt: ihr Name muss relativ sein und darf "
                          "kein \"..\" enthalten")
        .arg(name);
}

bool TSyncObject::IsSafeScriptusName(const QString& name)
{
    if (name.isEmpty() || name.startsWith(QLatin1Char('/')))
        return false;
    for (const QString& step : name.split(QLatin1Char('/')))
        if (step == QLatin1String(".."))
            return false;
    return true;
}

quint64 TSyncObject::ComputeId() const
{
    TReadGuard guard(ObjectLock());
    quint64 id = static_cast<quint64>(UnixTime(m_modifiedDate));
    id += static_cast<quint64>(static_cast<qint64>(m_size));
    if (m_swapOnly)
        id += quint64(1) << 26;
    if (m_startAfterTransfer)
        id += quint64(1) << 27;
    if (m_autostart)
        id += quint64(1) << 28;
    if (m_registerOcx)
        id += quint64(1) << 29;
    if (m_deleteTarget)
        id += quint64(1) << 30;
    quint32 byteSum = 0;
    for (const char byte : m_sourceName.toUtf8())
        byteSum += static_cast<uchar>(byte);
    // Only the parity survives the shift into bit 31 of a signed word; an odd
    // sum therefore subtracts 2^31, wrapping below zero.
    const auto parity = static_cast<qint32>(byteSum << 31);
    id += static_cast<quint64>(static_cast<qint64>(parity));
    return id;
}

QString TSyncObject::ToLine() const
{
    TReadGuard guard(ObjectLock());
    const QStringList fields{
        NumberToText(ComputeId()),
        QuoteField(m_sourceName),
        QuoteField(m_targetFolder),
        FormatDateTime(m_modifiedDate),
        QuoteField(m_version),
        QString::number(m_size),
        QString::number(m_reserved),
        QuoteField(m_clientGroups.join(QLatin1Char('|'))),
        QuoteField(m_description),
        QuoteField(m_scriptusFile),
        BooleanToText(m_swapOnly),
        BooleanToText(m_startAfterTransfer),
        BooleanToText(m_autostart),
        BooleanToText(m_registerOcx),
        BooleanToText(m_deleteTarget),
        BooleanToText(m_distributeFolder),
        BooleanToText(m_includeSubfolders),
        BooleanToText(m_persistent),
        BooleanToText(m_scriptusCompanion),
        BooleanToText(m_useClientGroupRights),
    };
    return fields.join(QLatin1Char(','));
}

std::unique_ptr<TSyncObject> TSyncObject::FromLine(const QString& line)
{
    const QStringList f = SplitFields(line, QLatin1Char(','));
    if (f.size() != kFieldCount) {
        ShowListWarning(QStringLiteral("Die Objektliste ist inkompatibel.\r\nZeile: ") + line);
        return nullptr;
    }
    const TDateTime date = DateTimeFromText(f[3]);
    const qint32 size = IntegerFromText(f[5]);
    const qint32 reserved = IntegerFromText(f[6]);
    // Not shared with anyone yet: the fields are set without the lock.
    auto object = std::make_unique<TSyncObject>(UnquoteField(f[1]), UnquoteField(f[4]), size, date, UnquoteField(f[2]));
    object->m_reserved = reserved;
    object->m_clientGroups = UnquoteField(f[7]).split(QLatin1Char('|'), Qt::SkipEmptyParts);
    object->m_description = UnquoteField(f[8]);
    object->m_scriptusFile = UnquoteField(f[9]);
    bool* const flags[] = {&object->m_swapOnly,          &object->m_startAfterTransfer,
                           &object->m_autostart,         &object->m_registerOcx,
                           &object->m_deleteTarget,      &object->m_distributeFolder,
                           &object->m_includeSubfolders, &object->m_persistent,
                           &object->m_scriptusCompanion, &object->m_useClientGroupRights};
    for (int i = 0; i < 10; ++i)
        *flags[i] = BooleanFromText(f[10 + i]);
    return object;
}

QString TSyncObject::AttributeLetters() const
{
    TReadGuard guard(ObjectLock());
    QString letters;
    const std::pair<bool, char> marks[] = {{m_swapOnly, 'C'},
                                           {m_startAfterTransfer, 'X'},
                                           {m_autostart, 'A'},
                                           {m_registerOcx, 'R'},
                                           {m_deleteTarget, 'D'},
                                           {m_scriptusCompanion, 'P'},
                                           {!m_scriptusFile.isEmpty(), 'S'}};
    for (const auto& [set, letter] : marks)
        if (set)
            letters.append(QLatin1Char(letter));
    return letters;
}

bool TSyncObject::MatchesFile(const QString& path) const
{
    if (!IsExistingFile(path) || FileDate(path) != ModifiedDate())
        return false;
    return FileSize(path) == Size();
}

bool TSyncObject::PendingInRunOnce() const
{
    const QString target = TargetPath();
    if (!HasPendingMove(target))
        return false;
    // Asked again and again while the installation waits for the next start: told once.
    if (!m_runOnceReported.exchange(true))
        Log(kCategory, QStringLiteral("Objekt \"%1\" in Registry-Schlüssel RunOnce gefunden").arg(target), kIcon);
    return true;
}

bool TSyncObject::IsInstalled() const
{
    return MatchesFile(TargetPath()) || PendingInRunOnce();
}

bool TSyncObject::IsCurrent() const
{
    if (!IsMasterServer() && IsInstalled())
        return true;
    const QString source = ResolvedSourcePath();
    if (source == ExecutablePath())
        return true;
    return MatchesFile(source);
}

bool TSyncObject::NeedsInstallation() const
{
    const bool exists = IsExistingFile(TargetPath());
    const bool deleteTarget = DeleteTarget();
    if (deleteTarget)
        return exists;
    return !IsInstalled() && (exists || !SwapOnly());
}

std::unique_ptr<TSyncObject> TSyncObject::FromSource(const QString& sourceName, const QString& targetFolder)
{
    auto object = std::make_unique<TSyncObject>(sourceName, QString(), 0, DateTimeNow(), targetFolder);
    const QString source = object->ResolvedSourcePath();
    if (IsExistingFile(source)) {
        object->m_modifiedDate = FileDate(source);
        object->m_version = FileVersion(source);
        object->m_size = FileSize(source);
    }
    return object;
}

bool TSyncObject::RefreshFromSource()
{
    const QString source = ResolvedSourcePath();
    if (!IsExistingFile(source))
        return false;
    bool changed = false;
    const TDateTime date = FileDate(source);
    if (date != ModifiedDate()) {
        Log(kCategory, QStringLiteral("Modifikationsdatum wurde modifiziert"), kIcon);
        SetModifiedDate(date);
        changed = true;
    }
    const QString version = FileVersion(source);
    if (version != Version()) {
        Log(kCategory, QStringLiteral("Version wurde modifiziert"), kIcon);
        SetVersion(version);
        changed = true;
    }
    const qint32 size = FileSize(source);
    if (size != Size()) {
        Log(kCategory, QStringLiteral("Größe wurde modifiziert"), kIcon);
        SetSize(size);
        changed = true;
    }
    if (changed)
        Log(kCategory, QStringLiteral("Datei \"%1\" wurde modifiziert").arg(source), kIcon);
    return changed;
}

bool TSyncObject::CopyPropertiesTo(TSyncObject& other) const
{
    const TDateTime date = ModifiedDate();
    const QString target = TargetFolder();
    const qint32 size = Size();
    const QString version = Version();
    const bool changed = date != other.ModifiedDate() || target != other.TargetFolder() || size != other.Size() ||
                         version != other.Version();
    other.SetSwapOnly(SwapOnly());
    other.SetStartAfterTransfer(StartAfterTransfer());
    other.SetAutostart(Autostart());
    other.SetRegisterOcx(RegisterOcx());
    other.SetDeleteTarget(DeleteTarget());
    other.SetDistributeFolder(DistributeFolder());
    other.SetIncludeSubfolders(IncludeSubfolders());
    other.SetPersistent(Persistent());
    other.SetDescription(Description());
    other.SetModifiedDate(date);
    other.SetTargetFolder(target);
    other.SetSize(size);
    other.SetVersion(version);
    if (changed)
        Log(kCategory, QStringLiteral("Objekt \"%1\" wurde aktualisiert").arg(other.SourceName()), kIcon);
    return changed;
}

std::unique_ptr<TSyncObject> TSyncObject::GenerateScriptusCompanion() const
{
    const QString path = ResolvedScriptusPath();
    try {
        if (path.isEmpty() || !IsExistingFile(path))
            return nullptr;
        auto companion = std::make_unique<TSyncObject>(ScriptusFile(), FileVersion(path), FileSize(path),
                                                       FileDate(path), TargetFolder());
        companion->m_persistent = false;
        companion->m_scriptusCompanion = true;
        return companion;
    } catch (const std::exception& error) {
        Log(kCategory,
            QStringLiteral("Beim Generieren des Skriptus-Objekts für \"%1\" ").arg(path) + ExceptionSuffix(error),
            kIcon);
        return nullptr;
    }
}

void TSyncObject::DeleteFolderStructureObjects()
{
    Log(kCategory, QStringLiteral("Lösche alle Ordnerstrukturobjekte von \"%1\"").arg(SourceName()), 42);
    TWriteGuard guard(ObjectLock());
    Objects().RemoveChildrenOf(this);
}

const TSyncObject& TSyncObject::RightsHolder() const
{
    TReadGuard guard(ObjectLock());
    return m_parent != nullptr ? *m_parent : *this;
}

bool TSyncObject::ClientEntitled(const QString& groupPath) const
{
    const TSyncObject& rights = RightsHolder();
    {
        TReadGuard guard(ObjectLock());
        if (!rights.m_useClientGroupRights)
            return true;
        for (const QString& group : rights.m_clientGroups)
            if (groupPath.startsWith(group, Qt::CaseInsensitive))
                return true;
    }
    Log(QStringLiteral("Client"),
        QStringLiteral("Objekt \"%1\" darf nicht übertragen werden, da Client-Gruppe nicht berechtigt")
            .arg(SourceName()),
        50);
    return false;
}

TSyncObject* FirstObject()
{
    TReadGuard guard(ObjectLock());
    return static_cast<TSyncObject*>(Objects().list.Head());
}

int ObjectCount()
{
    TReadGuard guard(ObjectLock());
    return Objects().count;
}

TSyncObject* FindBySourcePath(const QString& path)
{
    TReadGuard guard(ObjectLock());
    TObjectList& objects = Objects();
    // File paths keep their letter case on this system: the index compares exactly.
    const QString folder = MainConfig().GetString(QStringLiteral("ServerObjectDir"));
    const QString resolved = HasDrivePart(path) ? path : folder + path;
    TSyncObject* found = TObjectList::Earliest(objects.absolute, resolved, nullptr);
    if (resolved.startsWith(folder))
        found = TObjectList::Earliest(objects.relative, resolved.mid(folder.size()), found);
    return found;
}

TSyncObject* AppendObject(std::unique_ptr<TSyncObject> object)
{
    for (const QString& name : {object->SourceName(), object->TargetFolder(), object->ScriptusFile()})
        if (HasLineBreak(name))
            throw EObjectNameError(
                QStringLiteral("Der Name \"%1\" enthält einen Zeilenumbruch und kann nicht in die Objektliste "
                               "aufgenommen werden.")
                    .arg(ShownLineBreaks(name)));
    TWriteGuard guard(ObjectLock());
    return Objects().Append(std::move(object));
}

void RemoveObject(TSyncObject* object)
{
    TWriteGuard guard(ObjectLock());
    Objects().RemoveChildrenOf(object);
    Objects().Remove(object);
}

bool ReassignObjectGroupPaths(const QString& oldPath, const QString& newPath)
{
    if (oldPath.isEmpty())
        return false;
    TWriteGuard guard(ObjectLock());
    return Objects().ReassignGroupPaths(oldPath, newPath);
}

QList<TSyncObject*> LoadObjectList()
{
    const bool master = IsMasterServer();
    bool save = false;
    QList<TSyncObject*> owners;
    Objects().file.Load([&](const QString& line) {
        std::unique_ptr<TSyncObject> object = TSyncObject::FromLine(line);
        if (!object)
            return false;
        const QString source = object->ResolvedSourcePath();
        try {
            // One probe per line: without a source file neither step does anything.
            if (IsExistingFile(source)) {
                if (master && !object->IsCurrent())
                    save = true;
                object->RefreshFromSource();
            }
        } catch (const EInOutError& error) {
            // The line was sound: keep the object as stored, only its probe failed.
            Log(kCategory, QStringLiteral("Beim Prüfen von \"%1\" ").arg(source) + ExceptionSuffix(error), kIcon);
        }
        TSyncObject* listed = AppendObject(std::move(object));
        if (listed->DistributeFolder()) {
            Log(kCategory, QStringLiteral("Ein Ordnerstrukturobjekt \"%1\" wurde gefunden").arg(source), 42);
            owners.append(listed);
        }
        return true;
    });
    if (save)
        SaveObjectList();
    return owners;
}

void SaveObjectList()
{
    QStringList lines;
    {
        TReadGuard guard(ObjectLock());
        lines.reserve(Objects().count);
        for (const TSyncObject* object = FirstObject(); object != nullptr; object = object->Next())
            if (object->Persistent())
                lines.append(object->ToLine());
    }
    const QString note = Objects().file.Write(lines);
    if (!note.isEmpty())
        Log(kCategory, note, kIcon);
    Log(kCategory, QStringLiteral("SyncObject-Liste wurde geschrieben"), kIcon);
    ObjectListChanged();
}

void FreeAllObjects()
{
    TWriteGuard guard(ObjectLock());
    TObjectList& objects = Objects();
    objects.absolute.clear();
    objects.relative.clear();
    objects.count = 0;
    objects.list.Clear();
}

namespace {

struct TListeners {
    std::mutex lock;
    std::vector<std::function<void()>> listeners;
};

TListeners& Listeners()
{
    static TListeners listeners;
    return listeners;
}

} // namespace

void AddObjectListListener(std::function<void()> listener)
{
    std::lock_guard guard(Listeners().lock);
    Listeners().listeners.push_back(std::move(listener));
}

void ObjectListChanged()
{
    std::vector<std::function<void()>> listeners;
    {
        std::lock_guard guard(Listeners().lock);
        listeners = Listeners().listeners;
    }
    for (const auto& listener : listeners)
        listener();
}
