// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <functional>
#include <memory>

#include <QByteArray>
#include <QString>

#include "base/HooksInterface.h"

class QSocketNotifier;

/// The hooks library, loaded with dlopen, and the pipe through which it
/// notifies this program. The pipe stands for the window handle the library
/// posts to: the library gets its write end, and the main thread reads it.
class THooksLibrary
{
public:
    using TReceiver = std::function<void(const THooksNotification&)>;

    THooksLibrary();
    ~THooksLibrary();
    THooksLibrary(const THooksLibrary&) = delete;
    THooksLibrary& operator=(const THooksLibrary&) = delete;

    /// The library beside the executable ("libplenwickhooks.so" after the
    /// product name), by absolute path so no search path can swap it.
    static QString DefaultPath();

    /// Loads the library, looks up its three entry points and installs the
    /// hooks. False when any step fails; nothing stays loaded then. Each
    /// notification goes to the receiver on the thread that called Load,
    /// which must run an event loop.
    bool Load(const QString& path, TReceiver receiver);
    /// Uninstalls the hooks (the library joins its thread), then unloads it.
    void Unload();
    bool Loaded() const { return m_handle != nullptr; }
    /// The library's shared record; null when not loaded.
    const THooksView* View() const { return m_view; }

private:
    void ReadPipe();
    void ClosePipe();

    void* m_handle = nullptr;
    TUninstallHooks m_uninstall = nullptr;
    const THooksView* m_view = nullptr;
    int m_read = -1;
    int m_write = -1;
    std::unique_ptr<QSocketNotifier> m_notifier;
    QByteArray m_partial;
    TReceiver m_receiver;
};
