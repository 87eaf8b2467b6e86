// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/HeadlessDesktop.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <memory>
#include <thread>

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDir>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QUuid>

#include <xcb/res.h>
#include <xcb/xcb.h>

#include "platform/ShellOpen.h"

namespace {

using TClock = std::chrono::steady_clock;

constexpr auto kStartTime = std::chrono::seconds(15);

int RemainingMs(TClock::time_point deadline)
{
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - TClock::now()).count();
    return left > 0 ? static_cast<int>(left) : 0;
}

// The first line a daemon writes to the pipe: the display number, the bus address.
QString ReadFirstLine(int fd, TClock::time_point deadline)
{
    QByteArray line;
    while (true) {
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, RemainingMs(deadline)) <= 0)
            return {};
        char c = 0;
        if (::read(fd, &c, 1) != 1)
            return {};
        if (c == '\n')
            return QString::fromLocal8Bit(line);
        line += c;
    }
}

// Ends a daemon with the helpers it started (its process group): politely
// first, then for sure.
void EndGroup(pid_t pid)
{
    ::kill(-pid, SIGTERM);
    bool ended = false;
    for (int i = 0; i < 100 && !ended; ++i) {
        // Reaped already (an X server killed as a crash would) counts as ended.
        const pid_t reaped = ::waitpid(pid, nullptr, WNOHANG);
        ended = reaped == pid || reaped < 0;
        if (!ended)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    ::kill(-pid, SIGKILL);
    if (!ended)
        ::waitpid(pid, nullptr, 0);
    // Helpers of the bus that came to this process as their reaper.
    while (::waitpid(-pid, nullptr, 0) > 0) {
    }
}

// The text of a call's reply on a bus, empty when it fails.
QDBusMessage Call(QDBusConnection& bus, const QString& service, const QString& path, const QString& interface,
                  const QString& method)
{
    return bus.call(QDBusMessage::createMethodCall(service, path, interface, method), QDBus::Block, 2000);
}

} // namespace

THeadlessDesktop::THeadlessDesktop()
{
    const TClock::time_point deadline = TClock::now() + kStartTime;
    QTemporaryDir runtime(QDir::tempPath() + QStringLiteral("/plenwick-desktop-XXXXXX"));
    if (!runtime.isValid())
        throw EHeadlessDesktop(QStringLiteral("Kein Ordner für die Anzeige: %1").arg(runtime.errorString()));
    runtime.setAutoRemove(false);
    m_runtime = runtime.path();
    QFile::setPermissions(m_runtime, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    m_changes = {
        {QStringLiteral("XDG_RUNTIME_DIR"), m_runtime},
        // Otherwise the accessibility switch would be saved for good.
        {QStringLiteral("GSETTINGS_BACKEND"), QStringLiteral("memory")},
        {QStringLiteral("QT_LINUX_ACCESSIBILITY_ALWAYS_ON"), QStringLiteral("1")},
        {QStringLiteral("QT_ACCESSIBILITY"), QStringLiteral("1")},
        {QStringLiteral("GTK_A11Y"), QStringLiteral("atspi")},
        {QStringLiteral("NO_AT_BRIDGE"), QString()},
        {QStringLiteral("AT_SPI_BUS_ADDRESS"), QString()},
        {QStringLiteral("WAYLAND_DISPLAY"), QString()},
        {QStringLiteral("QT_QPA_PLATFORM"), QString()},
    };
    try {
        const QString display = SpawnReporting(
            QStringLiteral("Xvfb"),
            [](int fd) {
                return QStringList{QStringLiteral("-displayfd"),   QString::number(fd),
                                   QStringLiteral("-screen"),      QStringLiteral("0"),
                                   QStringLiteral("1280x1024x24"), QStringLiteral("-nolisten"),
                                   QStringLiteral("tcp"),          QStringLiteral("-noreset")};
            },
            deadline);
        if (display.isEmpty())
            throw EHeadlessDesktop(QStringLiteral("Xvfb meldet keine Anzeige"));
        m_display = display.toInt();
        m_changes.emplace_back(QStringLiteral("DISPLAY"), Display());

        const QString address = SpawnReporting(
            QStringLiteral("dbus-daemon"),
            [](int fd) {
                return QStringList{QStringLiteral("--session"), QStringLiteral("--nofork"),
                                   QStringLiteral("--nopidfile"), QStringLiteral("--print-address=%1").arg(fd)};
            },
            deadline);
        if (address.isEmpty())
            throw EHeadlessDesktop(QStringLiteral("Der Sitzungsbus meldet keine Adresse"));
        m_changes.emplace_back(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), address);
        if (!WaitForAccessibilityBus())
            throw EHeadlessDesktop(QStringLiteral("Der Barrierefreiheitsbus antwortet nicht"));
        m_ownClients = ForeignClients();
    } catch (...) {
        Stop();
        throw;
    }
}

THeadlessDesktop::~THeadlessDesktop()
{
    Stop();
}

void THeadlessDesktop::Stop()
{
    for (auto daemon = m_daemons.rbegin(); daemon != m_daemons.rend(); ++daemon)
        EndGroup(*daemon);
    m_daemons.clear();
    if (!m_runtime.isEmpty())
        QDir(m_runtime).removeRecursively();
    m_runtime.clear();
}

// Arguments and environment are made before the fork: between fork and
// exec only calls that are safe in a child of a threaded process are made.
pid_t THeadlessDesktop::Spawn(const QString& program, const QStringList& arguments, int keepFd)
{
    const QString path = FindProgramOnPath(program);
    if (path.isEmpty())
        throw EHeadlessDesktop(QStringLiteral("%1 ist nicht installiert").arg(program));
    std::vector<QByteArray> argumentBytes{path.toLocal8Bit()};
    for (const QString& argument : arguments)
        argumentBytes.push_back(argument.toLocal8Bit());
    std::vector<char*> argv;
    for (QByteArray& argument : argumentBytes)
        argv.push_back(argument.data());
    argv.push_back(nullptr);
    std::vector<QByteArray> environmentBytes;
    for (const QString& entry : Environment().toStringList())
        environmentBytes.push_back(entry.toLocal8Bit());
    std::vector<char*> envp;
    for (QByteArray& entry : environmentBytes)
        envp.push_back(entry.data());
    envp.push_back(nullptr);
    const int devNull = ::open("/dev/null", O_RDWR | O_CLOEXEC);
    const pid_t parent = ::getpid();
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::setpgid(0, 0);
        // A desktop must not outlive a program that died without ending it.
        ::prctl(PR_SET_PDEATHSIG, SIGKILL);
        if (::getppid() != parent)
            ::_exit(127);
        ::dup2(devNull, STDIN_FILENO);
        ::dup2(devNull, STDOUT_FILENO);
        ::dup2(devNull, STDERR_FILENO);
        ::fcntl(keepFd, F_SETFD, 0);
        ::execve(argv[0], argv.data(), envp.data());
        ::_exit(127);
    }
    ::close(devNull);
    if (pid < 0)
        throw EHeadlessDesktop(QStringLiteral("%1 konnte nicht gestartet werden").arg(program));
    m_daemons.push_back(pid);
    return pid;
}

// A daemon that reports what it chose (its display, its address) on a pipe
// whose number it is given: the first line it writes there.
QString THeadlessDesktop::SpawnReporting(const QString& program, const std::function<QStringList(int fd)>& arguments,
                                         std::chrono::steady_clock::time_point deadline)
{
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0)
        throw EHeadlessDesktop(QStringLiteral("%1 konnte nicht gestartet werden").arg(program));
    const auto closeRead = qScopeGuard([&] { ::close(fds[0]); });
    try {
        Spawn(program, arguments(fds[1]), fds[1]);
    } catch (...) {
        ::close(fds[1]);
        throw;
    }
    ::close(fds[1]);
    return ReadFirstLine(fds[0], deadline);
}

// The session bus starts the accessibility bus on first demand; asking its
// registry returns once that answers, so the first program started
// afterwards registers with it.
bool THeadlessDesktop::WaitForAccessibilityBus()
{
    const TClock::time_point deadline = TClock::now() + kStartTime;
    const QString name = QUuid::createUuid().toString(QUuid::WithoutBraces);
    QString a11y;
    {
        QDBusConnection session =
            QDBusConnection::connectToBus(Environment().value(QStringLiteral("DBUS_SESSION_BUS_ADDRESS")), name);
        while (a11y.isEmpty() && RemainingMs(deadline) > 0) {
            const QDBusMessage reply = Call(session, QStringLiteral("org.a11y.Bus"), QStringLiteral("/org/a11y/bus"),
                                            QStringLiteral("org.a11y.Bus"), QStringLiteral("GetAddress"));
            if (reply.type() == QDBusMessage::ReplyMessage && !reply.arguments().isEmpty())
                a11y = reply.arguments().constFirst().toString();
            else
                std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
    }
    QDBusConnection::disconnectFromBus(name);
    if (a11y.isEmpty())
        return false;
    bool answered = false;
    {
        QDBusConnection bus = QDBusConnection::connectToBus(a11y, name);
        while (!answered && RemainingMs(deadline) > 0) {
            answered =
                Call(bus, QStringLiteral("org.a11y.atspi.Registry"), QStringLiteral("/org/a11y/atspi/accessible/root"),
                     QStringLiteral("org.freedesktop.DBus.Peer"), QStringLiteral("Ping"))
                    .type() == QDBusMessage::ReplyMessage;
            if (!answered)
                std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
    }
    QDBusConnection::disconnectFromBus(name);
    return answered;
}

QProcessEnvironment THeadlessDesktop::Environment() const
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const auto& [name, value] : m_changes) {
        if (value.isEmpty())
            environment.remove(name);
        else
            environment.insert(name, value);
    }
    return environment;
}

int THeadlessDesktop::ForeignClients() const
{
    const QByteArray display = Display().toLatin1();
    xcb_connection_t* x = xcb_connect(display.constData(), nullptr);
    std::unique_ptr<xcb_connection_t, void (*)(xcb_connection_t*)> connection(x, xcb_disconnect);
    if (xcb_connection_has_error(x))
        return 0;
    std::unique_ptr<xcb_res_query_clients_reply_t, void (*)(void*)> reply(
        xcb_res_query_clients_reply(x, xcb_res_query_clients(x), nullptr), std::free);
    // The asking connection is one of them.
    return reply ? static_cast<int>(reply->num_clients) - 1 - m_ownClients : 0;
}
