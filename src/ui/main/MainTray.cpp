// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/main/MainTray.h"

#include <QMainWindow>
#include <QMenu>
#include <QSystemTrayIcon>
#include <QTimer>

#include "foundation/PoolInterlocked.h"
#include "foundation/ServiceMode.h"
#include "ui/dialogs/MainService.h"
#include "ui/main/IconTable.h"

namespace {

constexpr int kRefreshMs = 10000;
int g_availability = -1;

} // namespace

TMainTray::TMainTray(QMainWindow* window, QMenu* menu) : QObject(window), m_window(window)
{
    m_icon = new QSystemTrayIcon(IconTable::OwnIcon(46), this);
    m_icon->setContextMenu(menu);
    // A double-click, or the single activation StatusNotifierItem trays send.
    connect(m_icon, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason reason) {
        if (reason != QSystemTrayIcon::DoubleClick && reason != QSystemTrayIcon::Trigger)
            return;
        // The service's window lives in the tray; its icon leads to the service control.
        if (RunningAsService())
            ShowServiceMonitor();
        else
            RestoreWindow();
    });
    m_refresh = new QTimer(this);
    m_refresh->setInterval(kRefreshMs);
    connect(m_refresh, &QTimer::timeout, this, &TMainTray::Refresh);
}

void TMainTray::SetAvailabilityForTests(int available)
{
    g_availability = available;
}

bool TMainTray::Available()
{
    return g_availability >= 0 ? g_availability != 0 : QSystemTrayIcon::isSystemTrayAvailable();
}

bool TMainTray::IconVisible() const
{
    return m_icon->isVisible();
}

void TMainTray::WindowMinimized()
{
    if (!m_inTray)
        GoToTray();
}

void TMainTray::GoToTray()
{
    m_inTray = true;
    m_refresh->start();
    m_hadArea = Available();
    if (!m_hadArea) {
        if (!m_fallbackReported) {
            m_fallbackReported = true;
            Log(QStringLiteral("Main"),
                QStringLiteral("Kein Infobereich vorhanden: das Fenster wird minimiert statt ausgeblendet"));
        }
        m_window->showMinimized();
        return;
    }
    ShowIcon();
    // Hidden only once the icon is there to bring it back.
    QTimer::singleShot(0, m_window, [this] {
        if (m_inTray && m_icon->isVisible())
            m_window->hide();
    });
}

void TMainTray::ShowIcon()
{
    m_icon->setToolTip(m_window->windowTitle() + m_suffix);
    m_icon->show();
}

void TMainTray::WindowShown()
{
    if (m_inTray && m_window->isVisible() && !m_window->isMinimized()) {
        m_inTray = false;
        m_refresh->stop();
        m_icon->hide();
    }
}

void TMainTray::Leave()
{
    m_inTray = false;
    m_refresh->stop();
    m_icon->hide();
    m_window->hide();
}

void TMainTray::RestoreWindow()
{
    m_inTray = false;
    m_refresh->stop();
    m_icon->hide();
    m_window->showNormal();
    m_window->raise();
    m_window->activateWindow();
}

void TMainTray::Refresh()
{
    if (!m_inTray)
        return;
    const bool available = Available();
    if (available && (!m_hadArea || !m_icon->isVisible())) {
        m_icon->hide();
        ShowIcon();
        Log(QStringLiteral("Main"), QStringLiteral("Das Systray-Symbol wurde erneuert"));
        // The window was only minimised while there was no area; now the icon
        // holds it.
        if (m_window->isMinimized())
            m_window->hide();
    }
    // The panel went away with the icon: the window must stay reachable.
    if (!available && m_hadArea && m_window->isHidden())
        m_window->showMinimized();
    m_hadArea = available;
}
