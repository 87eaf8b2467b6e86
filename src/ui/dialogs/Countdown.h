// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QObject>
#include <QTimer>

class QLineEdit;
class QWidget;

/// The self-confirming countdown of the prompts and the connection dialog:
/// ticks once a second, shows "<n> Sekunden" and signals Expired when the
/// count reaches 0. Any key press or click inside the dialog stops it, so a
/// person who has begun to answer is never overruled by the clock.
class TCountdown : public QObject
{
    Q_OBJECT

public:
    TCountdown(QWidget* dialog, QLineEdit* display);

    /// Starts counting down from seconds (> 0).
    void Start(int seconds);
    void Stop();
    bool IsRunning() const { return m_timer.isActive(); }
    int Remaining() const { return m_remaining; }

Q_SIGNALS:
    void Expired();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void Tick();
    void ShowRemaining();

    QWidget* m_dialog;
    QLineEdit* m_display;
    QTimer m_timer;
    int m_remaining = 0;
};
