// SPDX-License-Identifier: GPL-3.0-or-later
#include "foundation/ThreadWait.h"

#include <QCoreApplication>
#include <QThread>

#include "foundation/PoolInterlocked.h"

void WaitForThreadEnd(QThread& thread)
{
    if (!TPoolInterlocked::IsMainThread()) {
        thread.wait();
        return;
    }
    while (!thread.wait(5))
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
}
