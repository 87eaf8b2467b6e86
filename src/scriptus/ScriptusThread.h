// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <atomic>
#include <functional>
#include <vector>

#include <QThread>

#include "scriptus/ScriptusBase.h"

/// How a run ended.
enum class TScriptusOutcome {
    Completed,  ///< every active row took effect
    NotFound,   ///< a control did not come up within the limit
    Failed,     ///< a row did not take effect within the limit
    Terminated, ///< termination was requested
};

/// The executor: runs a copy of the two command lists taken at its start,
/// row by row, waiting for each control with growing pauses and answering
/// the event list meanwhile. One runs at a time; it frees itself at its end.
class TScriptusThread : public QThread
{
    Q_OBJECT
public:
    /// whenEnded, when given, is called on the executor's thread at the end.
    TScriptusThread(std::vector<TScriptusRow> sequence, std::vector<TScriptusRow> events,
                    std::function<void(TScriptusOutcome)> whenEnded = {});

    void RequestTermination() { m_terminate = true; }
    TScriptusOutcome Outcome() const { return m_outcome; }

protected:
    void run() override;

private:
    void Execute();
    /// Performs a row with a control, looking the control up again within
    /// the wait schedule until the row took effect; false ends the run.
    bool PerformWhenThere(int number, const TScriptus& command, int limit);
    /// Logs why the row failed; the run ends with this outcome.
    void Failed(int number, const QString& reason, TScriptusOutcome outcome);
    /// Sleeps in steps, ending early on a termination request.
    void Pause(int milliseconds);
    void RunEventList();
    /// Performs a row's command on the control of this handle (0: none);
    /// false, without "wurde ausgeführt", when it did not take effect.
    bool Perform(int number, const TScriptus& command, quint64 handle);
    bool Act(const TScriptus& command, quint64 handle);

    std::vector<TScriptusRow> m_sequence;
    std::vector<TScriptusRow> m_events;
    std::atomic<bool> m_terminate{false};
    TScriptusOutcome m_outcome = TScriptusOutcome::Completed;
    std::function<void(TScriptusOutcome)> m_whenEnded;
};

/// Carries out one command at once, as a run does, on the calling thread
/// (recording performs the chosen action this way), on the control of this
/// handle (0: none); a wait is not waited. False when the control could not
/// be acted on.
bool PerformScriptusCommand(const TScriptus& command, quint64 handle);

/// Starts an executor on the two lists unless one runs; false when one runs.
/// Main thread only.
bool StartScriptus();
/// Starts one on these rows; whenEnded runs on the executor's thread at its end.
bool StartScriptus(std::vector<TScriptusRow> sequence, std::vector<TScriptusRow> events,
                   std::function<void(TScriptusOutcome)> whenEnded = {});
/// Asks the running executor to end: false when one runs, true when none.
bool RequestScriptusTermination();
bool ScriptusRunning();
