// SPDX-License-Identifier: GPL-3.0-or-later
// Load and save of large object and client lists, path lookups and download
// list lookups. The object list load is measured with sources that are not
// there (one failed stat per line), that stat alone, and with every source
// there (the master's probe of date, version and size per line).
#include <algorithm>
#include <memory>
#include <vector>

#include <benchmark/benchmark.h>

#include <QDir>
#include <QElapsedTimer>
#include <QFile>

#include "base/AtomicFile.h"
#include "base/TextFields.h"
#include "catalogue/SyncClient.h"
#include "catalogue/SyncDownload.h"
#include "catalogue/SyncObject.h"
#include "foundation/MainConfig.h"
#include "platform/FileTimes.h"
#include "platform/ProgramPaths.h"
#include "support/BenchHome.h"

namespace {

constexpr int kObjects = 100000;
constexpr int kClients = 10000;
// 1 000 computers that each confirmed 1 000 objects: 1 000 000 records.
constexpr int kDownloadComputers = 1000;
constexpr int kDownloadObjects = 1000;

QString ObjectName(int i)
{
    return QStringLiteral("Abteilung%1/Programme/werkzeug%2.exe").arg(i % 97).arg(i);
}

void FillObjects()
{
    FreeAllObjects();
    for (int i = 0; i < kObjects; ++i) {
        auto object = std::make_unique<TSyncObject>(ObjectName(i), QStringLiteral("1.2.3.4"), 1000 + i,
                                                    45000.0 + i / 1440.0, QStringLiteral("/opt/ziel/"));
        object->SetDescription(QStringLiteral("Werkzeug, Nummer %1").arg(i));
        object->AddClientGroup(QStringLiteral("\\10\\1\\%1\\").arg(i % 200));
        AppendObject(std::move(object));
    }
}

// Through the list file: registering one by one saves the list each time.
void FillClients()
{
    FreeAllClients();
    QStringList lines;
    for (int i = 0; i < kClients; ++i) {
        TSyncClient client(QStringLiteral("10.%1.%2.%3").arg(i / 65536).arg((i / 256) % 256).arg(i % 256),
                           QStringLiteral("Client pc-%1").arg(i), 45000.0 + i / 1440.0, QStringLiteral("pc-%1").arg(i));
        lines.append(client.ToLine());
    }
    WriteFileAtomically(ProgramFile(QStringLiteral(".clients")), JoinLines(lines));
    LoadClientList();
}

void SaveObjects(benchmark::State& state)
{
    FillObjects();
    for (auto _ : state)
        SaveObjectList();
    state.SetItemsProcessed(state.iterations() * kObjects);
}

// The per-line look of the load at a source that is not there: the path
// made from the object folder and the name, and its stat.
void LookAtEachSource()
{
    const QString folder = MainConfig().GetString(QStringLiteral("ServerObjectDir"));
    for (const TSyncObject* object = FirstObject(); object != nullptr; object = object->Next())
        benchmark::DoNotOptimize(IsExistingFile(folder + object->SourceName()));
}

// Saves the objects listed now and reads them back again and again. With
// looks, each load is followed by the looks alone, timed apart: the load
// without them ("without_looks_ms") then comes from the same moment of the
// machine, not from another case run at another time.
void MeasureLoad(benchmark::State& state, bool looks)
{
    SaveObjectList();
    double loadMs = 0;
    double looksMs = 0;
    QElapsedTimer clock;
    for (auto _ : state) {
        state.PauseTiming();
        FreeAllObjects();
        state.ResumeTiming();
        clock.start();
        LoadObjectList();
        loadMs += static_cast<double>(clock.nsecsElapsed()) / 1e6;
        if (looks) {
            state.PauseTiming();
            clock.start();
            LookAtEachSource();
            looksMs += static_cast<double>(clock.nsecsElapsed()) / 1e6;
            state.ResumeTiming();
        }
    }
    if (ObjectCount() != kObjects)
        state.SkipWithError("not every object was read back");
    state.SetItemsProcessed(state.iterations() * kObjects);
    if (looks) {
        const auto rounds = static_cast<double>(state.iterations());
        state.counters["looks_ms"] = looksMs / rounds;
        state.counters["without_looks_ms"] = (loadMs - looksMs) / rounds;
    }
}

void LoadObjects(benchmark::State& state)
{
    FillObjects();
    MeasureLoad(state, true);
}

// The looks alone.
void ProbeObjectSources(benchmark::State& state)
{
    FillObjects();
    for (auto _ : state)
        LookAtEachSource();
    state.SetItemsProcessed(state.iterations() * kObjects);
}

// Empty source files dated as the objects are: the load finds them unchanged.
// Last: the other cases rely on sources that are not there.
void LoadObjectsWithSources(benchmark::State& state)
{
    FreeAllObjects();
    const QString folder = MainConfig().GetString(QStringLiteral("ServerObjectDir"));
    for (int i = 0; i < kObjects; ++i) {
        const QString path = folder + ObjectName(i);
        QDir().mkpath(path.left(path.lastIndexOf(QLatin1Char('/'))));
        QFile(path).open(QIODevice::WriteOnly);
        AppendObject(TSyncObject::FromSource(ObjectName(i), QStringLiteral("/opt/ziel/")));
    }
    MeasureLoad(state, false);
    FreeAllObjects();
    QDir(folder).removeRecursively();
}

void FindObjects(benchmark::State& state)
{
    FillObjects();
    const QString folder = MainConfig().GetString(QStringLiteral("ServerObjectDir"));
    int i = 0;
    for (auto _ : state) {
        // Alternate relative and absolute forms, and a name that is not listed.
        const int n = (i * 7919) % kObjects;
        const QString path = (i % 3 == 0)   ? folder + ObjectName(n)
                             : (i % 3 == 1) ? ObjectName(n)
                                            : QStringLiteral("fehlt.exe");
        benchmark::DoNotOptimize(FindBySourcePath(path));
        ++i;
    }
}

void SaveClients(benchmark::State& state)
{
    FillClients();
    for (auto _ : state)
        SaveClientList();
    state.SetItemsProcessed(state.iterations() * kClients);
}

void LoadClients(benchmark::State& state)
{
    FillClients();
    SaveClientList();
    for (auto _ : state) {
        state.PauseTiming();
        FreeAllClients();
        state.ResumeTiming();
        LoadClientList();
    }
    if (ClientCount() != kClients)
        state.SkipWithError("not every client was read back");
    state.SetItemsProcessed(state.iterations() * kClients);
}

// Through the list file, as at start-up; the objects need not be listed for
// the lookup, which only compares their ids.
std::vector<std::unique_ptr<TSyncObject>> FillDownloads()
{
    FreeAllDownloads();
    std::vector<std::unique_ptr<TSyncObject>> objects;
    for (int i = 0; i < kDownloadObjects; ++i)
        objects.push_back(std::make_unique<TSyncObject>(ObjectName(i), QStringLiteral("1.2.3.4"), 1000 + i,
                                                        45000.0 + i / 1440.0, QStringLiteral("/opt/ziel/")));
    QStringList lines;
    for (int c = 0; c < kDownloadComputers; ++c)
        for (const auto& object : objects)
            lines.append(TSyncDownload(QStringLiteral("10.1.%1.%2").arg(c / 256).arg(c % 256), object->ComputeId(),
                                       QStringLiteral("pc-%1").arg(c))
                             .ToLine());
    WriteFileAtomically(ProgramFile(QStringLiteral(".downloads")), JoinLines(lines));
    LoadDownloadList();
    return objects;
}

void FindDownloads(benchmark::State& state)
{
    const std::vector<std::unique_ptr<TSyncObject>> objects = FillDownloads();
    if (DownloadCount() != kDownloadComputers * kDownloadObjects)
        state.SkipWithError("not every download was read back");
    // Login names in another letter case; every fourth computer never confirmed anything.
    std::vector<std::unique_ptr<TSyncClient>> clients;
    for (int c = 0; c < kDownloadComputers; ++c) {
        clients.push_back(std::make_unique<TSyncClient>(QStringLiteral("10.1.0.1"), QStringLiteral("d"), 45000.0,
                                                        QStringLiteral("host-%1").arg(c)));
        clients.back()->SetLocalComputerName(QStringLiteral("PC-%1").arg(c % 4 == 3 ? c + kDownloadComputers : c));
    }
    int i = 0;
    for (auto _ : state) {
        const TSyncClient& client = *clients[(i * 7919) % kDownloadComputers];
        benchmark::DoNotOptimize(HasDownloaded(client, *objects[i % kDownloadObjects]));
        ++i;
    }
    state.SetItemsProcessed(state.iterations());
    FreeAllDownloads();
}

// The cases behind the goals run five times; the best run ("_min") is what
// the machine can do, the others carry whatever else it was doing.
void Repeated(benchmark::internal::Benchmark* bench)
{
    bench->Unit(benchmark::kMillisecond)
        ->Repetitions(5)
        ->ReportAggregatesOnly(true)
        ->ComputeStatistics(
            "min", [](const std::vector<double>& runs) { return *std::min_element(runs.begin(), runs.end()); });
}

} // namespace

BENCHMARK(SaveObjects)->Apply(Repeated);
BENCHMARK(LoadObjects)->Apply(Repeated);
BENCHMARK(ProbeObjectSources)->Apply(Repeated);
BENCHMARK(FindObjects)->Unit(benchmark::kMicrosecond);
BENCHMARK(SaveClients)->Unit(benchmark::kMillisecond);
BENCHMARK(LoadClients)->Unit(benchmark::kMillisecond);
BENCHMARK(FindDownloads)->Unit(benchmark::kMicrosecond);
BENCHMARK(LoadObjectsWithSources)->Unit(benchmark::kMillisecond);

int main(int argc, char** argv)
{
    return RunBenchmarks(argc, argv, [] {
        FreeAllObjects();
        FreeAllClients();
    });
}
