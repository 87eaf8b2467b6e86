// SPDX-License-Identifier: GPL-3.0-or-later
#include "support/BenchHome.h"

#include <malloc.h>

#include <thread>

#include <benchmark/benchmark.h>

#include <QCoreApplication>
#include <QFile>

#include "foundation/MainConfig.h"
#include "foundation/UiAdapter.h"
#include "replication/ServerBase.h"

namespace {

std::FILE* SetEnvironment(const QString& dir)
{
    qputenv("PLENWICK_HOME", dir.toUtf8());
    qputenv("PLENWICK_REGISTRY_DIR", dir.toUtf8());
    qputenv("PLENWICK_PROTOCOL_FILE", (dir + QStringLiteral("/bench.protocol")).toUtf8());
    qputenv("XDG_CONFIG_HOME", dir.toUtf8());
    qputenv("PLENWICK_COMPUTERNAME", "benchhost");
    return std::fopen("/dev/null", "w");
}

} // namespace

TBenchHome::TBenchHome() : m_sink(SetEnvironment(m_dir.path())), m_ui(m_sink)
{
    TUiAdapter::Install(&m_ui);
    RegisterAllOptions();
}

TBenchHome::~TBenchHome()
{
    TUiAdapter::Install(nullptr);
    std::fclose(m_sink);
}

int RunBenchmarks(int argc, char** argv, const std::function<void()>& cleanUp)
{
    QCoreApplication app(argc, argv);
    TBenchHome home;
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    cleanUp();
    return 0;
}

int RunServerBenchmarks(int argc, char** argv, TServerBase*& server, const std::function<void()>& prepare,
                        const std::function<void()>& cleanUp)
{
    benchmark::Initialize(&argc, argv);
    QCoreApplication app(argc, argv);
    TBenchHome home;
    MainConfig().Set(QStringLiteral("NetServerPort"), 0);
    prepare();
    int rc = 0;
    {
        TServerBase listening;
        listening.StartListeners();
        server = &listening;
        std::thread runner([&] {
            benchmark::RunSpecifiedBenchmarks();
            QMetaObject::invokeMethod(
                &app, [] { QCoreApplication::quit(); }, Qt::QueuedConnection);
        });
        rc = app.exec();
        runner.join();
        server = nullptr;
    }
    cleanUp();
    benchmark::Shutdown();
    return rc;
}

long StatusKiB(QByteArrayView field)
{
    QFile status(QStringLiteral("/proc/self/status"));
    status.open(QIODevice::ReadOnly);
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith(field) && line.mid(field.size()).startsWith(':'))
            return line.mid(field.size() + 1).trimmed().split(' ').value(0).toLong();
    return 0;
}

long ResidentKiB()
{
    return StatusKiB("VmRSS");
}

size_t HeapInUse()
{
    const struct mallinfo2 info = mallinfo2();
    return info.uordblks + info.hblkhd;
}
