// SPDX-License-Identifier: GPL-3.0-or-later
// The object views with a large catalogue: 100 000 objects (half of them
// folder-structure objects of one distributed tree), 10 000 clients and
// 1 000 000 download records. Measures the time until the object list and
// the object tree are complete on screen, the main thread's stalls (the
// 99th percentile and the longest gap between two ticks of a 10 ms probe
// timer) and the process's resident memory, in both list styles; and the
// same for sorting and filtering the list of 100 000 rows.
// VIEWS_BENCH_GAPS=1 prints every gap of the probe above 60 ms with the rows shown then.
#include <algorithm>
#include <cstdio>
#include <functional>

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QFile>
#include <QListView>
#include <QStandardItemModel>
#include <QTimer>
#include <QTreeView>

#include "catalogue/SyncClient.h"
#include "catalogue/SyncDownload.h"
#include "catalogue/SyncObject.h"
#include "foundation/MainConfig.h"
#include "platform/ProgramPaths.h"
#include "support/BenchHome.h"
#include "ui/views/CatalogueListView.h"
#include "ui/views/ClientViews.h"
#include "ui/views/ListProxyModel.h"
#include "ui/views/MainViewsThread.h"

namespace {

constexpr int kOwnObjects = 50000;
constexpr int kOwnFolders = 500;
constexpr int kTreeObjects = 50000;
constexpr int kTreeFolders = 2000;
constexpr int kClients = 10000;
constexpr int kDownloads = 1000000;

struct TScene {
    QStandardItemModel tree;
    TRowListModel list{ObjectListHeaders()};
    // Sorts and filters between the rows and the views, as in the window.
    TListProxyModel proxy{list};
    QListView* symbols = MakeSymbolsView(QStringLiteral("Objektliste"), &proxy, nullptr);
    QTreeView details;
    QTreeView treeView;
    TClientViews clients;
    QTreeView clientView;
    QString filterClient;
};

TScene* g_scene = nullptr;
long g_catalogueKiB = 0; // resident once the catalogue is loaded, before any view

void WriteLines(const QString& path, const std::function<void(QByteArray&)>& fill)
{
    QByteArray bytes;
    fill(bytes);
    QFile file(path);
    file.open(QIODevice::WriteOnly);
    file.write(bytes);
}

void MakeCatalogue()
{
    MainConfig().Set(QStringLiteral("NetServerName"), QStringLiteral("benchhost"));
    MainConfig().Set(QStringLiteral("MiscShowNonPersistent"), true);
    for (int index = 0; index < kOwnObjects; ++index) {
        auto object = std::make_unique<TSyncObject>(
            QStringLiteral("pkg%1/file%2.exe").arg(index % kOwnFolders).arg(index),
            QStringLiteral("1.0.0.%1").arg(index), 1000 + index, 45000.0 + index / 86400.0,
            QStringLiteral("/opt/pkg%1/").arg(index % kOwnFolders));
        AppendObject(std::move(object));
    }
    auto ownerObject = std::make_unique<TSyncObject>(QStringLiteral("tree/setup.exe"), QStringLiteral("?"), 1, 45000.0,
                                                     QStringLiteral("/opt/tree/"));
    ownerObject->SetDistributeFolder(true);
    ownerObject->SetIncludeSubfolders(true);
    TSyncObject* owner = AppendObject(std::move(ownerObject));
    for (int index = 0; index < kTreeObjects; ++index) {
        const int folder = index % kTreeFolders;
        const QString relative = QStringLiteral("t%1/s%2/").arg(folder / 50).arg(folder % 50);
        auto object =
            std::make_unique<TSyncObject>(QStringLiteral("tree/") + relative + QStringLiteral("f%1.dat").arg(index),
                                          QStringLiteral("?"), index, 45000.0, QStringLiteral("/opt/tree/") + relative);
        object->SetPersistent(false);
        object->SetParent(owner);
        AppendObject(std::move(object));
    }

    WriteLines(ProgramFile(QStringLiteral(".clients")), [](QByteArray& bytes) {
        for (int index = 0; index < kClients; ++index)
            bytes += QStringLiteral(
                         "pc%1,\"PC%1\",10.%2.%3.%4,01.12.26 10:00:00,\"Client pc%1\",\"\\\\10\\\\%2\\\\%3\\\\\"\r\n")
                         .arg(index)
                         .arg(index / 2500)
                         .arg(index / 250 % 10)
                         .arg(index % 250)
                         .toUtf8();
    });
    LoadClientList();

    // The first client holds every other object; the rest of the records
    // belong to the other clients.
    std::vector<quint64> ids;
    for (TSyncObject* object = FirstObject(); object != nullptr; object = object->Next())
        ids.push_back(object->ComputeId());
    WriteLines(ProgramFile(QStringLiteral(".downloads")), [&ids](QByteArray& bytes) {
        for (int index = 0; index < kDownloads; ++index) {
            const bool first = index < static_cast<int>(ids.size()) / 2;
            const quint64 id = ids[first ? static_cast<size_t>(index) * 2 : static_cast<size_t>(index) % ids.size()];
            bytes += "10.0.0.1," + QByteArray(first ? "pc0" : "pc" + QByteArray::number(1 + index % (kClients - 1))) +
                     "," + QByteArray::number(id) + "\r\n";
        }
    });
    LoadDownloadList();
}

void MakeScene()
{
    if (g_scene != nullptr)
        return;
    MakeCatalogue();
    g_catalogueKiB = ResidentKiB();
    g_scene = new TScene;
    SetupObjectListModel(g_scene->list);
    PrepareDetailsView(g_scene->details, &g_scene->proxy);
    // Only the view of the current style is on screen, as in the window.
    g_scene->symbols->resize(1000, 700);
    g_scene->details.resize(1000, 700);
    g_scene->treeView.setModel(&g_scene->tree);
    g_scene->treeView.setUniformRowHeights(true);
    g_scene->treeView.resize(300, 700);
    g_scene->treeView.show();
    PrepareDetailsView(g_scene->clientView, &g_scene->clients.List());
    g_scene->clientView.resize(1000, 700);
    g_scene->clientView.show();
    TObjectViewTargets targets;
    targets.tree = &g_scene->tree;
    targets.list = &g_scene->list;
    targets.listStyle = [](int style) {
        const bool details = style == kStyleDetails;
        g_scene->symbols->setModel(details ? nullptr : &g_scene->proxy);
        g_scene->details.setModel(details ? &g_scene->proxy : nullptr);
        g_scene->symbols->setVisible(!details);
        g_scene->details.setVisible(details);
    };
    targets.treeStarted = [](QStandardItem* root) { g_scene->treeView.expand(root->index()); };
    SetObjectViewTargets(targets);
}

// The views finish their work some turns of the event loop after the rows
// are in (a symbols view lays them out in batches): the probe looks on this long.
constexpr int kAfterDoneMs = 300;

struct TStalls {
    double p99 = 0;
    double max = 0;
    double doneSeconds = 0; ///< from the start until the condition held
};

/// Starts the work from the event loop and runs the loop until the
/// condition holds, and a little longer; the gaps between two ticks of a
/// 10 ms timer meanwhile, in milliseconds.
TStalls RunWithProbe(const std::function<void()>& start, const std::function<bool()>& done)
{
    QElapsedTimer since;
    since.start();
    std::vector<qint64> gaps;
    QTimer probe;
    probe.setInterval(10);
    QObject::connect(&probe, &QTimer::timeout, [&] {
        const qint64 gap = since.restart();
        if (gap > 60 && qEnvironmentVariableIsSet("VIEWS_BENCH_GAPS"))
            fprintf(stderr, "gap %lld ms at %d rows\n", static_cast<long long>(gap), g_scene->list.Count());
        gaps.push_back(gap);
    });
    probe.start();
    QElapsedTimer clock;
    clock.start();
    QTimer::singleShot(0, start);
    QCoreApplication::processEvents();
    QDeadlineTimer deadline(600000);
    while (!done() && !deadline.hasExpired())
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents, 5);
    TStalls stalls;
    stalls.doneSeconds = static_cast<double>(clock.nsecsElapsed()) / 1e9;
    QDeadlineTimer after(kAfterDoneMs);
    while (!after.hasExpired())
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents, 5);
    gaps.push_back(since.elapsed());
    std::sort(gaps.begin(), gaps.end());
    stalls.p99 = static_cast<double>(gaps[gaps.size() * 99 / 100]);
    stalls.max = static_cast<double>(gaps.back());
    return stalls;
}

void Report(benchmark::State& state, const TStalls& stalls)
{
    state.SetIterationTime(stalls.doneSeconds);
    state.counters["stall_p99_ms"] = stalls.p99;
    state.counters["stall_max_ms"] = stalls.max;
    state.counters["rss_MiB"] = static_cast<double>(ResidentKiB()) / 1024.0;
}

void MeasureBuild(benchmark::State& state, TViewKind kind, int style, bool filtered)
{
    MakeScene();
    LayoutConfig().Set(QStringLiteral("MainListViewObjectsViewStyle"), style);
    SetObjectListClientFilter(filtered ? FindClientByName(QStringLiteral("pc0")) : nullptr);
    for (auto _ : state) {
        // Done once the rows are in and in their order.
        const TStalls stalls =
            RunWithProbe([kind] { StartViewBuild(kind); },
                         [kind] { return !ViewBuildRunning(kind) && !g_scene->proxy.PassPending(); });
        Report(state, stalls);
        state.counters["rows"] = kind == TViewKind::ObjectTree ? g_scene->tree.rowCount() : g_scene->list.Count();
    }
    g_scene->proxy.SortBy(-1, Qt::AscendingOrder);
}

// A sort or a filter of the complete list of 100 000 rows in the style,
// from the request until the views show the new order.
void MeasurePass(benchmark::State& state, int style, const std::function<void()>& request,
                 const std::function<void()>& undo)
{
    MakeScene();
    LayoutConfig().Set(QStringLiteral("MainListViewObjectsViewStyle"), style);
    SetObjectListClientFilter(nullptr);
    if (g_scene->list.Count() == 0 || g_scene->list.ViewStyle() != style) {
        RunWithProbe([] { StartViewBuild(TViewKind::ObjectList); },
                     [] { return !ViewBuildRunning(TViewKind::ObjectList); });
    }
    for (auto _ : state) {
        const TStalls stalls = RunWithProbe(request, [] { return !g_scene->proxy.PassPending(); });
        Report(state, stalls);
        state.counters["rows"] = g_scene->proxy.rowCount();
        RunWithProbe(undo, [] { return !g_scene->proxy.PassPending(); });
    }
}

// What the probe sees with nothing to do: the stall the machine itself causes.
void BM_IdleProbe(benchmark::State& state)
{
    MakeScene();
    for (auto _ : state) {
        QElapsedTimer timer;
        timer.start();
        const TStalls stalls = RunWithProbe([] {}, [&timer] { return timer.elapsed() >= 2000; });
        Report(state, stalls);
        state.counters["catalogue_rss_MiB"] = static_cast<double>(g_catalogueKiB) / 1024.0;
    }
}

void BM_ObjectListSymbols(benchmark::State& state)
{
    MeasureBuild(state, TViewKind::ObjectList, kStyleSymbols, false);
}
void BM_ObjectListDetails(benchmark::State& state)
{
    MeasureBuild(state, TViewKind::ObjectList, kStyleDetails, false);
}
void BM_ObjectTree(benchmark::State& state)
{
    MeasureBuild(state, TViewKind::ObjectTree, kStyleSymbols, false);
}
void BM_ClientFilteredListSymbols(benchmark::State& state)
{
    MeasureBuild(state, TViewKind::ObjectList, kStyleSymbols, true);
}
void BM_ClientFilteredListDetails(benchmark::State& state)
{
    MeasureBuild(state, TViewKind::ObjectList, kStyleDetails, true);
}

void BM_ObjectListDetailsSortedByName(benchmark::State& state)
{
    MakeScene();
    g_scene->proxy.SortBy(0, Qt::AscendingOrder);
    MeasureBuild(state, TViewKind::ObjectList, kStyleDetails, false);
}

void Unsorted()
{
    g_scene->proxy.SortBy(-1, Qt::AscendingOrder);
}

void BM_SortByName(benchmark::State& state)
{
    MeasurePass(
        state, kStyleDetails, [] { g_scene->proxy.SortBy(0, Qt::AscendingOrder); }, &Unsorted);
}

void BM_SortBySizeDescending(benchmark::State& state)
{
    MeasurePass(
        state, kStyleDetails, [] { g_scene->proxy.SortBy(5, Qt::DescendingOrder); }, &Unsorted);
}

void BM_SortByTargetFolder(benchmark::State& state)
{
    MeasurePass(
        state, kStyleDetails, [] { g_scene->proxy.SortBy(8, Qt::AscendingOrder); }, &Unsorted);
}

// "file1" is in the names of 11 111 objects.
void BM_Filter(benchmark::State& state)
{
    MeasurePass(
        state, kStyleDetails, [] { g_scene->proxy.SetFilterText(QStringLiteral("file1")); },
        [] { g_scene->proxy.SetFilterText(QString()); });
}

void BM_FilterSortedByName(benchmark::State& state)
{
    MeasurePass(
        state, kStyleDetails,
        [] {
            g_scene->proxy.SortBy(0, Qt::AscendingOrder);
            g_scene->proxy.SetFilterText(QStringLiteral("file1"));
        },
        [] {
            g_scene->proxy.SetFilterText(QString());
            Unsorted();
        });
}

// The symbols style lays the new order out anew.
void BM_SortByNameSymbols(benchmark::State& state)
{
    MeasurePass(
        state, kStyleSymbols, [] { g_scene->proxy.SortBy(0, Qt::AscendingOrder); }, &Unsorted);
}

// The client list is built on the main thread.
void BM_ClientList(benchmark::State& state)
{
    MakeScene();
    for (auto _ : state) {
        const TStalls stalls = RunWithProbe(
            [] {
                g_scene->clients.BuildClientTree();
                g_scene->clients.BuildClientList();
            },
            [] { return true; });
        Report(state, stalls);
        state.counters["rows"] = g_scene->clients.List().Count();
    }
}

#define VIEWS_BENCH(name) BENCHMARK(name)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(1)->Repetitions(3)
VIEWS_BENCH(BM_IdleProbe);
VIEWS_BENCH(BM_ObjectListSymbols);
VIEWS_BENCH(BM_ObjectListDetails);
VIEWS_BENCH(BM_ObjectTree);
VIEWS_BENCH(BM_ClientFilteredListSymbols);
VIEWS_BENCH(BM_ClientFilteredListDetails);
VIEWS_BENCH(BM_ObjectListDetailsSortedByName);
VIEWS_BENCH(BM_SortByName);
VIEWS_BENCH(BM_SortBySizeDescending);
VIEWS_BENCH(BM_SortByTargetFolder);
VIEWS_BENCH(BM_Filter);
VIEWS_BENCH(BM_FilterSortedByName);
VIEWS_BENCH(BM_SortByNameSymbols);
VIEWS_BENCH(BM_ClientList);

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    TBenchHome home;
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    CancelObjectViewBuilds();
    SetObjectViewTargets({});
    delete g_scene->symbols;
    delete g_scene;
    FreeAllDownloads();
    FreeAllClients();
    FreeAllObjects();
    return 0;
}
