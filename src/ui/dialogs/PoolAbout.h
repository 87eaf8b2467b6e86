// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QDialog>

class QCheckBox;
class QTimer;

/// Formats a file version "a.b.c.d" as "a.b.c (Build No. d)".
QString BuildNumberText(const QString& fileVersion);

/// The about box, which doubles as the start screen that fades in and out
/// once when the program starts interactively.
class TFormAbout : public QDialog
{
    Q_OBJECT
public:
    explicit TFormAbout(QWidget* parent = nullptr);

    /// Whether the start screen may show: not in the service process, not
    /// when started from the system folder, not when "SuppressSplashScreen" is set.
    static bool SplashWanted();
    /// Starts the fade: fully transparent, then up in steps of 2 every 30 ms
    /// to 250 and down again to 0, then hidden.
    void StartSplash();
    /// Ends the fade at once (minimising the program, closing the window).
    void StopSplash();
    bool Fading() const;
    /// The fade's current opacity step, 0 to 250.
    int FadeLevel() const { return m_level; }

    /// "Info...": modal, unless it is already visible.
    void ShowAbout();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void FadeTick();

    QTimer* m_fade;
    QCheckBox* m_suppress;
    int m_level = 0;
    int m_step = 2;
};
