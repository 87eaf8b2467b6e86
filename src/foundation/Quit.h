// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

/// The kinds of thread the shutdown waits for, in the order it checks them.
enum class TShutdownStep {
    ServerThreads,
    ClientThreads,
    FolderStructureThreads,
    TreeviewThread,
    ListviewThread,
    ChangeNotifyThread,
    ScriptusThread,
};

/// One kind of thread as the orderly shutdown sees it. Both calls come from
/// the main thread and must not wait for a thread: a thread may itself be
/// waiting for the main thread to take its log entry.
class TShutdownParticipant
{
public:
    virtual ~TShutdownParticipant() = default;
    /// Threads of this kind still exist (read the list under its lock).
    virtual bool IsRunning() = 0;
    /// Ask them to end; the server step instead refuses new connections.
    virtual void RequestStop() = 0;
};

/// Several participants may share a step; the step is still running while any
/// of them is. Not owned; unregister before destroying it.
void RegisterShutdownParticipant(TShutdownStep step, TShutdownParticipant* participant);
void UnregisterShutdownParticipant(TShutdownParticipant* participant);

/// Saves the layout, checks every kind of thread and asks the running ones to
/// stop. True when the program may end now (listeners already stopped); false
/// when threads still run: then the shutdown window shows and the re-check
/// ends the program by itself once they have stopped. Main thread only.
bool RequestShutdown();

/// RequestShutdown and, when it allows, EndApplication, on the main thread;
/// a caller on another thread waits for it.
void AskApplicationEnd();

/// One tick of the re-check timer (every 1000 ms while waiting).
void RecheckShutdown();

/// Tells the application to terminate: the event loop ends.
void EndApplication();

/// "Sofort beenden": stops the listeners and ends the process at once;
/// running threads are abandoned.
[[noreturn]] void ImmediateShutdown();

/// The shutdown window is showing and the re-check timer runs.
bool ShutdownWaiting();

/// Unsuccessful re-checks of this process so far (never reset).
int ShutdownTickCount();
