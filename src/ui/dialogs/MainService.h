// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <functional>

#include <QPointer>
#include <QWidget>

class QAction;
class QLabel;
class QMenu;
class QPushButton;
class QSystemTrayIcon;
class QTimer;

/// Which of the four service actions may be used in a given state.
struct TServiceActionStates {
    bool start = false;
    bool stop = false;
    bool install = false;
    bool uninstall = false;
    bool operator==(const TServiceActionStates&) const = default;
};
/// monitor: this process is not the service itself.
TServiceActionStates ServiceActionStates(bool installed, bool running, bool monitor);

/// The service control window ("Plenwick-Monitor"): starts, stops, installs
/// and removes the systemd service, with a tray icon of its own. Every
/// service call runs on a thread; meanwhile the buttons are disabled and the
/// window stays responsive. One per process; the program entry creates it
/// after the main window.
class TFormMainService : public QWidget
{
    Q_OBJECT
public:
    /// mainWindow: what "Öffnen" shows and the switch to monitor hides; may be null.
    explicit TFormMainService(QWidget* mainWindow = nullptr);
    ~TFormMainService() override;

    /// The creation at program start: in a monitor instance the window shows
    /// with its tray icon and refresh timer, and a stopped service may be
    /// started at once.
    void StartUp();
    /// Turns this working instance into a monitor (see SwitchToMonitor below).
    void SwitchToMonitor();
    /// Shows the window in front.
    void ShowWindow();

    /// Reads the state anew (systemctl on a thread) and applies it.
    void Refresh();
    /// Applies a known state: the enabled rules, the state line.
    void ApplyState(bool installed, int state);
    /// A service action or refresh is under way.
    bool Busy() const { return m_actionRunning; }

    /// The start-up question; a test may answer it. Default: a Yes/No box.
    std::function<bool(const QString& question)> ask;
    /// Shows a failure; a test may record it. Default: a warning box.
    std::function<void(const QString& text)> warn;
    /// Called once this process has become a monitor (the entry lets go of
    /// what only a working instance holds).
    std::function<void()> becameMonitor;

Q_SIGNALS:
    /// A refresh has applied its state (tests wait for it).
    void StateApplied();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    enum class TAction {
        Start,
        Stop,
        Install,
        Uninstall
    };
    void BuildControls();
    void BuildTray();
    void ShowMonitor();
    void Run(TAction action);
    void Finished(TAction action, const QString& failure);
    void SetActionsEnabled(const TServiceActionStates& states);
    void Quit();

    QPointer<QWidget> m_mainWindow;
    QLabel* m_state = nullptr;
    // Button and tray menu entry of each action, in the order of TAction.
    static constexpr int kActionCount = 4;
    QPushButton* m_buttons[kActionCount] = {};
    QAction* m_entries[kActionCount] = {};
    QMenu* m_trayMenu = nullptr;
    QAction* m_actionOpen = nullptr;
    QSystemTrayIcon* m_tray = nullptr;
    QTimer* m_trayTimer = nullptr;
    bool m_actionRunning = false;
    bool m_refreshRunning = false;
    bool m_refreshAgain = false;
    bool m_askWhenKnown = false;
};

/// The service control window of this process; nullptr without the window.
TFormMainService* ServiceForm();

/// The switch to monitor, for the dialogs that install the service: hides the
/// main window, stops the listeners, the update timer, the folder monitoring
/// and every import, writes no list from now on, and shows the service
/// control window. Without the window only the core part runs.
void SwitchToMonitor();

/// Shows the service control window (the service process's tray icon).
void ShowServiceMonitor();
