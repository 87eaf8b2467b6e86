// SPDX-License-Identifier: GPL-3.0-or-later
#include "foundation/PoolInterlocked.h"

#include <atomic>
#include <cstdio>
#include <exception>
#include <mutex>

#include <QFile>

#include "base/AtomicFile.h"
#include "base/DateTime.h"
#include "foundation/MainThread.h"
#include "foundation/UiAdapter.h"
#include "platform/ProgramPaths.h"

namespace {

std::atomic<TProtocolSwitch> g_protocolSwitch{nullptr};

bool OptionOn(const char* name)
{
    const TProtocolSwitch isOn = g_protocolSwitch;
    return isOn != nullptr && isOn(name);
}

void AppendToProtocolFile(const QString& line)
{
    static const QString path = ProtocolFilePath(); // worked out once per process
    QFile file(path);
    if (file.open(QIODevice::WriteOnly | QIODevice::Append)) {
        // Protocol lines name objects and clients: not for every user.
        ApplyFileAccess(file.handle(), TFileAccess::GroupReadOnly);
        const QByteArray bytes = line.toUtf8() + "\r\n";
        if (file.write(bytes) == bytes.size())
            return;
    }
    static std::once_flag reported;
    std::call_once(reported, [&] {
        std::fprintf(stderr, "Protokolldatei \"%s\" kann nicht geschrieben werden: %s\n", qPrintable(path),
                     qPrintable(file.errorString()));
    });
}

// Runs on the main thread, in the order the entries were made.
void DeliverEntry(const TProtocolEntry& entry, TUiPort* port)
{
    try {
        if (port != nullptr)
            port->ProtocolEntry(entry, OptionOn("MiscShowProtocol"), OptionOn("MiscProtocolLastToFirst"));
        if (OptionOn("MiscWriteProtocolToFile"))
            AppendToProtocolFile(entry.FileLine());
    } catch (const std::exception& error) {
        std::fprintf(stderr, "%s (%s)\n", qPrintable(entry.FileLine()), qPrintable(ExceptionText(error)));
    }
}

void Overview(TOverviewPane pane, const QString& clientName, const QString& message)
{
    QString block = FormatDateTimeLong(DateTimeNow()) + QStringLiteral("\r\n");
    if (!clientName.isEmpty())
        block += QStringLiteral("Client \"") + clientName + QStringLiteral("\":\r\n");
    block += message + QStringLiteral("\r\n");
    TUiAdapter::OverviewMessage(pane, block, OptionOn("MiscChangeToOverview"));
}

} // namespace

void SetProtocolSwitch(TProtocolSwitch isOn)
{
    g_protocolSwitch = isOn;
}

bool TPoolInterlocked::IsMainThread()
{
    return ::IsMainThread();
}

void TPoolInterlocked::Synchronize(const QVariantList& args, const TInterlockedProc& proc)
{
    if (args.isEmpty())
        throw ENoArgs(QStringLiteral("Kein Aufrufargument angegeben; normales Synchronize() verwenden"));
    if (!proc)
        throw ENoProc(QStringLiteral("Keine Prozedur angegeben"));
    const QVariantList copy = args;
    Synchronize([&] { proc(copy); });
}

void TPoolInterlocked::Synchronize(const std::function<void()>& proc)
{
    if (!proc)
        throw ENoProc(QStringLiteral("Keine Prozedur angegeben"));
    RunOnMainThread(proc);
}

void TPoolInterlocked::Post(std::function<void()> proc)
{
    PostToMainThread(std::move(proc));
}

void Log(const QString& category, const QString& message, int icon)
{
    // Stamped now: the main thread may get to it only later.
    TProtocolEntry entry{FormatDateTimeMs(DateTimeNow()), category, message, icon};
    TUiAdapter::Post([entry](TUiPort* port) { DeliverEntry(entry, port); });
}

void ClientMessage(const QString& message)
{
    Overview(TOverviewPane::Client, QString(), message);
}

void ServerMessage(const QString& clientName, const QString& message)
{
    Overview(TOverviewPane::Server, clientName, message);
}

QString ExceptionSuffix(const std::exception& error)
{
    return QStringLiteral("ist eine Ausnahme des Typs \"%1\" aufgetreten").arg(ExceptionText(error));
}
