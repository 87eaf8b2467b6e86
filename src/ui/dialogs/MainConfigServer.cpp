// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/dialogs/MainConfigServer.h"

#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QShowEvent>
#include <QToolButton>
#include <QVBoxLayout>

#include "foundation/MainConfig.h"
#include "foundation/PoolInterlocked.h"
#include "foundation/PoolSystem.h"
#include "foundation/ServiceMode.h"
#include "foundation/Startup.h"
#include "foundation/UiAdapter.h"
#include "platform/ProgramPaths.h"
#include "platform/VersionInfo.h"
#include "replication/Broadcast.h"
#include "replication/HostKey.h"
#include "replication/MasterKey.h"
#include "ui/dialogs/Countdown.h"
#include "ui/dialogs/DialogSupport.h"

TFormConfigServer::TFormConfigServer(QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("FormConfigServer"));
    setWindowTitle(ProductName() + QStringLiteral(" - Verbindungsdaten konfigurieren"));
    setModal(true);

    // Master server
    auto* serverBox = new QGroupBox(QStringLiteral("Master-Server"), this);
    m_editServerName = new QLineEdit(serverBox);
    NameControl(m_editServerName, QStringLiteral("EditServerName"), QStringLiteral("&Server-Name"));
    m_editServerName->setToolTip(QStringLiteral(
        "Voreingestellt ist der Name dieses Computers, sofern kein Master-Server ermittelt werden konnte"));
    auto* serverLabel = new QLabel(QStringLiteral("&Server-Name"), serverBox);
    serverLabel->setBuddy(m_editServerName);
    m_speedButtonBroadcast = new QToolButton(serverBox);
    m_speedButtonBroadcast->setText(QStringLiteral("Suchen"));
    NameControl(m_speedButtonBroadcast, QStringLiteral("SpeedButtonBroadcast"), QStringLiteral("Suchen"));
    m_speedButtonBroadcast->setToolTip(QStringLiteral("Master-Server suchen"));
    m_buttonSetMasterServer = new QPushButton(QStringLiteral("Diesen Computer zum Master-Server ernennen"), serverBox);
    NameControl(m_buttonSetMasterServer, QStringLiteral("ButtonSetMasterServer"),
                QStringLiteral("Diesen Computer zum Master-Server ernennen"));
    auto* nameRow = new QHBoxLayout;
    nameRow->addWidget(serverLabel);
    nameRow->addWidget(m_editServerName, 1);
    nameRow->addWidget(m_speedButtonBroadcast);
    // The keys: the one pinned for the master server, and this computer's
    // own, which an administrator compares with what a client pinned.
    m_editServerKey = new QLineEdit(serverBox);
    NameControl(m_editServerKey, QStringLiteral("EditServerKey"), QStringLiteral("Schlüssel des Master-Servers"));
    m_editServerKey->setReadOnly(true);
    m_editServerKey->setPlaceholderText(QStringLiteral("wird bei der ersten Anmeldung übernommen"));
    m_buttonClearServerKey = new QPushButton(QStringLiteral("Vertrauen &aufheben"), serverBox);
    NameControl(m_buttonClearServerKey, QStringLiteral("ButtonClearServerKey"), QStringLiteral("Vertrauen aufheben"));
    m_buttonClearServerKey->setToolTip(
        QStringLiteral("Der Schlüssel, den der Master-Server bei der nächsten Anmeldung vorlegt, wird übernommen"));
    auto* ownKey = new QLineEdit(OwnFingerprintText(), serverBox);
    NameControl(ownKey, QStringLiteral("EditOwnKey"), QStringLiteral("Schlüssel dieses Computers"));
    ownKey->setReadOnly(true);
    // A fingerprint is read and compared whole, never scrolled.
    const int keyWidth = ownKey->fontMetrics().horizontalAdvance(QString(79, QLatin1Char('0'))) +
                         2 * ownKey->fontMetrics().averageCharWidth();
    m_editServerKey->setMinimumWidth(keyWidth);
    ownKey->setMinimumWidth(keyWidth);
    auto* serverKeyRow = new QHBoxLayout;
    serverKeyRow->addWidget(m_editServerKey, 1);
    serverKeyRow->addWidget(m_buttonClearServerKey);
    auto* keys = new QFormLayout;
    keys->addRow(QStringLiteral("Schlüssel des Master-Servers"), serverKeyRow);
    keys->addRow(QStringLiteral("Schlüssel dieses Computers"), ownKey);
    auto* serverLayout = new QVBoxLayout(serverBox);
    serverLayout->addLayout(nameRow);
    serverLayout->addLayout(keys);
    serverLayout->addWidget(m_buttonSetMasterServer);

    // The user panel: user management is not part of this program, so its
    // note stands in place of the description and the fields stay hidden,
    // but the three keys still travel through them.
    auto* userBox = new QGroupBox(QStringLiteral("Authentifizierung"), this);
    userBox->setObjectName(QStringLiteral("GroupBoxAuthentication"));
    auto* note = new QLabel(QStringLiteral("Das Modul zur Benutzerverwaltung wurde nicht installiert."), userBox);
    note->setObjectName(QStringLiteral("LabelUserNote"));
    QFont bold = note->font();
    bold.setBold(true);
    note->setFont(bold);
    note->setForegroundRole(QPalette::WindowText);
    m_editClientUsername = new QLineEdit(userBox);
    NameControl(m_editClientUsername, QStringLiteral("EditClientUsername"), QStringLiteral("&Name"));
    m_editClientPassword = new QLineEdit(userBox);
    NameControl(m_editClientPassword, QStringLiteral("EditClientPassword"), QStringLiteral("&Kennwort"));
    m_editClientPassword->setEchoMode(QLineEdit::Password);
    m_checkBoxAnonymousLogin = new QCheckBox(QStringLiteral("Anonym anmelden"), userBox);
    NameControl(m_checkBoxAnonymousLogin, QStringLiteral("CheckBoxAnonymousLogin"), QStringLiteral("Anonym anmelden"));
    m_checkBoxAnonymousLogin->setEnabled(false);
    m_editClientUsername->hide();
    m_editClientPassword->hide();
    m_checkBoxAnonymousLogin->hide();
    auto* userLayout = new QFormLayout(userBox);
    userLayout->addRow(note);
    userLayout->addRow(new QLabel(userBox), m_editClientUsername);
    userLayout->addRow(new QLabel(userBox), m_editClientPassword);
    userLayout->addRow(m_checkBoxAnonymousLogin);

    auto* remainingLabel = new QLabel(QStringLiteral("Verbleibende Zeit:"), this);
    m_editRemainingTime = new QLineEdit(this);
    NameControl(m_editRemainingTime, QStringLiteral("EditRemainingTime"), QStringLiteral("Verbleibende Zeit:"));
    m_editRemainingTime->setReadOnly(true);
    remainingLabel->setBuddy(m_editRemainingTime);

    m_buttonOk = new QPushButton(QStringLiteral("OK"), this);
    NameControl(m_buttonOk, QStringLiteral("ButtonOk"), QStringLiteral("OK"));
    m_buttonOk->setDefault(true);
    m_buttonCancel = new QPushButton(QStringLiteral("Abbrechen"), this);
    NameControl(m_buttonCancel, QStringLiteral("ButtonCancel"), QStringLiteral("Abbrechen"));

    auto* bottom = new QHBoxLayout;
    bottom->addWidget(remainingLabel);
    bottom->addWidget(m_editRemainingTime);
    bottom->addStretch(1);
    bottom->addWidget(m_buttonOk);
    bottom->addWidget(m_buttonCancel);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(serverBox);
    layout->addWidget(userBox);
    layout->addLayout(bottom);

    m_countdown = new TCountdown(this, m_editRemainingTime);
    connect(m_countdown, &TCountdown::Expired, this, &TFormConfigServer::ConfirmedByClock);
    connect(m_buttonOk, &QPushButton::clicked, this, &TFormConfigServer::accept);
    connect(m_buttonCancel, &QPushButton::clicked, this, &TFormConfigServer::reject);
    connect(m_buttonSetMasterServer, &QPushButton::clicked, this, &TFormConfigServer::SetMasterServer);
    connect(m_speedButtonBroadcast, &QToolButton::clicked, this, [] { QueryServer(false); });
    connect(m_checkBoxAnonymousLogin, &QCheckBox::toggled, this, &TFormConfigServer::ApplyEnabling);
    connect(m_buttonClearServerKey, &QPushButton::clicked, this, [this] {
        m_serverKeyCleared = true;
        m_editServerKey->clear();
        ApplyEnabling();
    });
}

bool TFormConfigServer::IsFirstStart()
{
    return !ServerConfigured() && !RunningAsService();
}

void TFormConfigServer::RunFirstStart()
{
    if (!IsFirstStart())
        return;
    // The answer comes to the listeners, which start once the lists are in.
    WhenListsRead([] { QueryServer(true); });
    open();
}

void TFormConfigServer::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    if (event->spontaneous())
        return;
    Fill();
    TUiAdapter::SetCaption(MainCaption());
    // With no time to answer the dialog waits for the user: confirming at once
    // would make it useless to a person who opened it to change the server.
    const int seconds = MainConfig().GetInteger(QStringLiteral("ClientInputWaitTimeInSecs"));
    if (seconds > 0)
        m_countdown->Start(seconds);
    else
        m_editRemainingTime->clear();
}

void TFormConfigServer::Fill()
{
    TConfig& c = MainConfig();
    m_filledName = c.GetString(QStringLiteral("NetServerName"));
    m_editServerName->setText(m_filledName);
    m_editClientUsername->setText(c.GetString(QStringLiteral("ClientUsername")));
    m_editClientPassword->setText(c.GetString(QStringLiteral("ClientPassword")));
    m_checkBoxAnonymousLogin->setChecked(c.GetBoolean(QStringLiteral("ClientAnonymousLogin")));
    m_editServerKey->setText(PinnedMasterKey());
    m_serverKeyCleared = false;
    ApplyEnabling();
}

void TFormConfigServer::ServerNameChanged()
{
    if (isVisible() && MainConfig().GetString(QStringLiteral("NetServerName")) != m_filledName)
        Fill();
}

void TFormConfigServer::ApplyEnabling()
{
    const bool named = !m_checkBoxAnonymousLogin->isChecked();
    m_editClientUsername->setEnabled(named);
    m_editClientPassword->setEnabled(named);
    m_buttonClearServerKey->setEnabled(!m_editServerKey->text().isEmpty());
}

void TFormConfigServer::SetMasterServer()
{
    m_editServerName->setText(LocalComputerName());
    ShowWarning(this, QStringLiteral("Stellen Sie unbedingt sicher, dass sich nur ein einziger Master-Server im "
                                     "Netzwerk befindet, und alle Clients auf diesen verweisen."));
}

void TFormConfigServer::accept()
{
    if (Confirm())
        QDialog::accept();
}

void TFormConfigServer::done(int result)
{
    m_countdown->Stop();
    QDialog::done(result);
}

void TFormConfigServer::ConfirmedByClock()
{
    if (!Confirm())
        return;
    if (MainConfig().GetBoolean(QStringLiteral("MiscStartMinimized")) && m_minimizeWindow)
        m_minimizeWindow();
    QDialog::accept();
}

bool TFormConfigServer::Confirm()
{
    m_countdown->Stop();
    const QString name = m_editServerName->text().trimmed();
    if (name.isEmpty()) {
        ShowError(this, QStringLiteral("Es wurde kein Server-Name eingetragen."));
        return false;
    }
    TConfig& c = MainConfig();
    c.Set(QStringLiteral("NetServerName"), name);
    const bool master = name.compare(LocalComputerName(), Qt::CaseInsensitive) == 0;
    c.Set(QStringLiteral("ClientAutoInstall"), !master);
    c.Set(QStringLiteral("MiscStartMinimized"), !master);
    c.Set(QStringLiteral("ClientUsername"), m_editClientUsername->text());
    c.Set(QStringLiteral("ClientPassword"), m_editClientPassword->text());
    c.Set(QStringLiteral("ClientAnonymousLogin"), m_checkBoxAnonymousLogin->isChecked());
    // Another master comes with another key: its first login pins it.
    if (m_serverKeyCleared || name.compare(m_filledName, Qt::CaseInsensitive) != 0)
        c.Set(QStringLiteral("NetServerKey"), QString());
    if (!SaveOptionsFile(this))
        return false;
    if (master) {
        CreateServerFolders();
    } else {
        QApplication::setOverrideCursor(Qt::WaitCursor);
        bool switchToMonitor = false;
        try {
            switchToMonitor = RegisterForAutomaticStart();
        } catch (const std::exception& error) {
            Log(QStringLiteral("MainConfig"),
                QStringLiteral("Beim Eintragen des Autostarts ") + ExceptionSuffix(error));
        }
        QApplication::restoreOverrideCursor();
        if (switchToMonitor)
            SwitchToServiceMonitor(m_switchToMonitor);
    }
    Fill();
    return true;
}

bool TFormConfigServer::CreateServerFolders()
{
    bool created = true;
    for (const char* key : {"ServerObjectDir", "ServerScriptusDir"}) {
        const QString folder = MainConfig().GetString(QLatin1String(key));
        if (folder.isEmpty() || QDir().mkpath(folder))
            continue;
        created = false;
        ShowError(this, QStringLiteral("Der Ordner \"%1\" konnte nicht erstellt werden.").arg(folder));
    }
    return created;
}
