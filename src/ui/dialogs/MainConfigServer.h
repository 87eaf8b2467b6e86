// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <functional>

#include <QDialog>

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QToolButton;
class TCountdown;

/// The connection settings: names the master server this computer talks to,
/// or makes this computer the master server. Confirms itself when its
/// countdown runs out, so that an unattended first start goes on.
class TFormConfigServer : public QDialog
{
    Q_OBJECT

public:
    explicit TFormConfigServer(QWidget* parent = nullptr);

    /// What the window does around the dialog: minimise itself after a
    /// confirmation by the clock, switch to the service monitor after the
    /// start with the system installed the service.
    void SetMinimizeWindow(std::function<void()> minimize) { m_minimizeWindow = std::move(minimize); }
    void SetServiceSwitch(std::function<void()> switchToMonitor) { m_switchToMonitor = std::move(switchToMonitor); }

    /// The first start: asks the network quietly for the master server, then
    /// opens the dialog. Nothing happens when the options file named one.
    void RunFirstStart();
    /// Whether this start is a first start: no master server named, and not
    /// the service, which has no one to ask.
    static bool IsFirstStart();

    /// Fills the controls from the configuration again; a SETSERVER that
    /// changed NetServerName while the dialog is open calls it, so that its
    /// OK cannot write the old name back.
    void Fill();
    /// NetServerName may have changed from the network: an open dialog whose
    /// name is no longer the stored one fills itself again.
    void ServerNameChanged();

    /// The OK sequence; false when the entry is refused.
    bool Confirm();

    QLineEdit* EditServerName() const { return m_editServerName; }
    QLineEdit* EditClientUsername() const { return m_editClientUsername; }
    QLineEdit* EditClientPassword() const { return m_editClientPassword; }
    QCheckBox* CheckBoxAnonymousLogin() const { return m_checkBoxAnonymousLogin; }
    QLineEdit* EditRemainingTime() const { return m_editRemainingTime; }
    QPushButton* ButtonSetMasterServer() const { return m_buttonSetMasterServer; }
    QToolButton* SpeedButtonBroadcast() const { return m_speedButtonBroadcast; }
    QLineEdit* EditServerKey() const { return m_editServerKey; }
    QPushButton* ButtonClearServerKey() const { return m_buttonClearServerKey; }
    TCountdown& Countdown() const { return *m_countdown; }

    void accept() override;
    void done(int result) override;

protected:
    void showEvent(QShowEvent* event) override;

private:
    void SetMasterServer();
    void ConfirmedByClock();
    void ApplyEnabling();
    bool CreateServerFolders();

    QLineEdit* m_editServerName;
    QLineEdit* m_editClientUsername;
    QLineEdit* m_editClientPassword;
    QCheckBox* m_checkBoxAnonymousLogin;
    QLineEdit* m_editRemainingTime;
    QPushButton* m_buttonSetMasterServer;
    QToolButton* m_speedButtonBroadcast;
    QLineEdit* m_editServerKey;
    QPushButton* m_buttonClearServerKey;
    // The administrator cleared the pinned key; stored with OK.
    bool m_serverKeyCleared = false;
    QPushButton* m_buttonOk;
    QPushButton* m_buttonCancel;
    TCountdown* m_countdown;
    QString m_filledName;
    std::function<void()> m_minimizeWindow;
    std::function<void()> m_switchToMonitor;
};
