// SPDX-License-Identifier: GPL-3.0-or-later
#include "foundation/ThreadWait.h"

#include <QCoreApplication>
#include <QThread>

#include "foundation/PoolInterlocked.h"
#include "foundation/UiAdapter.h"

void WaitTurningEvents(const std::function<bool()>& done)
{
    const bool mainThread = TPoolInterlocked::IsMainThread();
    while (!done()) {
        if (mainThread)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        QThread::msleep(1);
    }
}

void WaitForThreadEnd(QThread& thread)
{
    if (!TPoolInterlocked::IsMainThread()) {
        thread.wait();
        return;
    }
    WaitTurningEvents([&thread] { return thread.wait(5); });
    // Its last reports may still be queued: they arrive before the caller goes on.
    TUiAdapter::DeliverPending();
}
