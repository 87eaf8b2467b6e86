// SPDX-License-Identifier: GPL-3.0-or-later
#include "support/BenchHome.h"

#include <benchmark/benchmark.h>

#include <QCoreApplication>

#include "foundation/MainConfig.h"

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
    SetUi(&m_ui);
    RegisterAllOptions();
}

TBenchHome::~TBenchHome()
{
    SetUi(nullptr);
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
