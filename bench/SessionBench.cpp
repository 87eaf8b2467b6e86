// SPDX-License-Identifier: GPL-3.0-or-later
// LOGIN round trips per second on loopback, from several concurrent clients,
// with the protocol log on (protocol file written) and off. The benchmarks run
// on a worker; the main thread runs the event loop that takes the log entries.
#include <cstdio>
#include <thread>
#include <vector>

#include <benchmark/benchmark.h>

#include "app/HeadlessUi.h"
#include "foundation/MainConfig.h"
#include "replication/Protocol.h"
#include "replication/ServerBase.h"
#include "support/BenchHome.h"

namespace {

constexpr int kRoundTripsPerClient = 20;
TServerBase* g_server = nullptr;

void BM_LoginRoundTrip(benchmark::State& state)
{
    const int clients = static_cast<int>(state.range(0));
    MainConfig().Set(QStringLiteral("MiscWriteProtocolToFile"), state.range(1) != 0);
    MainConfig().Set(QStringLiteral("MiscShowProtocol"), state.range(1) != 0);
    std::vector<std::unique_ptr<TLineConnection>> connections;
    for (int i = 0; i < clients; ++i) {
        connections.push_back(TLineConnection::Connect(QStringLiteral("127.0.0.1"), g_server->Port()));
        connections.back()->SetReadTimeout(10000);
    }
    const QString request = QStringLiteral("LOGIN YW5vbnltb3Vz,Ymx1ZWhlcm9u 08.12.26 benchpc");
    for (auto _ : state) {
        std::vector<std::thread> threads;
        for (auto& connection : connections) {
            threads.emplace_back([&] {
                for (int i = 0; i < kRoundTripsPerClient; ++i) {
                    connection->WriteLine(request);
                    if (connection->ReadLine().isEmpty())
                        std::abort();
                }
            });
        }
        for (std::thread& t : threads)
            t.join();
    }
    state.SetItemsProcessed(state.iterations() * clients * kRoundTripsPerClient);
    connections.clear();
    while (g_server->ActiveSessionCount() > 0)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
}
BENCHMARK(BM_LoginRoundTrip)
    ->ArgsProduct({{1, 10, 50}, {0, 1}})
    ->ArgNames({"clients", "log"})
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv)
{
    return RunServerBenchmarks(
        argc, argv, g_server, [] {}, [] {});
}
