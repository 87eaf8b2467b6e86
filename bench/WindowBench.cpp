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
#include <xcb/xcb.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
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

// Watches the display from outside the program: its main window appears as
// a map on the root window, and the _NET_WM_PING messages sent to it are
// answered by the program's main thread, so an answer's delay is how long
// that thread was held.
class TDisplayWatch
{
public:
    TDisplayWatch()
        : m_x(xcb_connect(nullptr, nullptr)), m_root(xcb_setup_roots_iterator(xcb_get_setup(m_x)).data->root),
          m_protocols(Atom("WM_PROTOCOLS")), m_ping(Atom("_NET_WM_PING")), m_name(Atom("_NET_WM_NAME"))
    {
        // Maps of top-level windows, and the answers to pings, which Qt sends
        // to the root for those who watch its structure.
        const uint32_t mask = XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY | XCB_EVENT_MASK_STRUCTURE_NOTIFY;
        xcb_change_window_attributes(m_x, m_root, XCB_CW_EVENT_MASK, &mask);
        xcb_flush(m_x);
    }
    ~TDisplayWatch() { xcb_disconnect(m_x); }
    TDisplayWatch(const TDisplayWatch&) = delete;
    TDisplayWatch& operator=(const TDisplayWatch&) = delete;

    /// The first window mapped whose name starts so; 0 after the time.
    xcb_window_t WaitForWindow(const QByteArray& namePrefix, int timeoutMs)
    {
        QElapsedTimer clock;
        clock.start();
        while (clock.elapsed() < timeoutMs) {
            xcb_generic_event_t* event = xcb_poll_for_event(m_x);
            if (event == nullptr) {
                std::this_thread::sleep_for(std::chrono::microseconds(200));
                continue;
            }
            xcb_window_t mapped = 0;
            if ((event->response_type & 0x7f) == XCB_MAP_NOTIFY)
                mapped = reinterpret_cast<xcb_map_notify_event_t*>(event)->window;
            std::free(event);
            if (mapped != 0 && Name(mapped).startsWith(namePrefix))
                return mapped;
        }
        return 0;
    }

    /// Pings the window every probe interval until done() holds; the delays
    /// of the answers in microseconds (an unanswered ping counts until the end).
    std::vector<qint64> Ping(xcb_window_t window, const std::function<bool()>& done)
    {
        QElapsedTimer clock;
        clock.start();
        std::vector<qint64> sentAt;
        std::vector<qint64> delays;
        qint64 nextPing = 0;
        while (!done()) {
            const qint64 now = clock.nsecsElapsed() / 1000;
            if (now >= nextPing) {
                xcb_client_message_event_t ping{};
                ping.response_type = XCB_CLIENT_MESSAGE;
                ping.format = 32;
                ping.window = window;
                ping.type = m_protocols;
                ping.data.data32[0] = m_ping;
                ping.data.data32[1] = static_cast<uint32_t>(sentAt.size()); // stands in for the time stamp
                ping.data.data32[2] = window;
                xcb_send_event(m_x, 0, window, XCB_EVENT_MASK_NO_EVENT, reinterpret_cast<const char*>(&ping));
                xcb_flush(m_x);
                sentAt.push_back(now);
                nextPing = now + kProbeMs * 1000;
            }
            while (xcb_generic_event_t* event = xcb_poll_for_event(m_x)) {
                if ((event->response_type & 0x7f) == XCB_CLIENT_MESSAGE) {
                    const auto* answer = reinterpret_cast<xcb_client_message_event_t*>(event);
                    const uint32_t serial = answer->data.data32[1];
                    if (answer->data.data32[0] == m_ping && serial < sentAt.size() && sentAt[serial] >= 0) {
                        delays.push_back(clock.nsecsElapsed() / 1000 - sentAt[serial]);
                        if (delays.back() > 30000 && qEnvironmentVariableIsSet("WINDOW_BENCH_GAPS"))
                            std::fprintf(stderr, "answer after %lld ms to the ping of %lld ms\n",
                                         static_cast<long long>(delays.back() / 1000),
                                         static_cast<long long>(sentAt[serial] / 1000));
                        sentAt[serial] = -1;
                    }
                }
                std::free(event);
            }
            std::this_thread::sleep_for(std::chrono::microseconds(200));
        }
        const qint64 end = clock.nsecsElapsed() / 1000;
        for (const qint64 sent : sentAt)
            if (sent >= 0)
                delays.push_back(end - sent);
        return delays;
    }

private:
    xcb_atom_t Atom(const char* name)
    {
        xcb_intern_atom_reply_t* reply = xcb_intern_atom_reply(
            m_x, xcb_intern_atom(m_x, 0, static_cast<uint16_t>(std::strlen(name)), name), nullptr);
        const xcb_atom_t atom = reply != nullptr ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
        std::free(reply);
        return atom;
    }

    QByteArray Name(xcb_window_t window)
    {
        QByteArray name;
        xcb_get_property_reply_t* reply = xcb_get_property_reply(
            m_x, xcb_get_property(m_x, 0, window, m_name, XCB_GET_PROPERTY_TYPE_ANY, 0, 256), nullptr);
        if (reply != nullptr)
            name = QByteArray(static_cast<const char*>(xcb_get_property_value(reply)),
                              xcb_get_property_value_length(reply));
        std::free(reply);
        return name;
    }

    xcb_connection_t* m_x;
    xcb_window_t m_root;
    xcb_atom_t m_protocols;
    xcb_atom_t m_ping;
    xcb_atom_t m_name;
};

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
            QElapsedTimer sinceCheck;
            sinceCheck.start();
            delays = watch.Ping(window, [&] {
                if (builtAt < 0 && sinceCheck.elapsed() >= 100) {
                    sinceCheck.restart();
                    if (built())
                        builtAt = clock.elapsed();
                }
                return (builtAt >= 0 && clock.elapsed() >= builtAt + kAfterBuiltMs) || clock.elapsed() > 120000;
            });
            const qint64 idleFrom = clock.elapsed();
            idle = watch.Ping(window, [&] { return clock.elapsed() >= idleFrom + kIdleMs; });
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
