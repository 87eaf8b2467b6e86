// SPDX-License-Identifier: GPL-3.0-or-later
#include "catalogue/SyncObject.h"

#include <array>
#include <atomic>
#include <mutex>
#include <vector>

#include <QFile>
#include <QFileInfo>
#include <QHash>

#include "base/OpenIndex.h"
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

// Names are ASCII nearly always: their sum needs no encoding then.
quint32 Utf8ByteSum(const QString& text)
{
    quint32 sum = 0;
    for (const QChar c : text) {
        if (c.unicode() >= 0x80) {
            sum = 0;
            for (const char byte : text.toUtf8())
                sum += static_cast<uchar>(byte);
            return sum;
        }
        sum += c.unicode();
    }
    return sum;
}

QString WithFolder(const QString& name, const QString& folder)
{
    return HasDrivePart(name) ? name : folder + name;
}

QString ObjectFolder()
{
    return MainConfig().GetString(QStringLiteral("ServerObjectDir"));
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

/// The process-wide object list with its path index. The index holds the
/// absolute source names apart from the relative ones, so a change of
/// ServerObjectDir needs no rebuild: a lookup strips the current folder instead.
class TObjectList
{
public:
    using TPathIndex = TOpenIndex<TSyncObject*>;

    TChainList list;
    TReentrantRWLock lock;
    TPathIndex absolute;
    TPathIndex relative;
    quint64 nextSequence = 0;
    int count = 0;
    TListFile file{".objects", "SyncObject"};

    static std::size_t HashOf(const TSyncObject* object) { return object->m_pathHash; }
    /// The names a line break would split, of an object not yet shared: read without the lock.
    static std::array<const QString*, 3> LineNames(const TSyncObject& object)
    {
        return {&object.m_sourceName, &object.m_targetFolder, &object.m_scriptusFile};
    }
    TPathIndex& Bucket(const QString& name) { return HasDrivePart(name) ? absolute : relative; }
    void Index(TSyncObject* object)
    {
        object->m_pathHash = qHash(object->m_sourceName);
        Bucket(object->m_sourceName).Insert(HashOf(object), object, HashOf);
    }
    void Unindex(TSyncObject* object) { Bucket(object->m_sourceName).Remove(HashOf(object), object, HashOf); }
    static TSyncObject* Earliest(const TPathIndex& bucket, const QString& key, TSyncObject* best)
    {
        bucket.ForEach(qHash(key), [&](TSyncObject* object) {
            if (object->m_sourceName == key && (best == nullptr || object->m_sequence < best->m_sequence))
                best = object;
            return true;
        });
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
    return WithFolder(SourceName(), ObjectFolder());
}

QString TSyncObject::ResolvedScriptusPath() const
{
    const QString name = ScriptusFile();
    return name.isEmpty() ? name : WithFolder(name, MainConfig().GetString(QStringLiteral("ServerScriptusDir")));
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
    const quint32 byteSum = Utf8ByteSum(m_sourceName);
    // Only the parity survives the shift into bit 31 of a signed word; an odd
    // sum therefore subtracts 2^31, wrapping below zero.
    const auto parity = static_cast<qint32>(byteSum << 31);
    id += static_cast<quint64>(static_cast<qint64>(parity));
    return id;
}

QString TSyncObject::ToLine() const
{
    QByteArray line;
    AppendLine(line);
    return QString::fromUtf8(line);
}

void TSyncObject::AppendLine(QByteArray& out) const
{
    TReadGuard guard(ObjectLock());
    const auto text = [&out](QStringView value) {
        out.append(',');
        AppendQuoted(out, value);
    };
    const auto number = [&out](qint64 value) {
        out.append(',');
        AppendNumber(out, value);
    };
    AppendNumber(out, ComputeId());
    text(m_sourceName);
    text(m_targetFolder);
    out.append(',');
    AppendDateTime(out, m_modifiedDate);
    text(m_version);
    number(m_size);
    number(m_reserved);
    text(m_clientGroups.join(QLatin1Char('|')));
    text(m_description);
    text(m_scriptusFile);
    for (const bool flag :
         {m_swapOnly, m_startAfterTransfer, m_autostart, m_registerOcx, m_deleteTarget, m_distributeFolder,
          m_includeSubfolders, m_persistent, m_scriptusCompanion, m_useClientGroupRights}) {
        out.append(',');
        AppendBoolean(out, flag);
    }
}

std::unique_ptr<TSyncObject> TSyncObject::FromLine(const QString& line)
{
    return FromUtf8Line(line.toUtf8());
}

std::unique_ptr<TSyncObject> TSyncObject::FromUtf8Line(QByteArrayView line)
{
    QByteArrayView f[kFieldCount];
    if (SplitFieldViews(line, ',', f, kFieldCount) != kFieldCount) {
        ShowListWarning(QStringLiteral("Die Objektliste ist inkompatibel.\r\nZeile: ") + QString::fromUtf8(line));
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
    const QString folder = ObjectFolder();
    const QString resolved = WithFolder(path, folder);
    TSyncObject* found = TObjectList::Earliest(objects.absolute, resolved, nullptr);
    if (resolved.startsWith(folder))
        found = TObjectList::Earliest(objects.relative, resolved.mid(folder.size()), found);
    return found;
}

TSyncObject* AppendObject(std::unique_ptr<TSyncObject> object)
{
    for (const QString* name : TObjectList::LineNames(*object))
        if (HasLineBreak(*name))
            throw EObjectNameError(
                QStringLiteral("Der Name \"%1\" enthält einen Zeilenumbruch und kann nicht in die Objektliste "
                               "aufgenommen werden.")
                    .arg(ShownLineBreaks(*name)));
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
    const QString folder = ObjectFolder();
    Objects().file.LoadUtf8([&](QByteArrayView line) {
        std::unique_ptr<TSyncObject> object = TSyncObject::FromUtf8Line(line);
        if (!object)
            return false;
        const QString source = WithFolder(object->SourceName(), folder);
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
        TSyncObject* listed = nullptr;
        try {
            listed = AppendObject(std::move(object));
        } catch (const EObjectNameError& error) {
            // Only LF ends a line: a CR inside one (a list edited by hand)
            // gives a name no line can carry. Skipped like any bad line,
            // rather than ending the load and losing the lines after it.
            Log(kCategory, error.Message(), kIcon);
            return false;
        }
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
    const QString note = Objects().file.Write([](TAtomicFile& file) {
        // Held while the lines go to the file, before the wait for the disk.
        TReadGuard guard(ObjectLock());
        for (const TSyncObject* object = FirstObject(); object != nullptr; object = object->Next())
            if (object->Persistent()) {
                object->AppendLine(file.Buffer());
                file.Buffer().append("\r\n");
                file.Appended();
            }
    });
    if (!note.isEmpty())
        Log(kCategory, note, kIcon);
    Log(kCategory, QStringLiteral("SyncObject-Liste wurde geschrieben"), kIcon);
    ObjectListChanged();
}

void FreeAllObjects()
{
    TWriteGuard guard(ObjectLock());
    TObjectList& objects = Objects();
    objects.absolute.Clear();
    objects.relative.Clear();
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
