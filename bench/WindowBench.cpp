// SPDX-License-Identifier: GPL-3.0-or-later
// The window's two speed goals, run by bench/window.sh on a private X display:
//   --startup <objects>  the real program from its start to the window shown,
//                        with a catalogue of that many objects (three runs);
//   --stall              the main thread's lateness (a 10 ms probe timer)
//                        while worker threads send 5 000 protocol entries a
//                        second for 10 s to the visible protocol page.
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
#include "ui/main/GuiUi.h"
#include "ui/main/Main.h"
#include "ui/pages/PageProtocol.h"

namespace {

constexpr int kRuns = 3;
constexpr int kEntriesPerSecond = 5000;
constexpr int kWorkers = 4;
constexpr int kStallSeconds = 10;
constexpr int kProbeMs = 10;

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

int Startup(int objects)
{
    QTemporaryDir dir;
    UseFolder(dir.path());
    RegisterAllOptions();
    const QString home = dir.path() + "/home";
    WriteCatalogue(home, objects);
    WriteText(home + "/plenwick.config", "[Options]\r\nMiscWriteProtocolToFile=1\r\n");
    WriteText(dir.path() + "/registry/user.reg", "REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\Software\\Plenwick\\Plenwick]\r\n"
                                                 "\"SuppressSplashScreen\"=dword:00000001\r\n");
    const QString protocol = dir.path() + "/plenwick.protocol";
    std::printf("start-up with %d objects:", objects);
    for (int run = 0; run < kRuns; ++run) {
        QFile::remove(protocol);
        QProcess program;
        program.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        QElapsedTimer clock;
        clock.start();
        program.start(QStringLiteral(PLENWICK_BENCH_BINARY), {});
        // The window counts as shown once it is mapped on the display.
        qint64 shown = -1;
        while (shown < 0 && clock.elapsed() < 60000) {
            QProcess search;
            search.start(QStringLiteral("xdotool"), {QStringLiteral("search"), QStringLiteral("--onlyvisible"),
                                                     QStringLiteral("--name"), QStringLiteral("^Plenwick - \\[")});
            search.waitForFinished(5000);
            if (!search.readAllStandardOutput().trimmed().isEmpty())
                shown = clock.elapsed();
        }
        ::kill(static_cast<pid_t>(program.processId()), SIGTERM);
        program.waitForFinished(30000);
        std::printf(" %lld ms", static_cast<long long>(shown));
        std::fflush(stdout);
    }
    std::printf("\n");
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
        std::vector<qint64> lateness;
        QElapsedTimer sinceTick;
        QTimer probe;
        probe.setTimerType(Qt::PreciseTimer);
        probe.setInterval(kProbeMs);
        QObject::connect(&probe, &QTimer::timeout, [&] {
            lateness.push_back(std::max<qint64>(0, sinceTick.nsecsElapsed() / 1000 - kProbeMs * 1000));
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
        std::sort(lateness.begin(), lateness.end());
        const qint64 p99 = lateness.empty() ? 0 : lateness[lateness.size() * 99 / 100];
        const qint64 worst = lateness.empty() ? 0 : lateness.back();
        gui.Form().PageProtocol()->FlushNow();
        std::printf("stall run %d: %ld entries (%ld/s), %d rows, probe lateness p99 %.1f ms, max %.1f ms\n", run + 1,
                    sent.load(), sent.load() / kStallSeconds, gui.Form().PageProtocol()->RowCount(), p99 / 1000.0,
                    worst / 1000.0);
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
    if (arguments.size() == 3 && arguments[1] == QLatin1String("--startup"))
        return Startup(arguments[2].toInt());
    if (arguments.size() == 2 && arguments[1] == QLatin1String("--stall"))
        return Stall();
    std::fprintf(stderr, "Aufruf: WindowBench --startup <Objekte> | --stall\n");
    return 2;
}
