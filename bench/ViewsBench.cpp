// SPDX-License-Identifier: GPL-3.0-or-later
// The object views with a large catalogue: 100 000 objects (half of them
// folder-structure objects of one distributed tree), 10 000 clients and
// 1 000 000 download records. Measures the time until the object list and
// the object tree are complete on screen, the main thread's longest stall
// (a 10 ms probe timer) and the process's resident memory, in both list styles.
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
    QListView* symbols = MakeSymbolsView(QStringLiteral("Objektliste"), &list, nullptr);
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
    PrepareDetailsView(g_scene->details, &g_scene->list);
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
        g_scene->symbols->setModel(details ? nullptr : &g_scene->list);
        g_scene->details.setModel(details ? &g_scene->list : nullptr);
        g_scene->symbols->setVisible(!details);
        g_scene->details.setVisible(details);
    };
    targets.treeStarted = [](QStandardItem* root) { g_scene->treeView.expand(root->index()); };
    SetObjectViewTargets(targets);
}

/// Runs the event loop until the condition holds; returns the longest gap
/// between two ticks of a 10 ms timer, in milliseconds.
qint64 RunWithProbe(const std::function<bool()>& done)
{
    QElapsedTimer since;
    since.start();
    qint64 longest = 0;
    QTimer probe;
    probe.setInterval(10);
    QObject::connect(&probe, &QTimer::timeout, [&] {
        const qint64 gap = since.restart();
        if (gap > 60 && qEnvironmentVariableIsSet("VIEWS_BENCH_GAPS"))
            fprintf(stderr, "gap %lld ms at %d rows\n", static_cast<long long>(gap), g_scene->list.Count());
        longest = std::max(longest, gap);
    });
    probe.start();
    QDeadlineTimer deadline(600000);
    while (!done() && !deadline.hasExpired())
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents, 5);
    QCoreApplication::processEvents();
    return std::max(longest, since.elapsed());
}

void MeasureBuild(benchmark::State& state, TViewKind kind, int style, bool filtered)
{
    MakeScene();
    LayoutConfig().Set(QStringLiteral("MainListViewObjectsViewStyle"), style);
    SetObjectListClientFilter(filtered ? FindClientByName(QStringLiteral("pc0")) : nullptr);
    for (auto _ : state) {
        QElapsedTimer timer;
        timer.start();
        StartViewBuild(kind);
        const qint64 stall = RunWithProbe([kind] { return !ViewBuildRunning(kind); });
        state.SetIterationTime(static_cast<double>(timer.nsecsElapsed()) / 1e9);
        state.counters["stall_ms"] = static_cast<double>(stall);
        state.counters["rows"] = kind == TViewKind::ObjectTree ? g_scene->tree.rowCount() : g_scene->list.Count();
        state.counters["rss_MiB"] = static_cast<double>(ResidentKiB()) / 1024.0;
    }
}

// What the probe sees with nothing to do: the stall the machine itself causes.
void BM_IdleProbe(benchmark::State& state)
{
    MakeScene();
    for (auto _ : state) {
        QElapsedTimer timer;
        timer.start();
        const qint64 stall = RunWithProbe([&timer] { return timer.elapsed() >= 2000; });
        state.SetIterationTime(static_cast<double>(timer.nsecsElapsed()) / 1e9);
        state.counters["stall_ms"] = static_cast<double>(stall);
        state.counters["rss_MiB"] = static_cast<double>(ResidentKiB()) / 1024.0;
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

// The client list is built on the main thread: its whole time is a stall.
void BM_ClientList(benchmark::State& state)
{
    MakeScene();
    for (auto _ : state) {
        g_scene->clients.BuildClientTree();
        g_scene->clients.BuildClientList();
        QCoreApplication::processEvents();
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
BENCHMARK(BM_ClientList)->Unit(benchmark::kMillisecond)->Iterations(1)->Repetitions(3);

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
