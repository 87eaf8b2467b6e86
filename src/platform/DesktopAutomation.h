// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <functional>
#include <vector>

#include <QByteArray>
#include <QPoint>
#include <QRect>
#include <QString>
#include <QStringList>

/// One window or control of the desktop as read by ReadDesktopControls.
struct TDesktopControl {
    /// X window id for a top-level window; for a control a number of at least
    /// 2^32 that stays unique while the process lives.
    quint64 handle = 0;
    /// The owner window (WM_TRANSIENT_FOR) or the parent control; 0 for none.
    quint64 parent = 0;
    /// The top-level window the control lies in (itself for a window).
    quint64 window = 0;
    /// Window title or accessible name, single line, at most 199 characters.
    QString name;
    /// Accessible role name ("push button", "frame"), else the X class.
    QString className;
    /// 1-based position among the parent's children; 0 for a window.
    int controlId = 0;
    /// Base name of the owning program.
    QString fileName;
    qint64 pid = 0;
    bool visible = false;
};

/// The mouse buttons a click may use.
enum class TMouseButton {
    Left,
    Right
};

/// The Linux desktop as Scriptus sees it: top-level windows through X11,
/// the controls inside them through the accessibility bus, input through
/// XTest. Every call is carried out on one thread of its own, since the
/// accessibility library is not thread-safe; callers on any thread block
/// until it answers. Calls on a handle that no longer exists return false;
/// a control's handle never stands in for its window. Actions return once
/// the program has answered, and those that change a state (text, check,
/// selection) true only once the program reads back the new state.
namespace DesktopAutomation {

/// Whether a display and an accessibility bus can be reached; else why not
/// (German, for the protocol).
bool Available(QString* reason = nullptr);

/// What lies under a point of the screen, for following the mouse.
struct TPointControl {
    /// The deepest control of the last read there, else the window; 0 for none.
    quint64 handle = 0;
    QRect rect;
    /// The names of that control and of its window now, as a read gives them.
    QString name;
    QString windowName;
    /// Set when a control below the one found is not in the last read (made
    /// since): a tag that tells such controls apart, else 0.
    quint64 unknownBelow = 0;
};
/// Looks up the control at the point inside that top-level window on the
/// desktop thread without waiting for it; done runs on the desktop thread.
void ControlAtAsync(QPoint screenPoint, quint64 window, std::function<void(TPointControl)> done);

/// Asks toolkits to expose their controls: sets org.a11y.Status.IsEnabled and
/// has programs started from here get QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1.
void EnableAccessibility();

/// Every top-level window in stacking order from the top, each followed by
/// its controls depth first. Handles of an earlier read stay valid as long as
/// their control exists.
std::vector<TDesktopControl> ReadControls();

/// Names of running programs that have windows but show no controls.
QStringList ProgramsWithoutControls();

/// The name of a window or control now, as a read gives it; empty when gone.
QString CurrentName(quint64 handle);
/// The screen rectangle of a window or control now; empty when gone.
QRect Rectangle(quint64 handle);
/// The control's text (first 99 characters), else its name.
QString WindowText(quint64 handle);
/// The window's icon nearest to 16 pixels as ARGB32 rows; empty when none.
QByteArray WindowIcon(quint64 handle, int* width, int* height);

/// Raises and focuses the control's top-level window, clicks there (screen
/// point) and puts the pointer back.
bool Click(quint64 handle, QPoint screenPoint, TMouseButton button, int count);
bool SetText(quint64 handle, const QString& text);
/// Selects the first entry whose name begins with the text, ignoring case.
bool SelectString(quint64 handle, const QString& text);
/// Toggles the control only when its check state differs.
bool SetChecked(quint64 handle, bool checked);
bool BringToTop(quint64 handle);
bool Close(quint64 handle);
/// A key press or release by Windows virtual-key code. A pressed modifier is
/// held until the next other key was pressed and released; any other key is
/// pressed and released at once; a release only lets go of a held key.
bool Key(quint8 virtualKey, bool down);
/// Releases every key a run still holds and forgets them. Does nothing in a
/// process that never talked to the desktop.
void ReleaseKeys();
/// Releases the held keys for a wait, so the user's own typing is not
/// changed meanwhile, but keeps them as held.
void LetGoOfKeys();
/// Presses the keys let go of for a wait again.
void PressHeldKeysAgain();

} // namespace DesktopAutomation
