// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/dialogs/MainService.h"

#include <memory>
#include <utility>

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QGridLayout>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QSystemTrayIcon>
#include <QTimer>
#include <QVBoxLayout>

#include "base/WorkerThread.h"
#include "foundation/PoolInterlocked.h"
#include "foundation/PoolServices.h"
#include "foundation/Quit.h"
#include "foundation/ServiceMode.h"
#include "platform/ServiceManager.h"
#include "platform/VersionInfo.h"
#include "replication/MonitorSwitch.h"
#include "ui/main/IconTable.h"
#include "ui/main/MessageBoxes.h"

namespace {

constexpr int kTrayRefreshMs = 10000;
const QString kCategory = QStringLiteral("MainService");

TFormMainService* g_form = nullptr;

// In the order of the actions: start, stop, install, uninstall.
QString ActionCaption(int action)
{
    static const char* const kCaptions[] = {"Systemdienst starten", "Systemdienst stoppen", "Systemdienst installieren",
                                            "Systemdienst deinstallieren"};
    return QString::fromUtf8(kCaptions[action]);
}

QString StateText(bool installed, int state)
{
    if (!installed)
        return QStringLiteral("Zustand: nicht installiert");
    switch (state) {
    case kServiceRunning:
        return QStringLiteral("Zustand: läuft");
    case kServiceStartPending:
        return QStringLiteral("Zustand: startet");
    case kServiceStopPending:
        return QStringLiteral("Zustand: wird beendet");
    case kServiceStopped:
        return QStringLiteral("Zustand: gestoppt");
    default:
        return QStringLiteral("Zustand: unbekannt (systemctl antwortet nicht)");
    }
}

} // namespace

TServiceActionStates ServiceActionStates(bool installed, bool running, bool monitor)
{
    return {installed && !running && monitor, installed && running && monitor, !installed, installed && !running};
}

TFormMainService::TFormMainService(QWidget* mainWindow) : m_mainWindow(mainWindow)
{
    g_form = this;
    setObjectName(QStringLiteral("FormMainService"));
    setWindowTitle(ProductName() + QStringLiteral("-Monitor"));
    setAccessibleName(windowTitle());
    ask = [this](const QString& question) { return AskYesNo(this, question); };
    warn = [this](const QString& text) { ShowMessageBox(this, QMessageBox::Warning, text); };
    BuildControls();
    BuildTray();
    ApplyState(false, kServiceStateUnknown);
}

TFormMainService::~TFormMainService()
{
    if (g_form == this)
        g_form = nullptr;
}

void TFormMainService::BuildControls()
{
    auto* heading = new QLabel(QStringLiteral("Systemdienst"), this);
    QFont big = heading->font();
    big.setBold(true);
    big.setPointSizeF(big.pointSizeF() * 1.4);
    heading->setFont(big);
    heading->setAccessibleName(heading->text());
    auto* text = new QLabel(QStringLiteral("Diese Anwendung wurde als ein Systemdienst installiert. Sie können nur "
                                           "Einfluss auf die augenblicklichen Einstellungen nehmen."),
                            this);
    text->setWordWrap(true);
    text->setAccessibleName(text->text());
    m_state = new QLabel(this);
    m_state->setObjectName(QStringLiteral("LabelState"));

    static const char* const kNames[] = {"ButtonStart", "ButtonStop", "ButtonInstall", "ButtonUninstall"};
    auto* buttons = new QGridLayout;
    for (int i = 0; i < kActionCount; ++i) {
        m_buttons[i] = new QPushButton(ActionCaption(i), this);
        m_buttons[i]->setObjectName(QLatin1String(kNames[i]));
        m_buttons[i]->setAccessibleName(ActionCaption(i));
        connect(m_buttons[i], &QPushButton::clicked, this, [this, i] { Run(static_cast<TAction>(i)); });
        buttons->addWidget(m_buttons[i], i / 2, i % 2);
    }
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(heading);
    layout->addWidget(text);
    layout->addWidget(m_state);
    layout->addLayout(buttons);
    layout->addStretch();
}

void TFormMainService::BuildTray()
{
    m_trayMenu = new QMenu(this);
    m_trayMenu->setObjectName(QStringLiteral("PopupMenuTray"));
    const auto entry = [this](const QString& caption, auto slot) {
        QAction* action = m_trayMenu->addAction(caption);
        connect(action, &QAction::triggered, this, slot);
        return action;
    };
    m_actionOpen = entry(QStringLiteral("Öffnen"), [this] {
        if (m_mainWindow) {
            m_mainWindow->showNormal();
            m_mainWindow->activateWindow();
        }
    });
    // The main window of a monitor shows nothing worth opening.
    m_actionOpen->setVisible(false);
    m_trayMenu->addSeparator();
    for (int i = 0; i < kActionCount; ++i)
        m_entries[i] = entry(ActionCaption(i), [this, i] { Run(static_cast<TAction>(i)); });
    m_trayMenu->addSeparator();
    QAction* quit = entry(QStringLiteral("Beenden"), [this] { Quit(); });
    quit->setShortcut(QKeySequence(Qt::ALT | Qt::Key_X));

    m_tray = new QSystemTrayIcon(IconTable::OwnIcon(46), this);
    m_tray->setToolTip(windowTitle());
    m_tray->setContextMenu(m_trayMenu);
    connect(m_tray, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason reason) {
        if (reason == QSystemTrayIcon::DoubleClick)
            ShowWindow();
    });
    m_trayTimer = new QTimer(this);
    m_trayTimer->setInterval(kTrayRefreshMs);
    connect(m_trayTimer, &QTimer::timeout, this, [this] {
        // The desktop's panel may have restarted and lost the icon.
        if (!m_tray->isVisible())
            m_tray->show();
        Refresh();
    });
}

void TFormMainService::StartUp()
{
    if (!ServiceInstalled() || !IsMonitorInstance())
        return;
    m_askWhenKnown = true;
    ShowMonitor();
}

void TFormMainService::ShowMonitor()
{
    m_tray->show();
    m_trayTimer->start();
    ShowWindow();
    Refresh();
}

void TFormMainService::ShowWindow()
{
    showNormal();
    raise();
    activateWindow();
}

void TFormMainService::SwitchToMonitor()
{
    if (m_mainWindow)
        m_mainWindow->hide();
    EnterMonitorMode();
    if (becameMonitor)
        becameMonitor();
    ShowMonitor();
}

void TFormMainService::Refresh()
{
    // A refresh under way may have read the state before the last change.
    if (m_refreshRunning) {
        m_refreshAgain = true;
        return;
    }
    m_refreshRunning = true;
    auto state = std::make_shared<int>(kServiceStateUnknown);
    RunInBackground(
        this, "ServiceControl", [state] { *state = ServiceState(); },
        [this, state] {
            m_refreshRunning = false;
            if (std::exchange(m_refreshAgain, false)) {
                Refresh();
                return;
            }
            ApplyState(ServiceInstalled(), *state);
            Q_EMIT StateApplied();
            if (m_askWhenKnown) {
                m_askWhenKnown = false;
                if (ServiceInstalled() && *state != kServiceRunning &&
                    ask(QStringLiteral(
                            "Der %1-Systemdienst ist im Moment nicht gestartet. Möchten Sie ihn jetzt starten?")
                            .arg(ProductName())))
                    Run(TAction::Start);
            }
        });
}

void TFormMainService::ApplyState(bool installed, int state)
{
    m_state->setText(StateText(installed, state));
    m_state->setAccessibleName(m_state->text());
    SetActionsEnabled(m_actionRunning ? TServiceActionStates{}
                                      : ServiceActionStates(installed, state == kServiceRunning, !RunningAsService()));
}

void TFormMainService::SetActionsEnabled(const TServiceActionStates& states)
{
    const bool enabled[] = {states.start, states.stop, states.install, states.uninstall};
    for (int i = 0; i < kActionCount; ++i) {
        m_buttons[i]->setEnabled(enabled[i]);
        m_entries[i]->setEnabled(enabled[i]);
    }
}

void TFormMainService::Run(TAction action)
{
    if (m_actionRunning)
        return;
    m_actionRunning = true;
    SetActionsEnabled({});
    QApplication::setOverrideCursor(Qt::WaitCursor);
    auto failure = std::make_shared<QString>();
    RunInBackground(
        this, "ServiceControl",
        [action, failure] {
            static void (*const kWork[])() = {&StartService, &StopService, &InstallService, &UninstallService};
            try {
                kWork[static_cast<int>(action)]();
            } catch (const EServiceControlFailed& error) {
                *failure = error.Message();
            }
        },
        [this, action, failure] { Finished(action, *failure); });
}

void TFormMainService::Finished(TAction action, const QString& failure)
{
    QApplication::restoreOverrideCursor();
    m_actionRunning = false;
    static const QString kDone[] = {QString(), QString(), QStringLiteral("Der Systemdienst wurde installiert"),
                                    QStringLiteral("Der Systemdienst wurde deinstalliert")};
    static const QString kFailed[] = {QStringLiteral("Der Systemdienst konnte nicht gestartet werden"),
                                      QStringLiteral("Der Systemdienst konnte nicht gestoppt werden"),
                                      QStringLiteral("Der Systemdienst konnte nicht erstellt werden"),
                                      QStringLiteral("Der Systemdienst konnte nicht deinstalliert werden")};
    const int index = static_cast<int>(action);
    if (failure.isEmpty()) {
        if (!kDone[index].isEmpty())
            Log(kCategory, kDone[index]);
    } else {
        Log(kCategory, kFailed[index]);
        Log(kCategory, failure);
        if (!RunningAsService())
            warn(kFailed[index] + QStringLiteral(".\n\n") + failure);
    }
    Refresh();
}

void TFormMainService::Quit()
{
    m_trayTimer->stop();
    m_tray->hide();
    AskApplicationEnd();
}

void TFormMainService::closeEvent(QCloseEvent* event)
{
    event->ignore();
    // Hidden without a tray icon, the monitor could not be reached again.
    if (QSystemTrayIcon::isSystemTrayAvailable())
        hide();
    else
        showMinimized();
}

TFormMainService* ServiceForm()
{
    return g_form;
}

void SwitchToMonitor()
{
    if (g_form != nullptr)
        g_form->SwitchToMonitor();
    else
        EnterMonitorMode();
}

void ShowServiceMonitor()
{
    if (g_form != nullptr)
        g_form->ShowWindow();
}
