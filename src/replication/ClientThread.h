// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <functional>
#include <memory>

#include "base/WorkerThread.h"
#include "replication/ClientBase.h"
#include "replication/Conversation.h"

/// One outgoing conversation on a thread of its own: connects, logs in, runs
/// its sequence and disconnects (RunConversation).
class TClientThread : public TClientBase
{
public:
    /// ended, when given, runs on the thread as its last work.
    TClientThread(std::unique_ptr<TConnectInfo> info, TConversationSequence sequence, std::function<void()> ended = {});
    ~TClientThread() override;

    /// Starts the body on a thread named "ClientThread".
    void Start();
    /// The body has returned; destroying the thread does not wait.
    bool Finished() const { return m_thread.Finished(); }

private:
    void Execute();

    TConversationSequence m_sequence;
    std::function<void()> m_ended;
    // Last: joined before the fields its body uses go.
    TWorkerThread m_thread;
};

/// The sequence of a connect kind: the update, the installation alone, or
/// sending a remote command. Nothing for a provider download, which runs on
/// the installing thread.
TConversationSequence SequenceOf(TConnectKind kind);

/// Creates, lists and starts a client thread for info that runs the kind's
/// sequence, or the one given. The list owns the thread and joins it once it
/// has ended.
void StartClientThread(std::unique_ptr<TConnectInfo> info);
void StartClientThread(std::unique_ptr<TConnectInfo> info, TConversationSequence sequence,
                       std::function<void()> ended = {});

/// Runs a sending instance: sends the command of the kind to the host at
/// NetServerPort through a client thread and returns once the thread has
/// ended. Needs the event loop of the caller's application; main thread only.
void RunSendingInstance(TConnectKind kind, const QString& host);
