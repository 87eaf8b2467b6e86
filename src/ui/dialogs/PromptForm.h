// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QDialog>

#include "foundation/Quit.h"

class QLabel;
class QLineEdit;
class QPushButton;
class QVBoxLayout;
class TCountdown;

/// What the installation prompts share: product name as caption, the
/// application icon, a headline and a question, "Ja"/"Nein" and a countdown
/// that answers "Ja" by itself. While one is open the orderly shutdown sees
/// it as part of the client sessions and answers it "Nein" at once.
class TFormPrompt : public QDialog, private TShutdownParticipant
{
    Q_OBJECT

public:
    ~TFormPrompt() override;

    /// Shows the prompt modally and answers whether it closed with "Ja".
    /// With ClientInputWaitTimeInSecs at 0 or below nobody is given time to
    /// answer, so the answer is "Ja" at once, as the countdown would give it.
    bool Ask();

    QPushButton* ButtonYes() const { return m_buttonYes; }
    QPushButton* ButtonNo() const { return m_buttonNo; }
    QLineEdit* EditRemainingTime() const { return m_editRemainingTime; }
    TCountdown& Countdown() const { return *m_countdown; }

protected:
    TFormPrompt(const QString& headline, const QString& text, QWidget* parent);

    /// Where a form puts its own controls, between the question and the countdown.
    QVBoxLayout* ContentLayout() const { return m_content; }

    /// The buttons' own effects, before the form closes.
    virtual void OnYes() {}
    virtual void OnNo() {}

    void showEvent(QShowEvent* event) override;
    void done(int result) override;

private:
    bool IsRunning() override;
    void RequestStop() override;

    QLabel* m_imageLogo;
    QVBoxLayout* m_content;
    QLineEdit* m_editRemainingTime;
    QPushButton* m_buttonYes;
    QPushButton* m_buttonNo;
    TCountdown* m_countdown;
    bool m_open = false;
};
