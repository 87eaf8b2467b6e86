// SPDX-License-Identifier: GPL-3.0-or-later
#include "scriptus/ExecutorRunner.h"

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>

#include "foundation/PoolInterlocked.h"
#include "foundation/Quit.h"
#include "platform/DesktopAutomation.h"
#include "scriptus/ScriptusThread.h"
#include "scriptus/SyncControl.h"

namespace {

// How often a waiting run looks at its stop request.
constexpr auto kStopCheck = std::chrono::milliseconds(100);

struct TRunEnd {
    std::mutex lock;
    std::condition_variable ended;
    bool done = false;
    TScriptusOutcome outcome = TScriptusOutcome::Completed;
};

class TExecutorParticipant : public TShutdownParticipant
{
public:
    bool IsRunning() override { return ScriptusRunning(); }
    void RequestStop() override { RequestScriptusTermination(); }
};

} // namespace

bool TExecutorRunner::DesktopReady(QString* reason)
{
    return DesktopAutomation::Available(reason);
}

void TExecutorRunner::EnableAccessibility()
{
    DesktopAutomation::EnableAccessibility();
}

std::unique_ptr<TOwnDesktop> TExecutorRunner::StartOwnDesktop(QString* reason)
{
    return StartHeadlessDesktop(reason);
}

bool TExecutorRunner::LoadCommandFile(const QString& path, TScriptusFile& script)
{
    return ReadCommandFile(path, script);
}

TScriptusOutcome TExecutorRunner::Run(const TScriptusFile& script, const std::function<bool()>& stop)
{
    // Read now, so a control that is already there is found without a retry.
    RebuildControlList();
    auto end = std::make_shared<TRunEnd>();
    bool started = false;
    bool toldWaiting = false;
    while (!started) {
        if (stop())
            return TScriptusOutcome::Terminated;
        // Started from the main thread: the executor frees itself through its
        // owner thread's event loop, which a worker has none of.
        TPoolInterlocked::Synchronize([&] {
            started = StartScriptus(script.Sequence, script.Events, [end](TScriptusOutcome outcome) {
                std::lock_guard guard(end->lock);
                end->outcome = outcome;
                end->done = true;
                end->ended.notify_all();
            });
        });
        if (!started) {
            if (!toldWaiting)
                Log(QStringLiteral("ScriptusThread"),
                    QStringLiteral("Warte auf das Ende der laufenden Skriptus-Ausführung"), 22);
            toldWaiting = true;
            std::this_thread::sleep_for(kStopCheck);
        }
    }
    std::unique_lock guard(end->lock);
    while (!end->ended.wait_for(guard, kStopCheck, [&] { return end->done; }))
        if (stop())
            RequestScriptusTermination();
    return end->outcome;
}

void InstallScriptusExecutor()
{
    static TExecutorRunner runner;
    static TExecutorParticipant participant;
    SetScriptusRunner(&runner);
    static const bool registered = [] {
        RegisterShutdownParticipant(TShutdownStep::ScriptusThread, &participant);
        return true;
    }();
    (void)registered;
}
