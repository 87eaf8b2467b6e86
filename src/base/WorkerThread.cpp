// SPDX-License-Identifier: GPL-3.0-or-later
#include "base/WorkerThread.h"

#include <pthread.h>

#include <QThread>

#include <cstring>
#include <string>

namespace {

// The kernel keeps 15 characters and the terminator; a longer name is refused whole.
std::string ThreadName(const char* role)
{
    return std::string(role, std::min<size_t>(std::strlen(role), 15));
}

} // namespace

TWorkerThread::~TWorkerThread()
{
    Join();
}

void TWorkerThread::Start(const char* role, std::function<void()> body)
{
    Join();
    m_finished = false;
    const std::string name = ThreadName(role);
    m_thread = std::thread([this, name, body = std::move(body)] {
        pthread_setname_np(pthread_self(), name.c_str());
        body();
        m_finished = true;
    });
}

void TWorkerThread::Join()
{
    if (m_thread.joinable() && !IsCurrent())
        m_thread.join();
}

void NameThisThread(const char* role)
{
    pthread_setname_np(pthread_self(), ThreadName(role).c_str());
}

void RunInBackground(QObject* context, const char* role, std::function<void()> work, std::function<void()> done)
{
    QThread* thread = QThread::create(std::move(work));
    thread->setObjectName(QString::fromLatin1(ThreadName(role).c_str()));
    QObject::connect(thread, &QThread::finished, context, std::move(done));
    QObject::connect(thread, &QThread::finished, thread, &QObject::deleteLater);
    thread->start();
}
