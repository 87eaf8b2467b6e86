// SPDX-License-Identifier: GPL-3.0-or-later
#include "foundation/ThreadWait.h"

#include <QCoreApplication>
#include <QThread>

#include "foundation/PoolInterlocked.h"
#include "foundation/UiAdapter.h"

void WaitForThreadEnd(QThread& thread)
{
    if (!TPoolInterlocked::IsMainThread()) {
        thread.wait();
        return;
    }
    while (!thread.wait(5))
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    // Its last reports may still be queued: they arrive before the caller goes on.
    TUiAdapter::DeliverPending();
}
