// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/ShellOpen.h"

#include <atomic>
#include <mutex>

#include <QDBusConnection>
#include <QDBusMessage>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QUrl>

namespace {

constexpr int kFileManagerTimeoutMs = 3000;

std::atomic<bool> g_accessible{false};
std::mutex g_environmentLock;
QProcessEnvironment g_environment; // empty: this process's

// PLENWICK_OPEN stands in for the desktop's opener (tests must not start a browser).
QString StandIn()
{
    return qEnvironmentVariable("PLENWICK_OPEN");
}

bool StartDetached(const QString& program, const QStringList& arguments, const QString& workingFolder)
{
    QProcess process;
    process.setProgram(program);
    process.setArguments(arguments);
    process.setWorkingDirectory(workingFolder);
    QProcessEnvironment environment;
    {
        std::lock_guard guard(g_environmentLock);
        environment = g_environment;
    }
    if (environment.isEmpty() && g_accessible)
        environment = QProcessEnvironment::systemEnvironment();
    if (g_accessible)
        environment.insert(QStringLiteral("QT_LINUX_ACCESSIBILITY_ALWAYS_ON"), QStringLiteral("1"));
    if (!environment.isEmpty())
        process.setProcessEnvironment(environment);
    return process.startDetached();
}

bool OpenWithDesktop(const QString& path, const QStringList& parameters, const QString& workingFolder)
{
    const QString standIn = StandIn();
    const QString opener = !standIn.isEmpty() ? standIn : FindProgramOnPath(QStringLiteral("xdg-open"));
    return !opener.isEmpty() && StartDetached(opener, QStringList{path} + parameters, workingFolder);
}

// A file is shown selected in its folder, a folder opened.
bool ShowInFileManager(const QFileInfo& item)
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected())
        return false;
    QDBusMessage call = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.FileManager1"), QStringLiteral("/org/freedesktop/FileManager1"),
        QStringLiteral("org.freedesktop.FileManager1"),
        item.isDir() ? QStringLiteral("ShowFolders") : QStringLiteral("ShowItems"));
    call << QStringList{QUrl::fromLocalFile(item.absoluteFilePath()).toString()} << QString();
    return bus.call(call, QDBus::Block, kFileManagerTimeoutMs).type() == QDBusMessage::ReplyMessage;
}

} // namespace

bool ShellOpen(const QString& path, const QStringList& parameters, const QString& workingFolder)
{
    const QFileInfo file(path);
    if (file.isFile() && file.isExecutable())
        return StartDetached(path, parameters, workingFolder);
    return OpenWithDesktop(path, parameters, workingFolder);
}

void StartProgramsAccessible()
{
    g_accessible = true;
}

void StartProgramsIn(const QProcessEnvironment& environment)
{
    std::lock_guard guard(g_environmentLock);
    g_environment = environment;
}

bool ShellExplore(const QString& path)
{
    const QFileInfo item(path);
    if (StandIn().isEmpty() && ShowInFileManager(item))
        return true;
    return OpenWithDesktop(item.isDir() ? item.absoluteFilePath() : item.absolutePath(), {}, {});
}

QString FindProgramOnPath(const QString& name)
{
    return QStandardPaths::findExecutable(name);
}
