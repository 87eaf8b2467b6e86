// SPDX-License-Identifier: GPL-3.0-or-later
#include "catalogue/ChangeNotifyBase.h"

#include <algorithm>
#include <memory>
#include <shared_mutex>
#include <vector>

#include "catalogue/ChangeNotifyThread.h"
#include "catalogue/ImportChilds.h"
#include "foundation/MainConfig.h"
#include "foundation/PoolInterlocked.h"
#include "foundation/Quit.h"
#include "foundation/ServiceMode.h"
#include "foundation/ThreadWait.h"

namespace {

struct TMonitor {
    std::shared_mutex lock;
    TChangeNotifyThread* running = nullptr;
    // Every monitor thread not yet disposed of; one that ended by itself is
    // disposed of by the next start or stop.
    std::vector<std::unique_ptr<TChangeNotifyThread>> owned;
};

TMonitor& Monitor()
{
    // Never destroyed: an abandoned thread may still run while the process ends.
    static auto* monitor = new TMonitor;
    return *monitor;
}

// Under the monitor lock.
bool AnyThreadAlive()
{
    const auto& owned = Monitor().owned;
    return std::any_of(owned.begin(), owned.end(), [](const auto& thread) { return !thread->isFinished(); });
}

class TMonitorParticipant : public TShutdownParticipant
{
public:
    bool IsRunning() override
    {
        std::shared_lock guard(Monitor().lock);
        return AnyThreadAlive();
    }
    void RequestStop() override { RequestFolderMonitoringStop(); }
};

void JoinShutdown()
{
    static const bool joined = [] {
        RegisterShutdownParticipant(TShutdownStep::ChangeNotifyThread, new TMonitorParticipant);
        return true;
    }();
    (void)joined;
}

// On the monitor thread as it ends: it is no longer the running one. Called
// from its run, not from its finished signal: a finishing thread counts as
// ended, and StartFolderMonitoring waits for those under this lock.
void FolderMonitorEnded(TChangeNotifyThread* thread)
{
    std::unique_lock guard(Monitor().lock);
    if (Monitor().running == thread)
        Monitor().running = nullptr;
}

} // namespace

void StartFolderMonitoring()
{
    if (IsImportRunning() || !IsMasterServer() || IsMonitorInstance())
        return;
    JoinShutdown();
    StopFolderMonitoring();
    auto thread = std::make_unique<TChangeNotifyThread>(&FolderMonitorEnded);
    {
        TMonitor& monitor = Monitor();
        std::unique_lock guard(monitor.lock);
        std::erase_if(monitor.owned, [](const std::unique_ptr<TChangeNotifyThread>& ended) {
            if (ended.get() == QThread::currentThread() || !ended->isFinished())
                return false;
            ended->wait();
            return true;
        });
        if (monitor.running != nullptr)
            return; // started by another caller meanwhile
        monitor.running = thread.get();
        monitor.owned.push_back(std::move(thread));
        monitor.running->setObjectName(QStringLiteral("ChangeNotify"));
        monitor.running->start(QThread::LowPriority);
    }
}

void StopFolderMonitoring()
{
    std::unique_ptr<TChangeNotifyThread> stopped;
    {
        TMonitor& monitor = Monitor();
        std::unique_lock guard(monitor.lock);
        if (monitor.running == nullptr)
            return;
        const auto entry = std::find_if(monitor.owned.begin(), monitor.owned.end(),
                                        [&](const auto& thread) { return thread.get() == monitor.running; });
        stopped = std::move(*entry);
        monitor.owned.erase(entry);
        monitor.running = nullptr;
    }
    if (TPoolInterlocked::IsMainThread())
        Log(QStringLiteral("ChangeNotifyBase"), QStringLiteral("terminateForced() im Haupt-Thread aufgerufen"));
    stopped->requestInterruption();
    WaitForThreadEnd(*stopped);
}

bool RequestFolderMonitoringStop()
{
    std::shared_lock guard(Monitor().lock);
    if (!AnyThreadAlive())
        return true;
    for (const auto& thread : Monitor().owned)
        thread->requestInterruption();
    return false;
}

void StopFolderThreads()
{
    // The monitor may start an import and an import the monitor: monitor,
    // imports, then whatever monitor the last import started.
    StopFolderMonitoring();
    StopAllImports();
    StopFolderMonitoring();
    std::vector<std::unique_ptr<TChangeNotifyThread>> ending;
    {
        std::unique_lock guard(Monitor().lock);
        ending.swap(Monitor().owned);
    }
    for (const auto& thread : ending) {
        thread->requestInterruption();
        WaitForThreadEnd(*thread);
    }
}

void StartFolderThreads(const QList<TSyncObject*>& owners)
{
    for (TSyncObject* owner : owners)
        StartImport(owner);
    // Does nothing while an import runs: the last one to end starts it.
    StartFolderMonitoring();
}
