// SPDX-License-Identifier: GPL-3.0-or-later
// LOGIN round trips per second on loopback, from several concurrent clients:
// on open connections with the protocol log on (protocol file written) and
// off, and as whole sessions (connect, handshake, LOGIN, close) in TLS and
// in clear text, which the server takes here as from older clients. The
// benchmarks run on a worker; the main thread runs the event loop that takes
// the log entries.
#include <atomic>
#include <cstdio>
#include <thread>
#include <vector>

#include <benchmark/benchmark.h>

#include <QDir>
#include <QFile>

#include "app/HeadlessUi.h"
#include "catalogue/SyncObject.h"
#include "foundation/MainConfig.h"
#include "replication/Protocol.h"
#include "replication/ServerBase.h"
#include "replication/TlsChannel.h"
#include "support/BenchHome.h"

namespace {

constexpr int kRoundTripsPerClient = 20;
const QString kLogin = QStringLiteral("LOGIN YW5vbnltb3Vz,Ymx1ZWhlcm9u 08.12.26 benchpc");
// A computer that showed a key is refused in clear text: the plain sessions
// are another computer's.
const QString kPlainLogin = QStringLiteral("LOGIN YW5vbnltb3Vz,Ymx1ZWhlcm9u 08.12.26 oldpc");
TServerBase* g_server = nullptr;

std::unique_ptr<TLineConnection> Open(bool tls)
{
    auto connection = TLineConnection::Connect(QStringLiteral("127.0.0.1"), g_server->Port());
    connection->SetReadTimeout(10000);
    if (tls)
        connection->StartTls(TTlsRole::Client, 10000);
    return connection;
}

void LogIn(TLineConnection& connection)
{
    connection.WriteLine(connection.Encrypted() ? kLogin : kPlainLogin);
    if (!connection.ReadLine().startsWith(QLatin1String("LOGIN ok")))
        std::abort();
}

// Runs the body on one thread per client, kRoundTripsPerClient times each.
template <class TBody>
void OnEveryClient(int clients, const TBody& body)
{
    std::vector<std::thread> threads;
    for (int c = 0; c < clients; ++c)
        threads.emplace_back([&body, c] {
            for (int i = 0; i < kRoundTripsPerClient; ++i)
                body(c);
        });
    for (std::thread& t : threads)
        t.join();
}

void WaitIdle()
{
    while (g_server->ActiveSessionCount() > 0)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
}

void BM_LoginRoundTrip(benchmark::State& state)
{
    const int clients = static_cast<int>(state.range(0));
    MainConfig().Set(QStringLiteral("MiscWriteProtocolToFile"), state.range(1) != 0);
    MainConfig().Set(QStringLiteral("MiscShowProtocol"), state.range(1) != 0);
    std::vector<std::unique_ptr<TLineConnection>> connections;
    for (int i = 0; i < clients; ++i)
        connections.push_back(Open(true));
    for (auto _ : state)
        OnEveryClient(clients, [&](int c) { LogIn(*connections[c]); });
    state.SetItemsProcessed(state.iterations() * clients * kRoundTripsPerClient);
    connections.clear();
    WaitIdle();
}
BENCHMARK(BM_LoginRoundTrip)
    ->ArgsProduct({{1, 10, 50}, {0, 1}})
    ->ArgNames({"clients", "log"})
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);

// The same 50 clients on open connections while 10 readers take a large
// object at a trickle: a transfer holds only its own session.
void BM_LoginBesideSlowReaders(benchmark::State& state)
{
    constexpr int kClients = 50;
    const int readers = static_cast<int>(state.range(0));
    MainConfig().Set(QStringLiteral("MiscWriteProtocolToFile"), false);
    MainConfig().Set(QStringLiteral("MiscShowProtocol"), false);
    std::atomic<bool> stop{false};
    std::vector<std::thread> slow;
    for (int r = 0; r < readers; ++r)
        slow.emplace_back([&stop] {
            const std::unique_ptr<TLineConnection> connection = Open(true);
            LogIn(*connection);
            connection->WriteLine(QStringLiteral("DOWNLOAD \"big.bin\""));
            try {
                while (!stop) {
                    connection->ReadSome(16 * 1024, QDeadlineTimer(10000));
                    std::this_thread::sleep_for(std::chrono::milliseconds(50));
                }
            } catch (const ESocketError&) {
            }
        });
    std::vector<std::unique_ptr<TLineConnection>> connections;
    for (int i = 0; i < kClients; ++i)
        connections.push_back(Open(true));
    for (auto _ : state)
        OnEveryClient(kClients, [&](int c) { LogIn(*connections[c]); });
    state.SetItemsProcessed(state.iterations() * kClients * kRoundTripsPerClient);
    stop = true;
    for (std::thread& t : slow)
        t.join();
    connections.clear();
    WaitIdle();
}
BENCHMARK(BM_LoginBesideSlowReaders)
    ->Arg(0)
    ->Arg(10)
    ->ArgName("slowReaders")
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);

// A new session for every LOGIN, as clients make them: what the TLS
// handshake costs beside clear text.
void BM_LoginSession(benchmark::State& state)
{
    const int clients = static_cast<int>(state.range(0));
    const bool tls = state.range(1) != 0;
    MainConfig().Set(QStringLiteral("MiscWriteProtocolToFile"), false);
    MainConfig().Set(QStringLiteral("MiscShowProtocol"), false);
    for (auto _ : state) {
        OnEveryClient(clients, [tls](int) {
            const std::unique_ptr<TLineConnection> connection = Open(tls);
            LogIn(*connection);
            connection->Disconnect();
        });
    }
    state.SetItemsProcessed(state.iterations() * clients * kRoundTripsPerClient);
    WaitIdle();
}
BENCHMARK(BM_LoginSession)
    ->ArgsProduct({{1, 50}, {1, 0}})
    ->ArgNames({"clients", "tls"})
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv)
{
    return RunServerBenchmarks(
        argc, argv, g_server,
        [] {
            // Fifty clients from one loopback address, and clear text beside TLS.
            MainConfig().Set(QStringLiteral("NetMaxSessionsPerAddress"), 1000);
            MainConfig().Set(QStringLiteral("NetAllowPlainClients"), true);
            // What the slow readers take: 64 MiB, sent as it is.
            MainConfig().Set(QStringLiteral("ServerCompressData"), false);
            const QString folder = MainConfig().GetString(QStringLiteral("ServerObjectDir"));
            QDir().mkpath(folder);
            QFile big(folder + QStringLiteral("big.bin"));
            if (big.open(QIODevice::WriteOnly))
                big.resize(qint64{64} * 1024 * 1024);
            big.close();
            AppendObject(std::make_unique<TSyncObject>(QStringLiteral("big.bin"), QString(), 0, 0,
                                                       QStringLiteral("/nonexistent/")))
                ->RefreshFromSource();
        },
        [] {});
}
