// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/HooksLibrary.h"

#include <cerrno>
#include <cstring>
#include <dlfcn.h>
#include <fcntl.h>
#include <unistd.h>

#include <QFile>
#include <QFileInfo>
#include <QSocketNotifier>

#include "platform/ProgramPaths.h"
#include "platform/VersionInfo.h"

THooksLibrary::THooksLibrary() = default;

THooksLibrary::~THooksLibrary()
{
    Unload();
}

QString THooksLibrary::DefaultPath()
{
    return QFileInfo(ExecutablePath()).absolutePath() + QStringLiteral("/lib") + ProductName().toLower() +
           QStringLiteral("hooks.so");
}

bool THooksLibrary::Load(const QString& path, TReceiver receiver)
{
    if (Loaded() || !QFileInfo(path).isAbsolute())
        return false;
    void* handle = dlopen(QFile::encodeName(path).constData(), RTLD_NOW | RTLD_LOCAL);
    if (!handle)
        return false;
    const auto install = reinterpret_cast<TInstallHooks>(dlsym(handle, InstallHooksName));
    const auto view = reinterpret_cast<TReturnView>(dlsym(handle, ReturnViewName));
    const auto uninstall = reinterpret_cast<TUninstallHooks>(dlsym(handle, UninstallHooksName));
    // Without UninstallHooks the library's thread could not be stopped before
    // unloading it, and without ReturnView its notifications cannot be told apart.
    int fds[2];
    if (!install || !view || !uninstall || pipe2(fds, O_CLOEXEC | O_NONBLOCK) != 0) {
        dlclose(handle);
        return false;
    }
    m_read = fds[0];
    m_write = fds[1];
    if (!install(m_write)) {
        ClosePipe();
        dlclose(handle);
        return false;
    }
    m_view = view();
    if (!m_view) {
        uninstall();
        ClosePipe();
        dlclose(handle);
        return false;
    }
    m_handle = handle;
    m_uninstall = uninstall;
    m_receiver = std::move(receiver);
    m_notifier = std::make_unique<QSocketNotifier>(m_read, QSocketNotifier::Read);
    QObject::connect(m_notifier.get(), &QSocketNotifier::activated, [this] { ReadPipe(); });
    return true;
}

void THooksLibrary::Unload()
{
    if (!Loaded())
        return;
    // Unloading may happen inside the notifier's own signal.
    m_notifier->setEnabled(false);
    m_notifier.release()->deleteLater();
    m_uninstall();
    dlclose(m_handle);
    m_handle = nullptr;
    m_uninstall = nullptr;
    m_view = nullptr;
    m_receiver = nullptr;
    ClosePipe();
}

void THooksLibrary::ClosePipe()
{
    for (int* fd : {&m_read, &m_write}) {
        if (*fd >= 0)
            close(*fd);
        *fd = -1;
    }
    m_partial.clear();
}

void THooksLibrary::ReadPipe()
{
    // One read per wake-up: a flood of notifications must not starve the
    // event loop; the notifier fires again while data waits.
    char buffer[64 * sizeof(THooksNotification)];
    ssize_t count;
    do
        count = read(m_read, buffer, sizeof buffer);
    while (count < 0 && errno == EINTR);
    if (count <= 0)
        return;
    m_partial.append(buffer, count);
    // The receiver may unload the library (program end), which clears m_receiver.
    const TReceiver receiver = m_receiver;
    qsizetype offset = 0;
    while (m_partial.size() - offset >= qsizetype(sizeof(THooksNotification))) {
        THooksNotification notification;
        std::memcpy(&notification, m_partial.constData() + offset, sizeof notification);
        offset += sizeof notification;
        receiver(notification);
        if (!Loaded())
            return;
    }
    m_partial.remove(0, offset);
}
