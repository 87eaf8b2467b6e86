// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QObject>

class QMainWindow;
class QMenu;
class QSystemTrayIcon;
class QTimer;

/// The window's life in the notification area. Minimising hides the window
/// behind an icon; where the desktop has no notification area the window
/// only minimises, so it can never become unreachable.
class TMainTray : public QObject
{
    Q_OBJECT
public:
    TMainTray(QMainWindow* window, QMenu* menu);

    /// The window was minimised by the user.
    void WindowMinimized();
    /// Start minimised, or the service process: only the icon (or, without a
    /// notification area, a minimised window).
    void GoToTray();
    /// The window came back without us (the window manager un-minimised it).
    void WindowShown();
    /// The process became a monitor: the window hides without an icon (the
    /// service control window has its own).
    void Leave();
    /// Shows the window again, in front, and removes the icon.
    void RestoreWindow();

    bool InTray() const { return m_inTray; }
    bool IconVisible() const;
    /// The caption's suffix in the service process (" Systemdienst").
    void SetTooltipSuffix(const QString& suffix) { m_suffix = suffix; }

    /// Whether a notification area exists; tests replace the desktop's answer.
    static void SetAvailabilityForTests(int available); ///< -1 asks the desktop again
    static bool Available();

    /// The 10 s refresh: re-adds the icon when a notification area appeared
    /// or came back.
    void Refresh();

private:
    void ShowIcon();

    QMainWindow* m_window;
    QSystemTrayIcon* m_icon;
    QTimer* m_refresh;
    QString m_suffix;
    bool m_inTray = false;
    bool m_hadArea = false;
    bool m_fallbackReported = false;
};
