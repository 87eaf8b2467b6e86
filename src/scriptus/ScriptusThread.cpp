// SPDX-License-Identifier: GPL-3.0-or-later
#include "scriptus/ScriptusThread.h"

#include <shared_mutex>

#include "base/TextFields.h"
#include "foundation/MainConfig.h"
#include "foundation/PoolInterlocked.h"
#include "platform/DesktopAutomation.h"
#include "platform/ShellOpen.h"
#include "scriptus/Hooks.h"
#include "scriptus/SyncControl.h"

namespace {

const QString kCategory = QStringLiteral("ScriptusThread");
constexpr int kImage = 22;
constexpr int kFirstWait = 1000;
const QString kTerminated = QStringLiteral("die Ausführung wurde abgebrochen");
// Pauses are checked this often, so a termination ends them within a second.
constexpr int kPauseSlice = 100;

std::shared_mutex& RunningLock()
{
    static std::shared_mutex lock;
    return lock;
}

TScriptusThread*& Running()
{
    static TScriptusThread* thread = nullptr;
    return thread;
}

void Report(const QString& message)
{
    Log(kCategory, message, kImage);
}

} // namespace

TScriptusThread::TScriptusThread(std::vector<TScriptusRow> sequence, std::vector<TScriptusRow> events,
                                 std::function<void(TScriptusOutcome)> whenEnded)
    : m_sequence(std::move(sequence)), m_events(std::move(events)), m_whenEnded(std::move(whenEnded))
{
    setObjectName(QStringLiteral("ScriptusThread"));
    connect(this, &QThread::finished, this, &QObject::deleteLater);
}

void TScriptusThread::run()
{
    // Recording must not take the run's own clicks for the user's.
    SetRecordingHeld(true);
    try {
        Execute();
    } catch (const std::exception& error) {
        m_outcome = TScriptusOutcome::NotFound;
        Report(QStringLiteral("Bei der Skriptus-Ausführung") + ExceptionSuffix(error));
    }
    // Held keys would otherwise repeat on the desktop.
    DesktopAutomation::ReleaseKeys();
    Report(QStringLiteral("Beende Skriptus"));
    SetRecordingHeld(false);
    {
        std::unique_lock guard(RunningLock());
        if (Running() == this)
            Running() = nullptr;
    }
    if (m_whenEnded)
        m_whenEnded(m_outcome);
}

void TScriptusThread::Execute()
{
    const int limit = MainConfig().GetInteger(QStringLiteral("ScriptusTimeout"));
    Report(QStringLiteral("Beginne Skriptus"));
    for (std::size_t i = 0; i < m_sequence.size(); ++i) {
        const int number = static_cast<int>(i) + 1;
        const TScriptusRow& row = m_sequence[i];
        if (m_terminate) {
            m_outcome = TScriptusOutcome::Terminated;
            return;
        }
        if (!row.Active) {
            Report(QStringLiteral("%1. Skriptzeile wird ignoriert").arg(number));
            continue;
        }
        // Modifiers let go of for a wait apply to this row again.
        DesktopAutomation::PressHeldKeysAgain();
        if (row.Command.ControlPath.isEmpty()) {
            if (Perform(number, row.Command, 0))
                continue;
            if (m_terminate)
                Failed(number, kTerminated, TScriptusOutcome::Terminated);
            else
                Failed(number, QStringLiteral("das Kommando wurde nicht angenommen"), TScriptusOutcome::Failed);
            return;
        }
        if (!PerformWhenThere(number, row.Command, limit))
            return;
    }
}

bool TScriptusThread::PerformWhenThere(int number, const TScriptus& command, int limit)
{
    qint64 wait = kFirstWait;
    // A handle, not the element: tracking or F5 may read the list again meanwhile.
    quint64 control = FindHandleByPath(command.ControlPath);
    bool lookedAgain = false;
    for (;;) {
        // A control gone since the list was read, or a text, check or
        // selection that does not read back, is tried again after the next
        // read, as a control that is not there yet.
        if (control != 0 && Perform(number, command, control))
            return true;
        // The list as last read may be behind the desktop (a toolkit that
        // made the control anew): one fresh read before the first wait.
        if (!lookedAgain && !m_terminate) {
            lookedAgain = true;
            RebuildControlList();
            control = FindHandleByPath(command.ControlPath);
            continue;
        }
        if (control == 0)
            Report(QStringLiteral("Der Kontrollelementpfad \"%1\" konnte nicht gefunden werden.")
                       .arg(command.ControlPath));
        if (m_terminate)
            break;
        if (wait >= limit) {
            Report(QStringLiteral("Die maximale Anzahl der Versuche wurde erreicht"));
            if (control == 0)
                Failed(number,
                       QStringLiteral("das Kontrollelement \"%1\" wurde nicht gefunden").arg(command.ControlPath),
                       TScriptusOutcome::NotFound);
            else
                Failed(
                    number,
                    QStringLiteral("das Kontrollelement \"%1\" nimmt das Kommando nicht an").arg(command.ControlPath),
                    TScriptusOutcome::Failed);
            return false;
        }
        Report(QStringLiteral("Warte %1 Millisekunden...").arg(wait));
        // The user may type meanwhile: a held Shift would change every key.
        DesktopAutomation::LetGoOfKeys();
        Pause(static_cast<int>(wait));
        if (m_terminate)
            break;
        RebuildControlList();
        RunEventList();
        DesktopAutomation::PressHeldKeysAgain();
        control = FindHandleByPath(command.ControlPath);
        wait *= 2;
    }
    Failed(number, kTerminated, TScriptusOutcome::Terminated);
    return false;
}

void TScriptusThread::Failed(int number, const QString& reason, TScriptusOutcome outcome)
{
    Report(QStringLiteral("%1. Skriptzeile wurde nicht ausgeführt: %2").arg(number).arg(reason));
    m_outcome = outcome;
}

void TScriptusThread::Pause(int milliseconds)
{
    // Whole seconds, as the protocol line promises.
    for (int second = 0; second < milliseconds / 1000; ++second)
        for (int slice = 0; slice < 1000 / kPauseSlice; ++slice) {
            if (m_terminate) {
                Report(QStringLiteral("Abbruchanforderung wurde erkannt"));
                return;
            }
            msleep(kPauseSlice);
        }
}

void TScriptusThread::RunEventList()
{
    for (std::size_t i = 0; i < m_events.size() && !m_terminate; ++i) {
        const TScriptusRow& row = m_events[i];
        if (!row.Active || row.Command.ControlPath.isEmpty())
            continue;
        if (const quint64 control = FindHandleByPath(row.Command.ControlPath))
            Perform(static_cast<int>(i) + 1, row.Command, control);
    }
}

bool TScriptusThread::Perform(int number, const TScriptus& command, quint64 handle)
{
    Report(QStringLiteral("%1. Skriptzeile wird ausgeführt").arg(number));
    // Done only once it took effect: a row that did not is never reported as done.
    if (!Act(command, handle)) {
        if (handle != 0)
            Report(QStringLiteral("%1. Skriptzeile: das Kontrollelement \"%2\" ist nicht mehr vorhanden oder nimmt "
                                  "das Kommando nicht an")
                       .arg(number)
                       .arg(command.ControlPath));
        return false;
    }
    Report(QStringLiteral("%1. Skriptzeile wurde ausgeführt").arg(number));
    return true;
}

bool PerformScriptusCommand(const TScriptus& command, quint64 handle)
{
    namespace D = DesktopAutomation;
    const bool control = handle != 0;
    auto click = [&](TMouseButton button, int count) {
        if (!control)
            return false;
        const QRect rect = D::Rectangle(handle);
        if (!rect.isValid())
            return false;
        const QPoint local = command.HasPosition ? QPoint(command.X, command.Y) : QPoint(0, 0);
        return D::Click(handle, rect.topLeft() + local, button, count);
    };
    switch (command.Kind) {
    case ClickLeft:
        return click(TMouseButton::Left, 1);
    case ClickDoubleLeft:
        return click(TMouseButton::Left, 2);
    case ClickRight:
        return click(TMouseButton::Right, 1);
    case SetText:
        return control && D::SetText(handle, command.Text);
    case SelectString:
        return control && D::SelectString(handle, command.Text);
    case Check:
        return control && D::SetChecked(handle, command.Checked);
    case BringToTop:
    case Show:
        return control && D::BringToTop(handle);
    case Close:
        return control && D::Close(handle);
    case KeyDown:
    case KeyUp:
        D::Key(static_cast<quint8>(command.X & 0xFF), command.Kind == KeyDown);
        return true;
    case StartExternalApplication:
        return ShellOpen(command.Text);
    default:
        return true;
    }
}

bool TScriptusThread::Act(const TScriptus& command, quint64 handle)
{
    if (command.Kind != WaitForTime)
        return PerformScriptusCommand(command, handle);
    Log(QStringLiteral("ScriptusBase"), QStringLiteral("Warte %1 Sekunden...").arg(command.Text), kImage);
    try {
        const qint64 seconds = IntegerFromText(command.Text);
        // Checked like a pause, so a shutdown need not wait it out.
        for (qint64 slice = 0; slice < seconds * 1000 / kPauseSlice && !m_terminate; ++slice)
            msleep(kPauseSlice);
    } catch (const EConvertError&) {
        // Not a number: no wait, and no further message.
    }
    // A wait cut short by a termination is not done.
    return !m_terminate;
}

bool StartScriptus()
{
    return StartScriptus(ScriptusSequence().Rows(), ScriptusEvents().Rows());
}

bool StartScriptus(std::vector<TScriptusRow> sequence, std::vector<TScriptusRow> events,
                   std::function<void(TScriptusOutcome)> whenEnded)
{
    std::unique_lock guard(RunningLock());
    if (Running())
        return false;
    auto* thread = new TScriptusThread(std::move(sequence), std::move(events), std::move(whenEnded));
    Running() = thread;
    thread->start(QThread::IdlePriority);
    return true;
}

bool RequestScriptusTermination()
{
    std::shared_lock guard(RunningLock());
    if (!Running())
        return true;
    Running()->RequestTermination();
    return false;
}

bool ScriptusRunning()
{
    std::shared_lock guard(RunningLock());
    return Running() != nullptr;
}
