// SPDX-License-Identifier: GPL-3.0-or-later
#include "base/WorkerThread.h"

#include <pthread.h>

#include <QThread>

#include <cstring>
#include <memory>
#include <string>
#include <system_error>

namespace {

// The kernel keeps 15 characters and the terminator; a longer name is refused whole.
std::string ThreadName(const char* role)
{
    return std::string(role, std::min<size_t>(std::strlen(role), 15));
}

struct TStart {
    std::string name;
    std::function<void()> body;
    std::atomic<bool>* finished;
};

} // namespace

TWorkerThread::~TWorkerThread()
{
    Join();
}

void* TWorkerThread::Enter(void* start)
{
    const std::unique_ptr<TStart> run(static_cast<TStart*>(start));
    pthread_setname_np(pthread_self(), run->name.c_str());
    run->body();
    *run->finished = true;
    return nullptr;
}

void TWorkerThread::Start(const char* role, std::function<void()> body, size_t stackBytes)
{
    Join();
    m_finished = false;
    pthread_attr_t attributes;
    pthread_attr_init(&attributes);
    if (stackBytes != 0)
        pthread_attr_setstacksize(&attributes, stackBytes);
    auto* start = new TStart{ThreadName(role), std::move(body), &m_finished};
    const int failure = pthread_create(&m_handle, &attributes, &TWorkerThread::Enter, start);
    pthread_attr_destroy(&attributes);
    if (failure != 0) {
        delete start;
        m_finished = true; // nothing to wait for
        throw std::system_error(failure, std::generic_category(), "pthread_create");
    }
    m_joinable = true;
}

void TWorkerThread::Join()
{
    if (m_joinable && !IsCurrent()) {
        pthread_join(m_handle, nullptr);
        m_joinable = false;
    }
}

bool TWorkerThread::IsCurrent() const
{
    return m_joinable && pthread_equal(m_handle, pthread_self()) != 0;
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
