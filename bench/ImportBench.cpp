// SPDX-License-Identifier: GPL-3.0-or-later
// Import of a tree of 100 000 empty files in 2 000 folders, and the time the
// monitor takes to notice and apply one changed file in it.
#include <cstdio>
#include <functional>
#include <memory>

#include <benchmark/benchmark.h>

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QThread>

#include "app/HeadlessUi.h"
#include "base/DateTime.h"
#include "catalogue/ChangeNotifyBase.h"
#include "catalogue/ImportChilds.h"
#include "catalogue/SyncObject.h"
#include "foundation/MainConfig.h"
#include "foundation/UiPort.h"
#include "platform/FileTimes.h"
#include "support/BenchHome.h"

namespace {

constexpr int kFolders = 2000;
constexpr int kFilesPerFolder = 50;

QTemporaryDir* g_dir = nullptr;
QString g_tree;

// Built once: 40 top folders of 49 subfolders each, plus the root, 50 files each.
void BuildTree()
{
    if (g_dir != nullptr)
        return;
    g_dir = new QTemporaryDir;
    g_tree = g_dir->path() + QStringLiteral("/tree/");
    QStringList folders{g_tree};
    for (int top = 0; folders.size() < kFolders; ++top) {
        const QString parent = g_tree + QStringLiteral("t%1/").arg(top);
        folders.append(parent);
        for (int sub = 0; sub < 49 && folders.size() < kFolders; ++sub)
            folders.append(parent + QStringLiteral("s%1/").arg(sub));
    }
    for (const QString& folder : folders) {
        QDir().mkpath(folder);
        for (int file = 0; file < kFilesPerFolder; ++file) {
            QFile f(folder + QStringLiteral("f%1.dat").arg(file));
            f.open(QIODevice::WriteOnly);
        }
    }
}

void RunEventsUntil(const std::function<bool()>& condition, int timeoutMs = 600000)
{
    QDeadlineTimer deadline(timeoutMs);
    while (!condition() && !deadline.hasExpired()) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        QThread::usleep(200);
    }
}

TSyncObject* MakeOwner()
{
    auto owner =
        std::make_unique<TSyncObject>(g_tree + QStringLiteral("f0.dat"), QString(), 0, 0, QStringLiteral("/opt/tree/"));
    owner->SetDistributeFolder(true);
    owner->SetIncludeSubfolders(true);
    owner->RefreshFromSource();
    return AppendObject(std::move(owner));
}

void BM_ImportTree(benchmark::State& state)
{
    BuildTree();
    for (auto _ : state) {
        StopFolderMonitoring();
        FreeAllObjects();
        TSyncObject* owner = MakeOwner();
        StartImport(owner);
        RunEventsUntil([] { return !IsImportRunning(); });
        state.PauseTiming();
        StopFolderMonitoring();
        if (ObjectCount() != kFolders * kFilesPerFolder)
            state.SkipWithError("not every file became an object");
        state.ResumeTiming();
    }
    state.counters["objects"] = ObjectCount();
}
BENCHMARK(BM_ImportTree)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();

void BM_NoticeChangedFile(benchmark::State& state)
{
    BuildTree();
    StopFolderMonitoring();
    FreeAllObjects();
    StartImport(MakeOwner());
    RunEventsUntil([] { return !IsImportRunning(); });
    // The last import started the monitor; give it time to build its watch set.
    RunEventsUntil([] { return false; }, 2000);
    const QString path = g_tree + QStringLiteral("f7.dat");
    TSyncObject* changed = FindBySourcePath(path);
    TDateTime date = DateTimeNow() - 10;
    for (auto _ : state) {
        date += 1;
        SetFileLastWriteTime(path, date);
        RunEventsUntil([&] { return changed->ModifiedDate() == FileLastWriteTime(path).value_or(0); });
    }
    StopFolderMonitoring();
}
BENCHMARK(BM_NoticeChangedFile)->Unit(benchmark::kMillisecond)->Iterations(20)->UseRealTime();

} // namespace

int main(int argc, char** argv)
{
    return RunBenchmarks(argc, argv, [] {
        StopFolderMonitoring();
        FreeAllObjects();
        delete g_dir;
    });
}
