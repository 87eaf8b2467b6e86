// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/views/MainViewsThread.h"

#include <array>
#include <mutex>
#include <optional>
#include <shared_mutex>

#include <QCoreApplication>
#include <QHash>
#include <QStandardItemModel>

#include "catalogue/ImportChilds.h"
#include "catalogue/SyncClient.h"
#include "catalogue/SyncDownload.h"
#include "catalogue/SyncObject.h"
#include "foundation/MainConfig.h"
#include "foundation/PoolInterlocked.h"
#include "foundation/Quit.h"
#include "foundation/ThreadWait.h"

namespace {

// Rows gathered before a batch goes out, and the longest a batch waits: the
// window gets few large updates instead of one per object.
constexpr size_t kBatchRows = 2000;
constexpr qint64 kBatchMs = 40;
// The waiting advance asks again after this long, in slices short enough
// that a stop request ends the wait at once.
constexpr int kImportPollMs = 1000;
constexpr int kPollSliceMs = 20;

struct TNodeOp {
    int id;
    int parent; ///< -1: top of the tree
    QString text;
    int image;
    int selectedImage;
    QString key;
};

struct TSlots {
    std::shared_mutex lock;
    std::array<TMainViewsInThread*, 2> threads{nullptr, nullptr};
    std::array<quint64, 2> generation{0, 0};
    /// Builders a cancel has taken out of their slot and not yet seen end.
    std::array<int, 2> stopping{0, 0};
};

TSlots& Slots()
{
    static TSlots slots;
    return slots;
}

int Index(TViewKind kind)
{
    return static_cast<int>(kind);
}

struct TFilters {
    std::mutex lock;
    QString client;
    QString object;
    bool objectListNegated = false;
    bool clientListNegated = false;
};

TFilters& Filters()
{
    static TFilters filters;
    return filters;
}

TObjectViewTargets& Targets()
{
    static TObjectViewTargets targets;
    return targets;
}

// The object tree's nodes of the build on show, by the ids its builder gave them.
std::vector<QStandardItem*>& TreeNodes()
{
    static std::vector<QStandardItem*> nodes;
    return nodes;
}

bool IsCurrentGeneration(TViewKind kind, quint64 generation)
{
    std::shared_lock guard(Slots().lock);
    return Slots().generation[Index(kind)] == generation;
}

QIcon NodeIcon(int image, int selectedImage)
{
    QIcon icon = ViewIcon(image);
    if (selectedImage >= 0) {
        const QIcon selected = ViewIcon(selectedImage);
        for (const QSize& size : selected.availableSizes())
            icon.addPixmap(selected.pixmap(size), QIcon::Selected);
    }
    return icon;
}

// Stops a thread nobody else holds and destroys it.
void ForceStop(TMainViewsInThread* thread)
{
    if (TPoolInterlocked::IsMainThread())
        Log(kViewsCategory, QStringLiteral("terminateForced() im Haupt-Thread aufgerufen"));
    thread->requestInterruption();
    WaitForThreadEnd(*thread);
    delete thread;
}

class TViewShutdown : public TShutdownParticipant
{
public:
    explicit TViewShutdown(TViewKind kind) : m_kind(kind) {}
    bool IsRunning() override { return ViewBuildRunning(m_kind); }
    void RequestStop() override { RequestViewStop(m_kind); }

private:
    TViewKind m_kind;
};

} // namespace

struct TMainViewsInThread::TBatch {
    TBatch(TViewKind kind_, quint64 generation_) : kind(kind_), generation(generation_) {}

    TViewKind kind;
    quint64 generation;
    bool begin = false;
    bool end = false;
    int style = kStyleSymbols;
    bool filtered = false;
    std::vector<TNodeOp> nodes;
    std::vector<TListRow> rows;
    std::array<std::optional<QString>, 2> status;
    std::optional<QString> information;

    bool Empty() const
    {
        return !begin && !end && nodes.empty() && rows.empty() && !status[0] && !status[1] && !information;
    }
};

namespace {

void ApplyTreeNodes(std::vector<TNodeOp>& ops)
{
    QStandardItemModel* tree = Targets().tree;
    std::vector<QStandardItem*>& nodes = TreeNodes();
    for (TNodeOp& op : ops) {
        auto* item = new QStandardItem(NodeIcon(op.image, op.selectedImage), op.text);
        item->setEditable(false);
        item->setData(op.key, kNodeKeyRole);
        if (op.parent < 0)
            tree->appendRow(item);
        else if (op.parent < static_cast<int>(nodes.size()))
            nodes[static_cast<size_t>(op.parent)]->appendRow(item);
        if (nodes.size() <= static_cast<size_t>(op.id))
            nodes.resize(static_cast<size_t>(op.id) + 1, nullptr);
        nodes[static_cast<size_t>(op.id)] = item;
    }
}

} // namespace

// Runs on the main thread; batches of a replaced or cancelled build are dropped.
static void ApplyBatch(TMainViewsInThread::TBatch& batch);

TMainViewsInThread::TMainViewsInThread(TViewKind kind, TMainViewsInThread* previous, quint64 generation,
                                       TViewBuildParams params)
    : m_kind(kind), m_previous(previous), m_generation(generation), m_params(std::move(params))
{
    setObjectName(kind == TViewKind::ObjectTree ? QStringLiteral("ViewsTree") : QStringLiteral("ViewsList"));
}

const char* TMainViewsInThread::Name() const
{
    return m_kind == TViewKind::ObjectTree ? "TreeView" : "ListView";
}

void TMainViewsInThread::run()
{
    m_batch = std::make_shared<TBatch>(m_kind, m_generation);
    m_sinceFlush.start();
    StopPrevious();
    const QString name = QString::fromLatin1(Name());
    try {
        PostLog(name + QStringLiteral(" wird aufgebaut..."));
        if (!isInterruptionRequested()) {
            if (m_kind == TViewKind::ObjectTree)
                BuildTree();
            else
                BuildList();
        }
        m_batch->end = !isInterruptionRequested();
        Flush(true);
        PostLog(name + (isInterruptionRequested() ? QStringLiteral(" wurde abgebrochen")
                                                  : QStringLiteral(" wurde aufgebaut")));
    } catch (const std::exception& error) {
        PostLog(QStringLiteral("Beim Aufbau der %1 ").arg(name) + ExceptionSuffix(error));
    }
    // Whoever took the thread out of the slot (a successor or a cancel)
    // destroys it; a thread still in its slot disposes of itself.
    bool orphan = false;
    {
        std::unique_lock guard(Slots().lock);
        TMainViewsInThread*& slot = Slots().threads[Index(m_kind)];
        if (slot == this) {
            if (m_clearSlotAtEnd)
                slot = nullptr;
            orphan = true;
        }
    }
    if (orphan) {
        TMainViewsInThread* self = this;
        TPoolInterlocked::Post([self] {
            self->wait();
            delete self;
        });
    }
}

void TMainViewsInThread::StopPrevious()
{
    TMainViewsInThread* previous = m_previous;
    m_previous = nullptr;
    if (previous == nullptr)
        return;
    // Even a stopped build still has to end before this one may fill the view.
    if (previous->isInterruptionRequested()) {
        previous->wait();
        delete previous;
        return;
    }
    PostLog(QStringLiteral("Warte auf Beendigung des bisherigen View-Threads..."));
    previous->SetClearSlotAtEnd(false);
    ForceStop(previous);
    PostLog(QStringLiteral("Bisheriger View-Thread wurde beendet"));
}

TSyncObject* TMainViewsInThread::Advance(TSyncObject* current, bool wait)
{
    TSyncObject* next = current->Next();
    while (next == nullptr && wait && !isInterruptionRequested() && IsImportRunning()) {
        // What has arrived so far shows while the import goes on.
        Flush(true);
        for (int slept = 0; slept < kImportPollMs && !isInterruptionRequested(); slept += kPollSliceMs)
            QThread::msleep(kPollSliceMs);
        next = current->Next();
    }
    // The import may have appended its last objects just before it ended.
    if (next == nullptr && wait && !isInterruptionRequested())
        next = current->Next();
    return next;
}

void TMainViewsInThread::BuildTree()
{
    const bool showAll = MainConfig().GetBoolean(QStringLiteral("MiscShowNonPersistent"));
    const bool master = IsMasterServer();

    struct TShadow {
        int level;
        QString key;
    };
    std::vector<TShadow> shadow;
    QHash<QString, int> byKey; // a node's key names its path, so it finds the child under its parent
    auto add = [&](int parent, const QString& text, int image, int selectedImage) {
        const int id = static_cast<int>(shadow.size());
        const QString folded = text.toCaseFolded();
        const QString key = parent < 0 ? QString()
                            : shadow[static_cast<size_t>(parent)].key.isEmpty()
                                ? folded
                                : shadow[static_cast<size_t>(parent)].key + QLatin1Char('\n') + folded;
        shadow.push_back({parent < 0 ? 0 : shadow[static_cast<size_t>(parent)].level + 1, key});
        if (parent >= 0)
            byKey.insert(key, id);
        m_batch->nodes.push_back({id, parent, text, image, selectedImage, key});
        return id;
    };

    m_batch->begin = true;
    const int root = add(-1, QStringLiteral("Alle Ordner"), 41, -1);
    add(root, QStringLiteral("Standardordner"), 53, -1);
    m_folderCount = 0;

    TObjectWalk walk;
    QString previousFolder = QStringLiteral("-");
    for (TSyncObject* object = FirstObject(); object != nullptr && !isInterruptionRequested();
         object = Advance(object, true)) {
        if (!showAll && !object->Persistent())
            continue;
        const QString folder = ObjectViewFolder(*object, master);
        if (folder.compare(previousFolder, Qt::CaseInsensitive) == 0)
            continue;
        previousFolder = folder;
        int node = root;
        QString key;
        for (const QString& piece : ObjectFolderPieces(folder)) {
            key = key.isEmpty() ? piece.toCaseFolded() : key + QLatin1Char('\n') + piece.toCaseFolded();
            const auto found = byKey.constFind(key);
            if (found != byKey.constEnd()) {
                node = *found;
                continue;
            }
            node = add(node, piece, 55, 7);
            ++m_folderCount;
            if (!IsImportRunning())
                Status(1, FolderReadingText(m_folderCount));
        }
        Flush(false);
    }
    if (!isInterruptionRequested())
        Status(1, QString());
}

void TMainViewsInThread::BuildList()
{
    m_objectCount = 0;
    m_shownCount = 0;
    const bool showAll = MainConfig().GetBoolean(QStringLiteral("MiscShowNonPersistent"));
    const bool master = IsMasterServer();
    const bool byNode = !m_params.nodeKey.isEmpty();

    // A copy of the filter client: the build must not depend on the list
    // entry staying alive.
    std::unique_ptr<TSyncClient> client;
    QString clientName;
    if (!m_params.filterClient.isEmpty()) {
        TSyncClient* listed = FindClientByName(m_params.filterClient);
        if (listed != nullptr) {
            clientName = listed->Name();
            client = std::make_unique<TSyncClient>(listed->Address(), QString(), listed->LastContact(), clientName);
            client->SetLocalComputerName(listed->LocalComputerName());
        }
    }
    m_batch->begin = true;
    m_batch->style = m_params.style;
    m_batch->filtered = client != nullptr;
    if (client && DownloadCount() == 0) {
        m_batch->information = NoDownloadsText();
        return;
    }

    TObjectWalk walk;
    bool folderStructureMet = false;
    bool shownAny = false;
    for (TSyncObject* object = FirstObject(); object != nullptr && !isInterruptionRequested();
         object = Advance(object, folderStructureMet)) {
        if (!showAll && !object->Persistent())
            continue;
        const bool passes =
            !byNode || NodeKey(ObjectFolderPieces(ObjectViewFolder(*object, master))) == m_params.nodeKey;
        if (!passes) {
            // The objects of one generated folder stand together: past them
            // nothing more of the node follows.
            if (shownAny && folderStructureMet)
                break;
            continue;
        }
        ++m_objectCount;
        if (object->Parent() != nullptr) {
            folderStructureMet = true;
            Status(0, ObjectReadingText(m_objectCount));
        }
        const bool show = !client || HasDownloaded(*client, *object) != m_params.negated;
        if (show) {
            ++m_shownCount;
            shownAny = true;
            m_batch->rows.push_back(ObjectListRow(*object, m_params.style));
        }
        Flush(false);
    }
    if (isInterruptionRequested())
        return;
    Status(0, client ? ObjectFilterText(m_params.negated, clientName, m_shownCount, m_objectCount)
                     : ObjectCountText(m_objectCount));
}

void TMainViewsInThread::Flush(bool force)
{
    if (m_batch->Empty())
        return;
    if (!force && m_batch->rows.size() < kBatchRows && m_batch->nodes.size() < kBatchRows &&
        m_sinceFlush.elapsed() < kBatchMs)
        return;
    std::shared_ptr<TBatch> batch = std::move(m_batch);
    m_batch = std::make_shared<TBatch>(m_kind, m_generation);
    m_sinceFlush.restart();
    TPoolInterlocked::Post([batch] { ApplyBatch(*batch); });
}

void TMainViewsInThread::Status(int panel, const QString& text)
{
    m_batch->status[static_cast<size_t>(panel)] = text;
}

void TMainViewsInThread::PostLog(const QString& message)
{
    // Posted, never waited for: the main thread may be waiting for this thread.
    TPoolInterlocked::Post([message] { Log(kViewsCategory, message, kViewsIcon); });
}

static void ApplyBatch(TMainViewsInThread::TBatch& batch)
{
    if (!IsCurrentGeneration(batch.kind, batch.generation))
        return;
    const TObjectViewTargets& targets = Targets();
    if (batch.kind == TViewKind::ObjectTree) {
        if (targets.tree != nullptr) {
            if (batch.begin) {
                targets.tree->clear();
                TreeNodes().clear();
            }
            ApplyTreeNodes(batch.nodes);
            if (batch.begin && targets.treeStarted && !TreeNodes().empty())
                targets.treeStarted(TreeNodes().front());
        }
    } else if (targets.list != nullptr) {
        if (batch.begin) {
            targets.list->Clear();
            targets.list->SetViewStyle(batch.style);
            if (targets.listStyle)
                targets.listStyle(batch.style);
            if (targets.filtered)
                targets.filtered(batch.filtered);
        }
        targets.list->Append(std::move(batch.rows));
    }
    for (int panel = 0; panel < 2; ++panel)
        if (batch.status[static_cast<size_t>(panel)] && targets.status)
            targets.status(panel, *batch.status[static_cast<size_t>(panel)]);
    if (batch.information && targets.information)
        targets.information(*batch.information);
    if (batch.end && targets.built)
        targets.built(batch.kind);
}

void SetObjectViewTargets(const TObjectViewTargets& targets)
{
    Targets() = targets;
    TreeNodes().clear();
}

const TObjectViewTargets& ObjectViewTargets()
{
    return Targets();
}

void StartViewBuild(TViewKind kind)
{
    TViewBuildParams params;
    {
        std::lock_guard guard(Filters().lock);
        params.filterClient = Filters().client;
        params.negated = Filters().objectListNegated;
    }
    if (kind == TViewKind::ObjectList) {
        if (Targets().selectedNode)
            params.nodeKey = Targets().selectedNode();
        params.style = LayoutConfig().GetInteger(QStringLiteral("MainListViewObjectsViewStyle"));
    }
    TMainViewsInThread* thread = nullptr;
    {
        std::unique_lock guard(Slots().lock);
        TMainViewsInThread*& slot = Slots().threads[Index(kind)];
        const quint64 generation = ++Slots().generation[Index(kind)];
        thread = new TMainViewsInThread(kind, slot, generation, params);
        slot = thread;
    }
    // Below normal, but not idle: an idle thread would starve beside an import.
    thread->start(QThread::LowPriority);
}

void CancelViewBuild(TViewKind kind)
{
    TMainViewsInThread* thread = nullptr;
    {
        std::unique_lock guard(Slots().lock);
        std::swap(thread, Slots().threads[Index(kind)]);
        ++Slots().generation[Index(kind)];
        if (thread != nullptr)
            ++Slots().stopping[Index(kind)];
    }
    if (thread != nullptr) {
        const QString name = kind == TViewKind::ObjectTree ? QStringLiteral("TreeView") : QStringLiteral("ListView");
        Log(kViewsCategory, name + QStringLiteral(": Abbruchanforderung generiert"), kViewsIcon);
        ForceStop(thread);
        Log(kViewsCategory, name + QStringLiteral(": Abbruchanforderung vollständig ausgeführt"), kViewsIcon);
        std::unique_lock guard(Slots().lock);
        --Slots().stopping[Index(kind)];
    }
    // A cancel made at the same time may have taken the builder first: the
    // caller removes objects next, so it too waits until that one has ended.
    const auto othersStopping = [kind] {
        std::shared_lock guard(Slots().lock);
        return Slots().stopping[Index(kind)] > 0;
    };
    WaitTurningEvents([&] { return !othersStopping(); });
}

void CancelObjectViewBuilds()
{
    CancelViewBuild(TViewKind::ObjectTree);
    CancelViewBuild(TViewKind::ObjectList);
}

bool RequestViewStop(TViewKind kind)
{
    std::shared_lock guard(Slots().lock);
    TMainViewsInThread* thread = Slots().threads[Index(kind)];
    if (thread == nullptr)
        return true;
    thread->requestInterruption();
    return false;
}

bool ViewBuildRunning(TViewKind kind)
{
    std::shared_lock guard(Slots().lock);
    return Slots().threads[Index(kind)] != nullptr;
}

void RegisterViewShutdown()
{
    static TViewShutdown tree(TViewKind::ObjectTree);
    static TViewShutdown list(TViewKind::ObjectList);
    UnregisterShutdownParticipant(&tree);
    UnregisterShutdownParticipant(&list);
    RegisterShutdownParticipant(TShutdownStep::TreeviewThread, &tree);
    RegisterShutdownParticipant(TShutdownStep::ListviewThread, &list);
}

void SetObjectListClientFilter(const TSyncClient* client)
{
    std::lock_guard guard(Filters().lock);
    Filters().client = client != nullptr ? client->Name() : QString();
}

TSyncClient* ObjectListClientFilter()
{
    QString name;
    {
        std::lock_guard guard(Filters().lock);
        name = Filters().client;
    }
    return name.isEmpty() ? nullptr : FindClientByName(name);
}

void SetClientListObjectFilter(const TSyncObject* object)
{
    std::lock_guard guard(Filters().lock);
    Filters().object = object != nullptr ? object->SourceName() : QString();
}

TSyncObject* ClientListObjectFilter()
{
    QString name;
    {
        std::lock_guard guard(Filters().lock);
        name = Filters().object;
    }
    return name.isEmpty() ? nullptr : FindBySourcePath(name);
}

void SetObjectListFilterNegated(bool negated)
{
    std::lock_guard guard(Filters().lock);
    Filters().objectListNegated = negated;
}

bool ObjectListFilterNegated()
{
    std::lock_guard guard(Filters().lock);
    return Filters().objectListNegated;
}

void SetClientListFilterNegated(bool negated)
{
    std::lock_guard guard(Filters().lock);
    Filters().clientListNegated = negated;
}

bool ClientListFilterNegated()
{
    std::lock_guard guard(Filters().lock);
    return Filters().clientListNegated;
}
