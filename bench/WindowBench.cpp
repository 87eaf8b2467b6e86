// SPDX-License-Identifier: GPL-3.0-or-later
// The window's two speed goals, run by bench/window.sh on a private X display:
//   --startup <objects> [details]
//                        the real program from its start to the window shown,
//                        with a catalogue of that many objects, and how long
//                        its main thread was held from then until both object
//                        views are built (three runs); with "details" the
//                        objects page shows, in the details style, sorted by
//                        name in descending order, with columns still to fit;
//   --stall              the main thread's stalls (gaps of a 10 ms probe
//                        timer) while worker threads send 5 000 protocol
//                        entries a second for 10 s to the visible protocol page.
// WINDOW_BENCH_GAPS=1 prints every answer to a ping slower than 30 ms with
// the time it was sent, counted from the window's map.
#include <signal.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <memory>
#include <thread>
#include <vector>

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>

#include "catalogue/CatalogueSetup.h"
#include "catalogue/SyncObject.h"
#include "foundation/MainConfig.h"
#include "foundation/PoolInterlocked.h"
#include "foundation/UiAdapter.h"
#include "platform/ProgramPaths.h"
#include "support/DisplayWatch.h"
#include "ui/main/GuiUi.h"
#include "ui/main/Main.h"
#include "ui/pages/PageProtocol.h"

namespace {

constexpr int kRuns = 3;
constexpr int kEntriesPerSecond = 5000;
constexpr int kWorkers = 4;
constexpr int kStallSeconds = 10;
constexpr int kProbeMs = 10;
// The start counts as over this long after both object views are built;
// then the pings go on this long with nothing to do, for the machine's own stalls.
constexpr int kAfterBuiltMs = 1000;
constexpr int kIdleMs = 2000;

void UseFolder(const QString& root)
{
    qputenv("PLENWICK_HOME", (root + "/home").toUtf8());
    qputenv("PLENWICK_REGISTRY_DIR", (root + "/registry").toUtf8());
    qputenv("PLENWICK_PROTOCOL_FILE", (root + "/plenwick.protocol").toUtf8());
    qputenv("PLENWICK_COMPUTERNAME", "benchhost");
    QDir().mkpath(root + "/home");
    QDir().mkpath(root + "/registry");
}

void WriteText(const QString& path, const QByteArray& text)
{
    QFile file(path);
    if (file.open(QIODevice::WriteOnly))
        file.write(text);
}

// The object list file of the real program ("plenwick.objects"), written
// through the catalogue's own writer.
void WriteCatalogue(const QString& home, int objects)
{
    FreeAllObjects();
    for (int i = 0; i < objects; ++i) {
        auto object = std::make_unique<TSyncObject>(
            QStringLiteral("Abteilung%1/Programme/werkzeug%2.exe").arg(i % 97).arg(i), QStringLiteral("1.2.3.4"),
            1000 + i, 45000.0 + i / 1440.0, QStringLiteral("/opt/ziel/"));
        AppendObject(std::move(object));
    }
    SaveObjectList();
    FreeAllObjects();
    QFile::remove(home + "/plenwick.objects");
    QFile::rename(ProgramFile(QStringLiteral(".objects")), home + "/plenwick.objects");
}

// The machine's load over the last minute: the other programs on it stall
// the window too.
QByteArray LoadAverage()
{
    QFile file(QStringLiteral("/proc/loadavg"));
    return file.open(QIODevice::ReadOnly) ? file.readAll().split(' ').value(0) : QByteArray("?");
}

struct TStalls {
    double p99Ms = 0;
    double maxMs = 0;
};

// Sorted in place.
TStalls Summarise(std::vector<qint64>& micros)
{
    std::sort(micros.begin(), micros.end());
    if (micros.empty())
        return {};
    return {micros[micros.size() * 99 / 100] / 1000.0, micros.back() / 1000.0};
}

// The delays of the answers, in microseconds; with WINDOW_BENCH_GAPS those
// slower than 30 ms are printed with the time their ping was sent.
std::vector<qint64> Delays(const std::vector<TDisplayWatch::TAnswer>& answers, qint64 mapped)
{
    std::vector<qint64> delays;
    for (const TDisplayWatch::TAnswer& answer : answers) {
        delays.push_back(answer.answered - answer.sent);
        if (delays.back() > 30000 && qEnvironmentVariableIsSet("WINDOW_BENCH_GAPS"))
            std::fprintf(stderr, "answer after %lld ms to the ping of %lld ms\n",
                         static_cast<long long>(delays.back() / 1000),
                         static_cast<long long>((answer.sent - mapped) / 1000));
    }
    return delays;
}

int Startup(int objects, bool details)
{
    QTemporaryDir dir;
    UseFolder(dir.path());
    RegisterAllOptions();
    const QString home = dir.path() + "/home";
    WriteCatalogue(home, objects);
    // The master server of a configured network: a first start would ask
    // for the connection in a dialog of its own.
    WriteText(home + "/plenwick.config", "[Options]\r\nNetServerName=benchhost\r\nMiscWriteProtocolToFile=1\r\n");
    QByteArray registry = "REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\Software\\Plenwick\\Plenwick]\r\n"
                          "\"SuppressSplashScreen\"=dword:00000001\r\n";
    if (details)
        registry += "\r\n[HKEY_CURRENT_USER\\Software\\Plenwick\\Plenwick\\Styles]\r\n"
                    "\"MainActiveTab\"=dword:00000001\r\n\"MainListViewObjectsViewStyle\"=dword:00000003\r\n"
                    "\"MainListViewObjectsSortColumn\"=dword:00000000\r\n"
                    "\"MainListViewObjectsSortDescending\"=dword:00000001\r\n";
    WriteText(dir.path() + "/registry/user.reg", registry);
    const QString protocol = dir.path() + "/plenwick.protocol";
    // Both object views are built once the protocol says so.
    const auto built = [&protocol] {
        QFile file(protocol);
        if (!file.open(QIODevice::ReadOnly))
            return false;
        const QByteArray text = file.readAll();
        return text.contains("TreeView wurde aufgebaut") && text.contains("ListView wurde aufgebaut");
    };
    for (int run = 0; run < kRuns; ++run) {
        QFile::remove(protocol);
        TDisplayWatch watch;
        QProcess program;
        program.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        QElapsedTimer clock;
        clock.start();
        program.start(QStringLiteral(PLENWICK_BENCH_BINARY), {});
        const xcb_window_t window = watch.WaitForWindow("Plenwick - [", 60000);
        const qint64 shown = window != 0 ? clock.elapsed() : -1;
        qint64 builtAt = -1;
        std::vector<qint64> delays;
        std::vector<qint64> idle;
        if (window != 0) {
            const qint64 mapped = watch.Now();
            QElapsedTimer sinceCheck;
            sinceCheck.start();
            delays = Delays(watch.Ping(window, kProbeMs,
                                       [&] {
                                           if (builtAt < 0 && sinceCheck.elapsed() >= 100) {
                                               sinceCheck.restart();
                                               if (built())
                                                   builtAt = clock.elapsed();
                                           }
                                           return (builtAt >= 0 && clock.elapsed() >= builtAt + kAfterBuiltMs) ||
                                                  clock.elapsed() > 120000;
                                       }),
                            mapped);
            const qint64 idleFrom = clock.elapsed();
            idle = Delays(watch.Ping(window, kProbeMs, [&] { return clock.elapsed() >= idleFrom + kIdleMs; }), mapped);
        }
        ::kill(static_cast<pid_t>(program.processId()), SIGTERM);
        program.waitForFinished(30000);
        const TStalls stalls = Summarise(delays);
        const TStalls idleStalls = Summarise(idle);
        std::printf("start-up with %d objects%s, run %d: window shown after %lld ms, views built after %lld ms; "
                    "main thread held p99 %.1f ms, max %.1f ms (%zu pings); idle afterwards p99 %.1f ms, max %.1f ms; "
                    "load %s\n",
                    objects, details ? " (details, sorted)" : "", run + 1, static_cast<long long>(shown),
                    static_cast<long long>(builtAt), stalls.p99Ms, stalls.maxMs, delays.size(), idleStalls.p99Ms,
                    idleStalls.maxMs, LoadAverage().constData());
        std::fflush(stdout);
    }
    return 0;
}

int Stall()
{
    QTemporaryDir dir;
    UseFolder(dir.path());
    RegisterAllOptions();
    MainConfig().Set(QStringLiteral("MiscShowProtocol"), true);
    TGuiUi gui;
    TUiAdapter::Install(&gui);
    gui.SetCaption(QStringLiteral("WindowBench"));
    gui.SetProtocolPageVisible(true);
    gui.SetWindowStart(TWindowStart::Shown);
    gui.Form().ShowPage(TPage::Protocol);

    for (int run = 0; run < kRuns; ++run) {
        gui.Form().PageProtocol()->Clear();
        std::vector<qint64> gaps;
        QElapsedTimer sinceTick;
        QTimer probe;
        probe.setTimerType(Qt::PreciseTimer);
        probe.setInterval(kProbeMs);
        QObject::connect(&probe, &QTimer::timeout, [&] {
            gaps.push_back(sinceTick.nsecsElapsed() / 1000);
            sinceTick.restart();
        });
        std::atomic<bool> stop{false};
        std::atomic<long> sent{0};
        std::atomic<int> finished{0};
        std::vector<std::thread> workers;
        for (int w = 0; w < kWorkers; ++w)
            workers.emplace_back([&, w] {
                // Paced per worker: each sends its share, evenly spread.
                const qint64 gapNs = 1000000000LL * kWorkers / kEntriesPerSecond;
                QElapsedTimer clock;
                clock.start();
                for (long n = 0; !stop; ++n) {
                    while (clock.nsecsElapsed() < n * gapNs && !stop)
                        std::this_thread::sleep_for(std::chrono::microseconds(100));
                    Log(QStringLiteral("Bench"), QStringLiteral("Eintrag %1 von Arbeiter %2").arg(n).arg(w), 45);
                    ++sent;
                }
                ++finished;
            });
        sinceTick.start();
        probe.start();
        QTimer::singleShot(kStallSeconds * 1000, [&] { QCoreApplication::exit(0); });
        QCoreApplication::exec();
        probe.stop();
        stop = true;
        // The workers may wait for the main thread with their last entry.
        while (finished < kWorkers)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        for (std::thread& worker : workers)
            worker.join();
        const TStalls stalls = Summarise(gaps);
        gui.Form().PageProtocol()->FlushNow();
        std::printf("stall run %d: %ld entries (%ld/s), %d rows, probe gaps p99 %.1f ms, max %.1f ms\n", run + 1,
                    sent.load(), sent.load() / kStallSeconds, gui.Form().PageProtocol()->RowCount(), stalls.p99Ms,
                    stalls.maxMs);
        std::fflush(stdout);
    }
    TUiAdapter::Install(nullptr);
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    InstallCatalogue();
    const QStringList arguments = QCoreApplication::arguments();
    if (arguments.size() >= 3 && arguments.size() <= 4 && arguments[1] == QLatin1String("--startup"))
        return Startup(arguments[2].toInt(), arguments.value(3) == QLatin1String("details"));
    if (arguments.size() == 2 && arguments[1] == QLatin1String("--stall"))
        return Stall();
    std::fprintf(stderr, "Aufruf: WindowBench --startup <Objekte> [details] | --stall\n");
    return 2;
}
