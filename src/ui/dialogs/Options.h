// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <functional>

#include <QDialog>

class QCheckBox;
class QLineEdit;
class QPushButton;
class QTabWidget;

/// The options dialog: every setting on five pages, filled from the
/// configuration each time it is shown, stored page by page on OK, and the
/// options file saved only when every page was valid.
class TPagesDlgOptions : public QDialog
{
    Q_OBJECT

public:
    explicit TPagesDlgOptions(QWidget* parent = nullptr);

    /// Called after the start with the system installed the service: the
    /// window switches to the service monitor.
    void SetServiceSwitch(std::function<void()> switchToMonitor) { m_switchToMonitor = std::move(switchToMonitor); }

    /// Fills every control from the configuration.
    void Fill();
    /// Stores the pages; true when every page was valid and the file saved.
    bool Store();

    QTabWidget* Pages() const { return m_pages; }
    QLineEdit* Edit(const QString& objectName) const;
    QCheckBox* Check(const QString& objectName) const;

    void accept() override;

protected:
    void showEvent(QShowEvent* event) override;

private:
    QWidget* BuildClientPage();
    QWidget* BuildServerPage();
    QWidget* BuildNetworkPage();
    QWidget* BuildScriptusPage();
    QWidget* BuildMiscPage();
    QLineEdit* AddEdit(QWidget* page, const QString& objectName, const QString& caption);
    QCheckBox* AddCheck(QWidget* page, const QString& objectName, const QString& caption);
    void ApplyEnabling();

    bool StoreClientPage();
    bool StoreServerPage();
    bool StoreNetworkPage();
    bool StoreScriptusPage();
    bool StoreMiscPage();
    void ApplyAutostart();

    QTabWidget* m_pages;
    QPushButton* m_okBtn;
    QPushButton* m_cancelBtn;
    bool m_master = false;
    // What the converted fields showed, so that an untouched field keeps its
    // stored value instead of the value rounded to the shown unit.
    int m_shownIntervalMinutes = 0;
    int m_storedIntervalMs = 0;
    int m_shownScriptusSeconds = 0;
    int m_storedScriptusMs = 0;
    std::function<void()> m_switchToMonitor;
};
