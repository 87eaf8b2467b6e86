// SPDX-License-Identifier: GPL-3.0-or-later
// DOWNLOAD_OK round trips per second on loopback with 1 000, 100 000 and
// 1 000 000 records in the download list. DOWNLOAD_OK has no reply, so each
// round trip is a DOWNLOAD_OK followed by a LOGIN whose reply shows that the
// server is done with both; LoginOnly is that LOGIN alone, for comparison.
// Every record names the one object of the list, so none is cleaned away.
// Beside the rate: the heap the loaded list holds per record, and the
// process's resident memory with it.
#include <algorithm>
#include <thread>
#include <vector>

#include <benchmark/benchmark.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include "catalogue/SyncDownload.h"
#include "catalogue/SyncObject.h"
#include "foundation/MainConfig.h"
#include "platform/ProgramPaths.h"
#include "replication/Protocol.h"
#include "replication/ServerBase.h"
#include "support/BenchHome.h"

namespace {

TServerBase* g_server = nullptr;
quint64 g_objectId = 0;
const QString kLogin = QStringLiteral("LOGIN YW5vbnltb3Vz,Ymx1ZWhlcm9u 08.12.26 benchpc");

// A download list of that many records, loaded as at start.
void PrepareList(int records)
{
    FreeAllDownloads();
    QFile file(ProgramFile(QStringLiteral(".downloads")));
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        std::abort();
    const QByteArray id = QByteArray::number(g_objectId);
    QByteArray chunk;
    for (int i = 0; i < records; ++i) {
        chunk += "10.0." + QByteArray::number(i / 250 % 250) + '.' + QByteArray::number(i % 250) + ",pc" +
                 QByteArray::number(i) + ',' + id + "\r\n";
        if (chunk.size() > (1 << 20)) {
            file.write(chunk);
            chunk.clear();
        }
    }
    file.write(chunk);
    file.close();
    LoadDownloadList();
}

void RoundTrip(TLineConnection& connection)
{
    connection.WriteLine(kLogin);
    if (connection.ReadLine().isEmpty())
        std::abort();
}

std::unique_ptr<TLineConnection> LoggedIn()
{
    auto connection = TLineConnection::Connect(QStringLiteral("127.0.0.1"), g_server->Port());
    connection->SetReadTimeout(600000);
    RoundTrip(*connection);
    return connection;
}

void WaitIdle()
{
    while (g_server->ActiveSessionCount() > 0)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
}

void BM_DownloadOkRoundTrip(benchmark::State& state)
{
    const int records = static_cast<int>(state.range(0));
    FreeAllDownloads();
    const size_t heapBefore = HeapInUse();
    PrepareList(records);
    state.counters["bytes_per_record"] = (static_cast<double>(HeapInUse()) - static_cast<double>(heapBefore)) / records;
    state.counters["rss_MiB"] = static_cast<double>(ResidentKiB()) / 1024.0;
    auto connection = LoggedIn();
    const QString confirm = QStringLiteral("DOWNLOAD_OK \"bench.txt\" %1").arg(g_objectId);
    for (auto _ : state) {
        connection->WriteLine(confirm);
        RoundTrip(*connection);
    }
    if (DownloadCount() != records + 1)
        state.SkipWithError("the confirmation was not recorded");
    state.SetItemsProcessed(state.iterations());
    connection.reset();
    WaitIdle();
}
BENCHMARK(BM_DownloadOkRoundTrip)
    ->Arg(1000)
    ->Arg(100000)
    ->Arg(1000000)
    ->ArgNames({"records"})
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond)
    // The goals take the median rate of three runs per size, and the most
    // memory any of them held.
    ->Repetitions(3)
    ->ReportAggregatesOnly(true)
    ->ComputeStatistics("max",
                        [](const std::vector<double>& runs) { return *std::max_element(runs.begin(), runs.end()); });

void BM_LoginOnly(benchmark::State& state)
{
    auto connection = LoggedIn();
    for (auto _ : state)
        RoundTrip(*connection);
    state.SetItemsProcessed(state.iterations());
    connection.reset();
    WaitIdle();
}
BENCHMARK(BM_LoginOnly)->UseRealTime()->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv)
{
    return RunServerBenchmarks(
        argc, argv, g_server,
        [] {
            MainConfig().Set(QStringLiteral("MiscWriteProtocolToFile"), false);
            MainConfig().Set(QStringLiteral("MiscShowProtocol"), false);
            // The list is measured, not the channel.
            MainConfig().Set(QStringLiteral("NetAllowPlainClients"), true);
            // A confirmation counts only for an object the master can serve as it is.
            QFile source(MainConfig().GetString(QStringLiteral("ServerObjectDir")) + QStringLiteral("bench.txt"));
            if (!QDir().mkpath(QFileInfo(source).absolutePath()) || !source.open(QIODevice::WriteOnly) ||
                source.write("x") != 1)
                std::abort();
            source.close();
            g_objectId = AppendObject(TSyncObject::FromSource(QStringLiteral("bench.txt"), QStringLiteral("/tmp/")))
                             ->ComputeId();
        },
        [] {
            FreeAllDownloads();
            FreeAllObjects();
        });
}
