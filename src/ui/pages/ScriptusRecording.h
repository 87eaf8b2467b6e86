// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <functional>
#include <optional>

#include <QObject>
#include <QPoint>

#include "scriptus/Hooks.h"

class TFormMain;
class TSyncControl;
namespace DesktopAutomation {
struct TPointControl;
}

/// Recording on the Scriptus page: follows the mouse over other programs'
/// controls, holds the panel for the action menu (Pause or the right
/// button), performs the chosen action at once and appends its command.
/// Lives on the main thread; the control under the pointer is looked up on
/// the desktop thread, the newest movement first.
class TScriptusRecording : public QObject, public TRecordingPage
{
    Q_OBJECT
public:
    /// What the control tree and the command lists offer recording.
    struct TPageParts {
        /// The control of the selected tree node; nodeSelected tells a file
        /// node (no control) from no selection.
        std::function<TSyncControl*(bool* nodeSelected)> selectedControl;
        /// Selects the element's node (focus, scrolled into view); false when
        /// the element has no node.
        std::function<bool(TSyncControl*)> selectNode;
        /// Builds the control tree again from the control list.
        std::function<void()> rebuildTree;
        /// Reads the control list again off the main thread, then builds the tree.
        std::function<void()> rereadControls;
    };

    explicit TScriptusRecording(TFormMain& form);
    ~TScriptusRecording() override;

    void SetPageParts(TPageParts parts) { m_parts = std::move(parts); }

    bool ScriptusPageActive() override;
    bool LogAllEvents() override;
    void TrackMouse(const THooksNotification& notification) override;
    void RecordLeftClick(const THooksNotification& notification) override;
    void OpenActionMenu(const THooksNotification& notification) override;
    void ReleaseHold() override;
    void AppendKeyDown(std::uint32_t virtualKey, std::uint32_t keystroke) override;

    /// Shows a control in the panel (or "Information nicht verfügbar").
    void ShowControl(TSyncControl* control);

private:
    void WireActions();
    void LookUp(QPoint point, std::uint32_t window);
    void Tracked(QPoint point, std::uint32_t window, const DesktopAutomation::TPointControl& found);
    std::optional<TSyncControl*> ActionControl(qint32 kind);
    void Append(qint32 kind, TSyncControl* control);
    void AppendToActiveList(qint32 kind, TSyncControl* control);
    void SetHeld(bool held);
    /// Performs a menu action on the selected node's control and appends it.
    void Perform(qint32 kind);
    void PerformWithText(qint32 kind);

    TFormMain& m_form;
    TPageParts m_parts;
    bool m_lookingUp = false;
    // The newest movement that came while a look-up ran.
    std::optional<std::pair<QPoint, std::uint32_t>> m_pending;
    std::uint32_t m_lastUnmatchedWindow = 0;
    // The tag of the last unknown control a read was made for.
    quint64 m_lastUnknownControl = 0;
};
