// SPDX-License-Identifier: GPL-3.0-or-later
#include "foundation/PoolInterlocked.h"

#include <cstdio>
#include <exception>
#include <mutex>

#include <QCoreApplication>
#include <QFile>
#include <QThread>

#include "base/DateTime.h"
#include "foundation/MainConfig.h"
#include "foundation/UiPort.h"
#include "platform/ProgramPaths.h"

namespace {

bool OptionOn(const char* name)
{
    return OptionsRegistered() && MainConfig().GetBoolean(QString::fromLatin1(name));
}

void AppendToProtocolFile(const QString& line)
{
    static const QString path = ProtocolFilePath(); // worked out once per process
    QFile file(path);
    if (file.open(QIODevice::WriteOnly | QIODevice::Append)) {
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

void LogOnMainThread(const QString& category, const QString& message, int icon)
{
    TProtocolEntry entry{FormatDateTimeMs(DateTimeNow()), category, message, icon};
    if (HasUi())
        Ui().ProtocolEntry(entry, OptionOn("MiscShowProtocol"), OptionOn("MiscProtocolLastToFirst"));
    if (OptionOn("MiscWriteProtocolToFile"))
        AppendToProtocolFile(entry.FileLine());
}

void Overview(TOverviewPane pane, const QString& clientName, const QString& message)
{
    QString block = FormatDateTimeLong(DateTimeNow()) + QStringLiteral("\r\n");
    if (!clientName.isEmpty())
        block += QStringLiteral("Client \"") + clientName + QStringLiteral("\":\r\n");
    block += message + QStringLiteral("\r\n");
    const bool activate = OptionOn("MiscChangeToOverview");
    TPoolInterlocked::Synchronize([&] {
        if (HasUi())
            Ui().OverviewMessage(pane, block, activate);
    });
}

} // namespace

bool TPoolInterlocked::IsMainThread()
{
    const QCoreApplication* app = QCoreApplication::instance();
    return app == nullptr || QThread::currentThread() == app->thread();
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
    if (IsMainThread()) {
        proc();
        return;
    }
    std::exception_ptr failure;
    QMetaObject::invokeMethod(
        QCoreApplication::instance(),
        [&] {
            try {
                proc();
            } catch (...) {
                failure = std::current_exception();
            }
        },
        Qt::BlockingQueuedConnection);
    if (failure)
        std::rethrow_exception(failure);
}

void TPoolInterlocked::Post(std::function<void()> proc)
{
    if (IsMainThread())
        proc();
    else
        QMetaObject::invokeMethod(QCoreApplication::instance(), std::move(proc), Qt::QueuedConnection);
}

void Log(const QString& category, const QString& message, int icon)
{
    try {
        TPoolInterlocked::Synchronize([&] { LogOnMainThread(category, message, icon); });
    } catch (const std::exception& error) {
        std::fprintf(stderr, "%s [%s] %s (%s)\n", qPrintable(FormatDateTimeMs(DateTimeNow())), qPrintable(category),
                     qPrintable(message), qPrintable(ExceptionText(error)));
    }
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
