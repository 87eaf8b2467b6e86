// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/dialogs/Countdown.h"

#include <QApplication>
#include <QEvent>
#include <QLineEdit>
#include <QWidget>

TCountdown::TCountdown(QWidget* dialog, QLineEdit* display) : QObject(dialog), m_dialog(dialog), m_display(display)
{
    m_timer.setInterval(1000);
    connect(&m_timer, &QTimer::timeout, this, &TCountdown::Tick);
}

void TCountdown::Start(int seconds)
{
    m_remaining = seconds;
    ShowRemaining();
    // Application-wide, so that controls created later and popups of the
    // dialog's own controls count as well; only while counting.
    qApp->installEventFilter(this);
    m_timer.start();
}

void TCountdown::Stop()
{
    if (!m_timer.isActive())
        return;
    m_timer.stop();
    qApp->removeEventFilter(this);
}

void TCountdown::Tick()
{
    --m_remaining;
    ShowRemaining();
    if (m_remaining <= 0) {
        Stop();
        Q_EMIT Expired();
    }
}

void TCountdown::ShowRemaining()
{
    m_display->setText(QStringLiteral("%1 Sekunden").arg(m_remaining));
}

bool TCountdown::eventFilter(QObject* watched, QEvent* event)
{
    const QEvent::Type type = event->type();
    if (type == QEvent::KeyPress || type == QEvent::MouseButtonPress || type == QEvent::ShortcutOverride) {
        const auto* widget = qobject_cast<QWidget*>(watched);
        if (widget != nullptr && (widget == m_dialog || m_dialog->isAncestorOf(widget)))
            Stop();
    }
    return QObject::eventFilter(watched, event);
}
