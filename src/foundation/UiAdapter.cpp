// SPDX-License-Identifier: GPL-3.0-or-later

#include <atomic>
#include <cstdio>
#include <deque>
#include <exception>
#include <memory>
#include <mutex>
#include <vector>

#include "base/Exceptions.h"
#include "foundation/MainThread.h"
#include "foundation/ServiceMode.h"
#include "foundation/UiAdapter.h"

namespace {

using TPortCall = std::function<void(TUiPort& port)>;

// Enough to tell what went wrong without filling the screen.
constexpr int kShownDetails = 5;

/// Boxes a worker asked for that the main thread has not shown yet, merged
/// by kind and first line.
struct TBoxGroup {
    TMessageKind kind;
    QString head;
    QString firstText;
    QStringList details;
    int count = 1;

    QString Text() const
    {
        if (count == 1)
            return firstText;
        QString text = head;
        for (const QString& detail : details.mid(0, kShownDetails))
            text += QStringLiteral("\r\n") + detail;
        return text + QStringLiteral("\r\n(insgesamt %1 Meldungen)").arg(count);
    }
};

struct TQueue {
    std::mutex lock;
    std::deque<std::function<void()>> calls;
    std::vector<std::shared_ptr<TBoxGroup>> openBoxes;
    bool deliveryPosted = false;
};

std::atomic<TUiPort*> g_port{nullptr};

TQueue& Queue()
{
    static TQueue queue;
    return queue;
}

void Enqueue(std::function<void()> call)
{
    TQueue& queue = Queue();
    bool post = false;
    {
        std::lock_guard guard(queue.lock);
        queue.calls.push_back(std::move(call));
        post = !queue.deliveryPosted;
        queue.deliveryPosted = true;
    }
    if (post)
        PostToMainThread([] { TUiAdapter::DeliverPending(); });
}

void CallPort(const TPortCall& call)
{
    if (TUiPort* port = g_port.load())
        call(*port);
}

// A call nobody waits for: its failure has no caller to go to.
void RunReporting(const std::function<void()>& call)
{
    try {
        call();
    } catch (const std::exception& error) {
        std::fprintf(stderr, "Fenster: %s\n", qPrintable(ExceptionText(error)));
    }
}

void Run(TPortCall call)
{
    if (IsMainThread())
        CallPort(call);
    else
        Enqueue([call = std::move(call)] { CallPort(call); });
}

template <class TResult>
TResult Wait(const std::function<TResult(TUiPort& port)>& call, TResult fallback)
{
    TResult result = fallback;
    RunOnMainThread([&] {
        // What the worker reported before it asks comes first.
        TUiAdapter::DeliverPending();
        if (TUiPort* port = g_port.load())
            result = call(*port);
    });
    return result;
}

void Wait(const TPortCall& call)
{
    Wait<bool>(
        [&](TUiPort& port) {
            call(port);
            return true;
        },
        false);
}

std::shared_ptr<TBoxGroup> NewBoxGroup(TMessageKind kind, const QString& text)
{
    auto group = std::make_shared<TBoxGroup>();
    group->kind = kind;
    group->firstText = text;
    const qsizetype breakAt = text.indexOf(QStringLiteral("\r\n"));
    group->head = breakAt < 0 ? text : text.left(breakAt);
    if (breakAt >= 0)
        group->details.append(text.mid(breakAt + 2));
    return group;
}

void QueueBox(TMessageKind kind, const QString& text)
{
    std::shared_ptr<TBoxGroup> group = NewBoxGroup(kind, text);
    TQueue& queue = Queue();
    {
        std::lock_guard guard(queue.lock);
        for (const std::shared_ptr<TBoxGroup>& open : queue.openBoxes) {
            if (open->kind != kind || open->head != group->head)
                continue;
            ++open->count;
            for (const QString& detail : group->details)
                if (!open->details.contains(detail))
                    open->details.append(detail);
            return;
        }
        queue.openBoxes.push_back(group);
    }
    Enqueue([group] {
        {
            TQueue& q = Queue();
            std::lock_guard guard(q.lock);
            std::erase(q.openBoxes, group);
        }
        CallPort([&](TUiPort& port) { port.ShowMessage(group->kind, group->Text()); });
    });
}

} // namespace

void TUiAdapter::Install(TUiPort* port)
{
    DeliverPending();
    g_port.store(port);
}

TUiPort* TUiAdapter::Installed()
{
    return g_port.load();
}

void TUiAdapter::DeliverPending()
{
    TQueue& queue = Queue();
    for (;;) {
        std::deque<std::function<void()>> calls;
        {
            std::lock_guard guard(queue.lock);
            calls.swap(queue.calls);
            queue.deliveryPosted = false;
        }
        if (calls.empty())
            return;
        for (const std::function<void()>& call : calls)
            RunReporting(call);
    }
}

void TUiAdapter::Post(std::function<void(TUiPort* port)> call)
{
    if (IsMainThread())
        call(g_port.load());
    else
        Enqueue([call = std::move(call)] { call(g_port.load()); });
}

void TUiAdapter::SetCaption(const QString& caption)
{
    Run([caption](TUiPort& port) { port.SetCaption(caption); });
}

void TUiAdapter::SetProtocolPageVisible(bool visible)
{
    Run([visible](TUiPort& port) { port.SetProtocolPageVisible(visible); });
}

void TUiAdapter::RebuildObjectViews()
{
    Run([](TUiPort& port) { port.RebuildObjectViews(); });
}

void TUiAdapter::RebuildClientViews()
{
    Run([](TUiPort& port) { port.RebuildClientViews(); });
}

void TUiAdapter::RefreshClientOnlineMarks()
{
    Run([](TUiPort& port) { port.RefreshClientOnlineMarks(); });
}

void TUiAdapter::RebuildControlTree()
{
    Run([](TUiPort& port) { port.RebuildControlTree(); });
}

void TUiAdapter::UpdateActionStates()
{
    Run([](TUiPort& port) { port.UpdateActionStates(); });
}

void TUiAdapter::SetObjectStatusText(const QString& text)
{
    Run([text](TUiPort& port) { port.SetObjectStatusText(text); });
}

void TUiAdapter::OverviewMessage(TOverviewPane pane, const QString& block, bool activate)
{
    Run([pane, block, activate](TUiPort& port) { port.OverviewMessage(pane, block, activate); });
}

void TUiAdapter::ShowMessage(TMessageKind kind, const QString& text)
{
    // Nobody sits in front of the service process.
    if (RunningAsService())
        return;
    if (IsMainThread())
        CallPort([&](TUiPort& port) { port.ShowMessage(kind, text); });
    else
        QueueBox(kind, text);
}

void TUiAdapter::SetWindowStart(TWindowStart start)
{
    Run([start](TUiPort& port) { port.SetWindowStart(start); });
}

void TUiAdapter::SetActivePage(int index)
{
    Run([index](TUiPort& port) { port.SetActivePage(index); });
}

void TUiAdapter::SetListsReading(bool reading)
{
    Run([reading](TUiPort& port) { port.SetListsReading(reading); });
}

void TUiAdapter::BuildAllViews()
{
    Run([](TUiPort& port) { port.BuildAllViews(); });
}

void TUiAdapter::CompleteCreation()
{
    Run([](TUiPort& port) { port.CompleteCreation(); });
}

void TUiAdapter::RestoreLayout()
{
    Run([](TUiPort& port) { port.RestoreLayout(); });
}

void TUiAdapter::SaveLayout()
{
    Run([](TUiPort& port) { port.SaveLayout(); });
}

void TUiAdapter::ShowShutdownWindow(bool visible)
{
    Run([visible](TUiPort& port) { port.ShowShutdownWindow(visible); });
}

void TUiAdapter::ShowShutdownNote(const QString& note)
{
    Run([note](TUiPort& port) { port.ShowShutdownNote(note); });
}

bool TUiAdapter::AskNewObjects(const QStringList& objects)
{
    return Wait<bool>([&](TUiPort& port) { return port.AskNewObjects(objects); }, false);
}

bool TUiAdapter::AskRestart()
{
    return Wait<bool>([](TUiPort& port) { return port.AskRestart(); }, false);
}

void TUiAdapter::RefreshConnectionSettings()
{
    Wait([](TUiPort& port) { port.RefreshConnectionSettings(); });
}

void TUiAdapter::CancelObjectViewBuilds()
{
    Wait([](TUiPort& port) { port.CancelObjectViewBuilds(); });
}
