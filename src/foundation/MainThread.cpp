// SPDX-License-Identifier: GPL-3.0-or-later
#include "foundation/MainThread.h"

#include <exception>
#include <unistd.h>

#include <QCoreApplication>
#include <QThread>

bool IsMainThread()
{
    const QCoreApplication* app = QCoreApplication::instance();
    if (app != nullptr)
        return QThread::currentThread() == app->thread();
    // Before the application exists and after it has gone (a worker still
    // ending at exit), only the process's first thread is the main thread.
    return ::gettid() == ::getpid();
}

void RunOnMainThread(const std::function<void()>& proc)
{
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

void PostToMainThread(std::function<void()> proc)
{
    if (IsMainThread())
        proc();
    else
        QMetaObject::invokeMethod(QCoreApplication::instance(), std::move(proc), Qt::QueuedConnection);
}
