// SPDX-License-Identifier: GPL-3.0-or-later
#include "catalogue/ImportChilds.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <shared_mutex>
#include <vector>

#include <QDir>
#include <QLocale>

#include "base/TextFields.h"
#include "catalogue/SyncObject.h"
#include "foundation/MainConfig.h"
#include "foundation/PoolInterlocked.h"
#include "foundation/Quit.h"
#include "foundation/ThreadWait.h"
#include "foundation/UiAdapter.h"
#include "platform/FileTimes.h"
#include "platform/FileVersion.h"

namespace {

const QString kCategory = QStringLiteral("ImportChilds");
constexpr int kIcon = 42;

struct TImports {
    std::shared_mutex listLock;
    std::vector<TThreadImportChilds*> running; // the import list
    std::condition_variable_any shrunk;        // an import left the list
    // Every thread not yet disposed of, under listLock. A thread leaves the
    // import list itself; the next start disposes of it once it has ended.
    std::vector<std::unique_ptr<TThreadImportChilds>> owned;
    std::mutex importLock; // one folder of any tree at a time
    std::atomic<quint32> counter{0};
    std::mutex handlerLock;
    std::function<void()> lastEnded;
};

TImports& Imports()
{
    // Never destroyed: an abandoned thread may still run while the process ends.
    static auto* imports = new TImports;
    return *imports;
}

// Under the list lock.
bool AnyThreadAlive()
{
    const TImports& imports = Imports();
    return !imports.running.empty() ||
           std::any_of(imports.owned.begin(), imports.owned.end(), [](const auto& t) { return !t->isFinished(); });
}

// Under the list lock, written.
void DisposeOfEnded()
{
    std::erase_if(Imports().owned, [](const std::unique_ptr<TThreadImportChilds>& thread) {
        if (thread.get() == QThread::currentThread() || !thread->isFinished())
            return false;
        thread->wait();
        return true;
    });
}

class TImportParticipant : public TShutdownParticipant
{
public:
    bool IsRunning() override
    {
        std::shared_lock guard(Imports().listLock);
        return AnyThreadAlive();
    }
    void RequestStop() override { RequestAllImportsStop(); }
};

void JoinShutdown()
{
    static const bool joined = [] {
        RegisterShutdownParticipant(TShutdownStep::FolderStructureThreads, new TImportParticipant);
        return true;
    }();
    (void)joined;
}

void LastImportEnded()
{
    std::function<void()> handler;
    {
        std::lock_guard guard(Imports().handlerLock);
        handler = Imports().lastEnded;
    }
    if (handler)
        handler();
}

// The status bar only shows progress: nobody waits for it.
void PostStatusText(const QString& text)
{
    TUiAdapter::SetObjectStatusText(text);
}

} // namespace

QString FolderOfPath(const QString& path)
{
    return path.left(path.lastIndexOf(QLatin1Char('/')) + 1);
}

QFileInfoList FolderEntries(const QString& folder)
{
    QFileInfoList entries =
        QDir(folder).entryInfoList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
    entries.removeIf([](const QFileInfo& entry) { return entry.isDir() ? entry.isSymLink() : !entry.isFile(); });
    return entries;
}

void TThreadImportChilds::run()
{
    const QString name = m_owner->SourceName();
    Log(kCategory, QStringLiteral("Generiere Ordnerstruktur für Objekt \"%1\"").arg(name), kIcon);
    try {
        const QString root = IsMasterServer() ? FolderOfPath(m_owner->ResolvedSourcePath()) : m_owner->TargetFolder();
        ImportFolder(root, QString());
    } catch (const std::exception& error) {
        Log(kCategory,
            QStringLiteral("Beim Generieren der Ordnerstruktur für Objekt \"%1\" ").arg(name) + ExceptionSuffix(error),
            kIcon);
    }
    Finish();
}

void TThreadImportChilds::Finish()
{
    TImports& imports = Imports();
    bool last = false;
    {
        std::unique_lock guard(imports.listLock);
        std::erase(imports.running, this);
        // Decided under the lock: a stop request is made under it too, so a
        // stopped import never restarts the monitor its stopper waits for.
        // The count starts afresh with the next imports, also after a stop.
        if (imports.running.empty())
            imports.counter = 0;
        last = imports.running.empty() && !isInterruptionRequested();
    }
    imports.shrunk.notify_all();
    // Logged and restarted without the lock: the main thread may be waiting
    // for it while this thread waits for the main thread.
    Log(kCategory, QStringLiteral("Ordnerstruktur für Objekt \"%1\" vollständig generiert").arg(m_owner->SourceName()),
        kIcon);
    if (!isInterruptionRequested())
        ObjectListChanged();
    if (last)
        LastImportEnded();
    if (!isInterruptionRequested())
        PostStatusText(QString());
}

void TThreadImportChilds::ImportFolder(const QString& folder, const QString& relative)
{
    const quint32 count = ++Imports().counter;
    if (!isInterruptionRequested())
        PostStatusText(QStringLiteral("%1 Ordner importiert...").arg(QLocale(QLocale::German).toString(count)));
    const QFileInfoList entries = FolderEntries(folder);
    if (entries.isEmpty())
        return;
    m_ownerFolder = FolderOfPath(m_owner->SourceName());
    m_ownerSource = m_owner->ResolvedSourcePath();
    m_ownerTarget = m_owner->TargetFolder();
    m_ownerDescription = m_owner->Description();
    const bool includeSubfolders = m_owner->IncludeSubfolders();
    m_swapOnly = m_owner->SwapOnly();
    m_deleteTarget = m_owner->DeleteTarget();
    QStringList subfolders;
    {
        std::lock_guard guard(Imports().importLock);
        for (const QFileInfo& entry : entries) {
            if (isInterruptionRequested())
                break;
            // An object line cannot carry such a name: it stays on this computer.
            if (HasLineBreak(entry.fileName())) {
                Log(kCategory,
                    QStringLiteral("\"%1\" wird nicht verteilt, da der Name einen Zeilenumbruch enthält")
                        .arg(ShownLineBreaks(folder + entry.fileName())),
                    kIcon);
                continue;
            }
            if (entry.isDir()) {
                if (includeSubfolders)
                    subfolders.append(entry.fileName());
                continue;
            }
            const QString path = folder + entry.fileName();
            if (relative.isEmpty() && path == m_ownerSource)
                continue; // the owner itself
            try {
                ImportFile(path, entry, relative);
            } catch (const std::exception& error) {
                // One unreadable file must not cost the rest of the tree.
                Log(kCategory, QStringLiteral("Beim Import von \"%1\" ").arg(path) + ExceptionSuffix(error), kIcon);
            }
        }
    }
    for (const QString& name : subfolders) {
        if (isInterruptionRequested())
            return;
        ImportFolder(folder + name + QLatin1Char('/'), relative + name + QLatin1Char('/'));
    }
}

void TThreadImportChilds::ImportFile(const QString& path, const QFileInfo& entry, const QString& relative)
{
    const QString childName = m_ownerFolder + relative + entry.fileName();
    TSyncObject* child = FindBySourcePath(childName);
    if (child == m_owner)
        return;
    std::unique_ptr<TSyncObject> created;
    if (child != nullptr) {
        Log(kCategory, QStringLiteral("Objekt \"%1\" wird wiederverwendet").arg(child->SourceName()), kIcon);
        child->RefreshFromSource();
    } else {
        created = std::make_unique<TSyncObject>(childName, FileVersion(path), static_cast<qint32>(entry.size()),
                                                FileLastWriteTime(path).value_or(0), m_ownerTarget + relative);
        child = created.get();
    }
    child->SetSwapOnly(m_swapOnly);
    child->SetDeleteTarget(m_deleteTarget);
    child->SetPersistent(false);
    child->SetParent(m_owner);
    child->SetDescription(m_ownerDescription);
    // Appended only when complete, so a save meanwhile never stores it.
    if (created)
        AppendObject(std::move(created));
}

void SetLastImportEndedHandler(std::function<void()> handler)
{
    std::lock_guard guard(Imports().handlerLock);
    Imports().lastEnded = std::move(handler);
}

void StartImport(TSyncObject* owner)
{
    JoinShutdown();
    auto thread = std::make_unique<TThreadImportChilds>(owner);
    TThreadImportChilds* started = thread.get();
    Log(kCategory, QStringLiteral("Starte Import-Thread"), kIcon);
    {
        std::unique_lock guard(Imports().listLock);
        DisposeOfEnded();
        Imports().running.push_back(started);
        Imports().owned.push_back(std::move(thread));
    }
    Log(kCategory, QStringLiteral("Im kritischen Abschnitt des Thread-Startvorgangs"), kIcon);
    started->setObjectName(QStringLiteral("ImportChilds"));
    started->start(QThread::LowPriority);
}

bool IsImportRunning()
{
    std::shared_lock guard(Imports().listLock);
    return !Imports().running.empty();
}

bool WaitForImportsEnd(const std::function<bool()>& giveUp)
{
    TImports& imports = Imports();
    std::shared_lock guard(imports.listLock);
    while (!imports.running.empty()) {
        if (giveUp())
            return false;
        // Woken by every end; the slice only bounds how late giveUp is seen.
        imports.shrunk.wait_for(guard, std::chrono::milliseconds(100));
    }
    return true;
}

void StopImport(TSyncObject* owner)
{
    if (TPoolInterlocked::IsMainThread())
        Log(kCategory, QStringLiteral("terminateForced() im Haupt-Thread aufgerufen"));
    std::unique_ptr<TThreadImportChilds> stopped;
    {
        TImports& imports = Imports();
        std::unique_lock guard(imports.listLock);
        const auto found = std::find_if(imports.running.begin(), imports.running.end(),
                                        [&](const TThreadImportChilds* t) { return t->Owner() == owner; });
        if (found == imports.running.end())
            return;
        const auto entry =
            std::find_if(imports.owned.begin(), imports.owned.end(), [&](const auto& t) { return t.get() == *found; });
        if (entry == imports.owned.end())
            return; // another caller is stopping it
        stopped = std::move(*entry);
        imports.owned.erase(entry);
        stopped->requestInterruption();
    }
    WaitForThreadEnd(*stopped);
}

void StopAllImports()
{
    std::vector<std::unique_ptr<TThreadImportChilds>> stopped;
    {
        std::unique_lock guard(Imports().listLock);
        stopped.swap(Imports().owned);
        for (const auto& thread : stopped)
            thread->requestInterruption();
    }
    for (const auto& thread : stopped)
        WaitForThreadEnd(*thread);
}

bool RequestAllImportsStop()
{
    std::shared_lock guard(Imports().listLock);
    if (!AnyThreadAlive())
        return true;
    for (const auto& thread : Imports().owned)
        thread->requestInterruption();
    return false;
}

quint32 ImportedFolderCount()
{
    return Imports().counter;
}
