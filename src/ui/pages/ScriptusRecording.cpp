// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/pages/ScriptusRecording.h"

#include <unistd.h>

#include <QAction>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QPointer>

#include "foundation/PoolInterlocked.h"
#include "platform/DesktopAutomation.h"
#include "scriptus/ScriptusBase.h"
#include "scriptus/ScriptusThread.h"
#include "scriptus/SyncControl.h"
#include "ui/dialogs/MainEditText.h"
#include "ui/main/Main.h"
#include "ui/pages/PageScriptus.h"
#include "ui/pages/StatusPanels.h"
#include <QTabWidget>

namespace {

const QString kPrompt = QStringLiteral("Skriptus-Ereignistext eingeben");

// The element of the control list found at the point whose name is
// current: the names the desktop gave there now, not those of the last read,
// so a retitled window is read again instead of recorded under its old path.
TSyncControl* ElementOf(const DesktopAutomation::TPointControl& found)
{
    TReadGuard guard(ControlListLock());
    TSyncControl* control = found.handle ? FindControlByHandle(found.handle) : nullptr;
    if (!control || control->Name() != found.name)
        return nullptr;
    const TSyncControl* window = FindControlByHandle(control->Window());
    return window && window->Name() != found.windowName ? nullptr : control;
}

} // namespace

TScriptusRecording::TScriptusRecording(TFormMain& form) : QObject(&form), m_form(form)
{
    SetRecordingPage(this);
    WireActions();
}

void TScriptusRecording::AppendToActiveList(qint32 kind, TSyncControl* control)
{
    const TScriptus& pattern = RecordingTemplate();
    TScriptusRow row;
    row.Command.Kind = kind;
    if (control) {
        row.Command.ControlPath = ControlPath(control);
        row.Command.Title = control->NameElement();
        row.Command.ClassName = control->ClassName();
    }
    row.Command.Checked = pattern.Checked;
    row.Command.Text = pattern.Text;
    row.Command.X = pattern.X;
    row.Command.Y = pattern.Y;
    row.Command.HasPosition = pattern.HasPosition;
    TScriptusList& list =
        m_form.PageScriptus()->InnerPages()->currentIndex() == 0 ? ScriptusSequence() : ScriptusEvents();
    list.Append(row);
}

TScriptusRecording::~TScriptusRecording()
{
    SetRecordingPage(nullptr);
}

bool TScriptusRecording::ScriptusPageActive()
{
    return m_form.ActivePage() == TPage::Scriptus;
}

bool TScriptusRecording::LogAllEvents()
{
    return m_form.Actions().ScriptusLogAll->isChecked();
}

void TScriptusRecording::TrackMouse(const THooksNotification& notification)
{
    if (notification.ProcessId == std::uint32_t(getpid())) {
        RecordingTemplate().HasPosition = false;
        return;
    }
    const QPoint point(notification.X, notification.Y);
    if (m_lookingUp) {
        m_pending.emplace(point, notification.Window);
        return;
    }
    LookUp(point, notification.Window);
}

void TScriptusRecording::LookUp(QPoint point, std::uint32_t window)
{
    m_lookingUp = true;
    QPointer<TScriptusRecording> self(this);
    DesktopAutomation::ControlAtAsync(point, window, [self, point, window](DesktopAutomation::TPointControl found) {
        QMetaObject::invokeMethod(
            self,
            [self, point, window, found] {
                if (self)
                    self->Tracked(point, window, found);
            },
            Qt::QueuedConnection);
    });
}

void TScriptusRecording::Tracked(QPoint point, std::uint32_t window, const DesktopAutomation::TPointControl& found)
{
    m_lookingUp = false;
    // A hold that began meanwhile (menu, executor) keeps the panel as it is.
    if (!RecordingHeld() && ScriptusPageActive()) {
        // The list may be read again on another thread meanwhile.
        TReadGuard guard(ControlListLock());
        // A control made after its window was read lies below the deepest
        // known one: read once more for it, else the window would be taken.
        const bool unknownBelow = found.unknownBelow != 0 && found.unknownBelow != m_lastUnknownControl;
        if (TSyncControl* element = unknownBelow ? nullptr : ElementOf(found)) {
            m_lastUnmatchedWindow = 0;
            ShowControl(element);
            TScriptus& pattern = RecordingTemplate();
            const QPoint local = point - found.rect.topLeft();
            pattern.HasPosition = true;
            pattern.X = local.x();
            pattern.Y = local.y();
            m_form.PageScriptus()->InfoLabel(3)->setText(QStringLiteral("%1,%2").arg(local.x()).arg(local.y()));
            if (m_parts.selectNode && !m_parts.selectNode(element) && m_parts.rebuildTree)
                m_parts.rebuildTree();
            m_form.PageScriptus()->Status()->SetText(0, ShortenedPath(ControlPath(element)));
        } else if (unknownBelow || window != m_lastUnmatchedWindow) {
            // A window that appeared after the list was read: read it once more.
            m_lastUnmatchedWindow = window;
            m_lastUnknownControl = found.unknownBelow;
            if (m_parts.rereadControls)
                m_parts.rereadControls();
        }
    }
    if (m_pending) {
        const auto [next, nextWindow] = *m_pending;
        m_pending.reset();
        LookUp(next, nextWindow);
    }
}

void TScriptusRecording::ShowControl(TSyncControl* control)
{
    TPageScriptus* page = m_form.PageScriptus();
    if (!control) {
        page->SetControlInfo({}, {}, {}, {});
        return;
    }
    TScriptus& pattern = RecordingTemplate();
    pattern.Title = control->NameElement();
    pattern.ClassName = control->ClassName();
    page->SetControlInfo(QStringLiteral("0x%1 / Control Id=%2").arg(control->Window(), 0, 16).arg(control->ControlId()),
                         QStringLiteral("%1 (in \"%2\")").arg(pattern.Title, control->FileName()), pattern.ClassName,
                         QStringLiteral("Nicht anwendbar"));
}

void TScriptusRecording::RecordLeftClick(const THooksNotification&)
{
    TReadGuard guard(ControlListLock());
    bool nodeSelected = false;
    TSyncControl* control = m_parts.selectedControl ? m_parts.selectedControl(&nodeSelected) : nullptr;
    if (nodeSelected)
        AppendToActiveList(ClickLeft, control);
}

void TScriptusRecording::OpenActionMenu(const THooksNotification& notification)
{
    if (!RecordingTemplate().HasPosition)
        return;
    SetHeld(true);
    m_form.UpdateActionStates();
    m_form.Actions().ScriptusTreeMenu()->popup(QPoint(notification.X, notification.Y));
}

void TScriptusRecording::ReleaseHold()
{
    SetHeld(false);
}

void TScriptusRecording::SetHeld(bool held)
{
    SetRecordingHeld(held);
    QWidget* panel = m_form.PageScriptus()->ControlPanel();
    panel->setAutoFillBackground(held);
    QPalette palette = panel->palette();
    palette.setColor(QPalette::Window, held ? palette.color(QPalette::Inactive, QPalette::HighlightedText)
                                            : m_form.palette().color(QPalette::Button));
    panel->setPalette(palette);
}

void TScriptusRecording::AppendKeyDown(std::uint32_t virtualKey, std::uint32_t keystroke)
{
    TScriptus& pattern = RecordingTemplate();
    pattern.X = qint32(virtualKey);
    pattern.Y = qint32(keystroke);
    pattern.HasPosition = true;
    AppendToActiveList(KeyDown, nullptr);
}

void TScriptusRecording::WireActions()
{
    TMainActions& a = m_form.Actions();
    const std::pair<QAction*, qint32> controlActions[] = {
        {a.ScriptusLeftClick, ClickLeft},
        {a.ScriptusLeftDoubleClick, ClickDoubleLeft},
        {a.ScriptusRightClick, ClickRight},
        {a.ScriptusBringToTop, BringToTop},
        {a.ScriptusShow, Show},
        {a.ScriptusClose, Close},
    };
    for (const auto& [action, kind] : controlActions)
        a.Handle(action, [this, kind = kind] { Perform(kind); });
    a.Handle(a.ScriptusCheck, [this] {
        RecordingTemplate().Checked = true;
        Perform(Check);
    });
    a.Handle(a.ScriptusUncheck, [this] {
        RecordingTemplate().Checked = false;
        Perform(Check);
    });
    a.Handle(a.ScriptusSetText, [this] { PerformWithText(SetText); });
    a.Handle(a.ScriptusSelectString, [this] { PerformWithText(SelectString); });
    a.Handle(a.ScriptusStartProgram, [this] { PerformWithText(StartExternalApplication); });
    a.Handle(a.ScriptusWait, [this] { PerformWithText(WaitForTime); });
}

// The selected node's control for a control action; nullopt when the action
// is to do nothing (no node, or a file node after the warning).
std::optional<TSyncControl*> TScriptusRecording::ActionControl(qint32 kind)
{
    if (kind == StartExternalApplication || kind == WaitForTime)
        return nullptr;
    bool nodeSelected = false;
    TSyncControl* control = m_parts.selectedControl ? m_parts.selectedControl(&nodeSelected) : nullptr;
    if (!nodeSelected)
        return std::nullopt;
    if (!control) {
        QMessageBox::warning(&m_form, m_form.windowTitle(),
                             QStringLiteral("Das Kontrollelement kann nicht gefunden werden!"));
        return std::nullopt;
    }
    return control;
}

void TScriptusRecording::Perform(qint32 kind)
{
    TReadGuard guard(ControlListLock());
    const std::optional<TSyncControl*> control = ActionControl(kind);
    if (!control)
        return;
    TScriptus command = RecordingTemplate();
    command.Kind = kind;
    PerformScriptusCommand(command, *control ? (*control)->Handle() : 0);
    Append(kind, *control);
}

void TScriptusRecording::PerformWithText(qint32 kind)
{
    quint64 handle = 0;
    QString current;
    {
        TReadGuard guard(ControlListLock());
        const std::optional<TSyncControl*> control = ActionControl(kind);
        if (!control)
            return;
        handle = *control ? (*control)->Handle() : 0;
        if (kind == SetText)
            current = DesktopAutomation::WindowText(handle);
    }
    // The list may be read again while the prompt is open: find the control anew after it.
    const std::optional<QString> text = TFormEditText::Edit(&m_form, kPrompt, current);
    if (!text) {
        SetHeld(false);
        return;
    }
    TReadGuard guard(ControlListLock());
    TSyncControl* control = handle ? FindControlByHandle(handle) : nullptr;
    if (control && !NameIsCurrent(control))
        control = nullptr;
    if (handle && !control)
        return;
    RecordingTemplate().Text = *text;
    if (kind != WaitForTime) {
        TScriptus command = RecordingTemplate();
        command.Kind = kind;
        PerformScriptusCommand(command, handle);
    }
    Append(kind, control);
}

void TScriptusRecording::Append(qint32 kind, TSyncControl* control)
{
    AppendToActiveList(kind, control);
    SetHeld(false);
}
