// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <functional>

#include <QDialog>

class QLabel;
class QPushButton;

/// The waiting window of the orderly shutdown: says why the program does not
/// end yet and offers "Sofort beenden". Not modal; it closes by itself when
/// the re-check finds every thread stopped.
class TFormQuit : public QDialog
{
    Q_OBJECT
public:
    explicit TFormQuit(QWidget* parent = nullptr);

    QPushButton* ButtonImmediate() const { return m_immediate; }
    /// What the shutdown does now, under the explanation; "" hides the line.
    void SetNote(const QString& note);
    QLabel* Note() const { return m_note; }
    /// What "Sofort beenden" runs; the orderly shutdown's immediate end unless
    /// a test puts something else in.
    void SetImmediateAction(std::function<void()> action) { m_action = std::move(action); }

protected:
    void closeEvent(QCloseEvent* event) override;
    void reject() override;

private:
    QPushButton* m_immediate;
    QLabel* m_note;
    std::function<void()> m_action;
};
