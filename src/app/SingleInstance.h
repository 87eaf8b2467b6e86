// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <functional>
#include <memory>

#include <QLockFile>
#include <QString>

class QLocalServer;

/// Keeps a second working instance of the same program folder from running
/// on the same lists. The first holds a lock file in the program folder and
/// listens on a local socket; a second one asks it to show its window.
class TSingleInstance
{
public:
    TSingleInstance();
    ~TSingleInstance();

    /// True when this is the only working instance (the lock is now held).
    /// Otherwise asks the running one to show itself. An instance that is
    /// ending (a restart after the program updated itself) is waited for.
    bool Acquire();
    /// Lets go of the lock and the socket: this process has become a monitor
    /// and the service, a working instance of the same folder, takes over.
    void Release();
    /// Whether the running instance was reached and asked to show itself.
    bool RaisedOther() const { return m_raisedOther; }
    /// The message a refused instance ends with.
    QString RefusalMessage() const;

    /// Called on the main thread when a later start asks the window to show.
    void OnRaiseRequest(std::function<void()> raise) { m_raise = std::move(raise); }
    /// Whether this instance is on its way out, so a later start should wait.
    void SetEndingCheck(std::function<bool()> ending) { m_ending = std::move(ending); }

private:
    enum class TAnswer {
        Running,
        Ending,
        None
    };
    QString SocketName() const;
    void Listen();
    TAnswer AskRunningInstance();

    QLockFile m_lock;
    std::unique_ptr<QLocalServer> m_server;
    std::function<void()> m_raise;
    std::function<bool()> m_ending;
    bool m_raisedOther = false;
};
