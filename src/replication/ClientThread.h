// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <functional>

#include <QByteArray>

#include "base/WorkerThread.h"
#include "replication/ClientBase.h"

/// The command sequence of one connect kind, run after an accepted login.
using TConnectSequence = std::function<void(TClientThread& thread)>;

/// Plugs in the sequence of a connect kind. A kind without one logs in and
/// disconnects.
void SetConnectSequence(TConnectKind kind, TConnectSequence sequence);
TConnectSequence ConnectSequence(TConnectKind kind);

/// One outgoing conversation: connects, logs in, runs the sequence of its
/// connect kind and disconnects, on a thread of its own.
class TClientThread : public TClientBase
{
public:
    explicit TClientThread(std::unique_ptr<TConnectInfo> info);
    ~TClientThread() override;

    /// Starts the body on a thread named "ClientThread"; see
    /// StartClientThread for who owns it.
    void Start();
    /// Waits until the body has ended.
    void WaitFor();
    /// The body has returned; destroying the thread does not wait.
    bool Finished() const { return m_thread.Finished(); }

    /// ProviderDownload results: the bytes received, -1 when none came.
    qint32 DownloadResult() const { return m_downloadResult; }
    void SetDownloadResult(qint32 result) { m_downloadResult = result; }
    const QByteArray& DownloadData() const { return m_downloadData; }
    void SetDownloadData(QByteArray data) { m_downloadData = std::move(data); }
    /// Update: the user confirmed the list of new objects.
    bool InstallConfirmed() const { return m_installConfirmed; }
    void SetInstallConfirmed(bool confirmed) { m_installConfirmed = confirmed; }
    /// The program may restart itself after replacing its own file.
    bool RestartConfirmed() const { return m_restartConfirmed; }
    void SetRestartConfirmed(bool confirmed) { m_restartConfirmed = confirmed; }

    /// Asks the user on the main thread whether the program may restart
    /// after its own update; the answer becomes RestartConfirmed.
    void AskRestart();

private:
    void Execute();
    void RunConnection();

    qint32 m_downloadResult = -1;
    QByteArray m_downloadData;
    bool m_installConfirmed = false;
    bool m_restartConfirmed = false;
    // Last: joined before the fields its body uses go.
    TWorkerThread m_thread;
};
