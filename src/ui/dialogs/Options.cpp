// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/dialogs/Options.h"

#include <climits>
#include <optional>

#include <QApplication>
#include <QCheckBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QShowEvent>
#include <QTabWidget>
#include <QToolButton>
#include <QVBoxLayout>

#include "foundation/MainConfig.h"
#include "foundation/PoolInterlocked.h"
#include "foundation/PoolServices.h"
#include "foundation/PoolSystem.h"
#include "platform/ProgramPaths.h"
#include "ui/dialogs/DialogSupport.h"

namespace {

constexpr int kMsPerMinute = 60000;
constexpr int kMsPerSecond = 1000;

enum TPage {
    PageClient,
    PageServer,
    PageNetwork,
    PageScriptus,
    PageMisc
};

const char* const kPageNames[] = {"Client", "Server", "Netzwerk", "Skriptus", "Diverses"};

TConfig& Config()
{
    return MainConfig();
}

/// The integer an edit holds, when it is one within [min, max].
std::optional<int> IntegerIn(const QLineEdit* edit, int min, int max)
{
    bool ok = false;
    const qlonglong value = edit->text().trimmed().toLongLong(&ok);
    if (!ok || value < min || value > max)
        return std::nullopt;
    return static_cast<int>(value);
}

QString Text(const QString& key)
{
    return Config().GetString(key);
}

} // namespace

TPagesDlgOptions::TPagesDlgOptions(QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("PagesDlgOptions"));
    setWindowTitle(QStringLiteral("Optionen"));
    setModal(true);

    m_pages = new QTabWidget(this);
    m_pages->setObjectName(QStringLiteral("PageControl"));
    m_pages->addTab(BuildClientPage(), QStringLiteral("Client"));
    m_pages->addTab(BuildServerPage(), QStringLiteral("Server"));
    m_pages->addTab(BuildNetworkPage(), QStringLiteral("Netzwerk"));
    m_pages->addTab(BuildScriptusPage(), QStringLiteral("Skriptus"));
    m_pages->addTab(BuildMiscPage(), QStringLiteral("Diverses"));

    auto* buttons = new QDialogButtonBox(this);
    m_okBtn = buttons->addButton(QStringLiteral("OK"), QDialogButtonBox::AcceptRole);
    NameControl(m_okBtn, QStringLiteral("OKBtn"), QStringLiteral("OK"));
    m_okBtn->setDefault(true);
    m_cancelBtn = buttons->addButton(QStringLiteral("Abbrechen"), QDialogButtonBox::RejectRole);
    NameControl(m_cancelBtn, QStringLiteral("CancelBtn"), QStringLiteral("Abbrechen"));
    connect(buttons, &QDialogButtonBox::accepted, this, &TPagesDlgOptions::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &TPagesDlgOptions::reject);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_pages);
    layout->addWidget(buttons);

    connect(Check(QStringLiteral("CheckBoxClientAutoInstall")), &QCheckBox::clicked, this,
            &TPagesDlgOptions::ApplyEnabling);
    Fill();
}

QLineEdit* TPagesDlgOptions::AddEdit(QWidget* page, const QString& objectName, const QString& caption)
{
    return AddEditRow(static_cast<QFormLayout*>(page->layout()), objectName, caption);
}

QCheckBox* TPagesDlgOptions::AddCheck(QWidget* page, const QString& objectName, const QString& caption)
{
    auto* box = new QCheckBox(caption, page);
    NameControl(box, objectName, caption);
    static_cast<QFormLayout*>(page->layout())->addRow(box);
    return box;
}

namespace {

QWidget* NewPage(const QString& objectName)
{
    auto* page = new QWidget;
    page->setObjectName(objectName);
    new QFormLayout(page);
    return page;
}

void AddNote(QWidget* page, const QString& text)
{
    auto* note = new QLabel(text, page);
    note->setWordWrap(true);
    static_cast<QFormLayout*>(page->layout())->addRow(note);
}

} // namespace

QWidget* TPagesDlgOptions::BuildClientPage()
{
    QWidget* page = NewPage(QStringLiteral("TabSheetClient"));
    AddCheck(page, QStringLiteral("CheckBoxClientAutoInstall"),
             QStringLiteral("Existenz neuer Objekte auf dem Master-Server automatisch prüfen"));
    AddEdit(page, QStringLiteral("EditClientUpdateInterval"), QStringLiteral("&Intervall"))
        ->setToolTip(QStringLiteral("(in Minuten)"));
    AddNote(page, QStringLiteral("(in Minuten)"));
    AddCheck(page, QStringLiteral("CheckBoxClientSilentInstall"), QStringLiteral("Neue Objekte &lautlos installieren"));
    AddEdit(page, QStringLiteral("EditClientInputWaitTime"), QStringLiteral("&Wartezeit"));
    AddNote(page, QStringLiteral("(Timeout in Sekunden)"));
    AddCheck(page, QStringLiteral("CheckBoxClientObjectBroadcast"), QStringLiteral("Aktuelle Objekte finden"));
    AddCheck(page, QStringLiteral("CheckBoxQueryMissingObjects"),
             QStringLiteral("Gelöschte Ordnerstrukturobjekte berücksichtigen"));
    AddCheck(page, QStringLiteral("CheckBoxDeleteEmptyDirs"), QStringLiteral("Leere Ordner löschen"));
    return page;
}

QWidget* TPagesDlgOptions::BuildServerPage()
{
    QWidget* page = NewPage(QStringLiteral("TabSheetServer"));
    const auto addFolder = [&](const QString& editName, const QString& caption, const QString& buttonName,
                               const QString& chooserCaption) {
        QLineEdit* edit = AddEdit(page, editName, caption);
        QToolButton* button = AddChooser(edit, buttonName, chooserCaption);
        button->setToolTip(chooserCaption);
        connect(button, &QToolButton::clicked, this, [this, edit, chooserCaption] {
            const QString folder = ChooseFolder(this, chooserCaption, edit->text());
            if (!folder.isEmpty())
                edit->setText(folder);
        });
    };
    addFolder(QStringLiteral("EditObjectDir"), QStringLiteral("&Objektordner"),
              QStringLiteral("ButtonChooseDirObjects"), QStringLiteral("Neuen Standardordner für Objekte wählen"));
    addFolder(QStringLiteral("EditScriptusDir"), QStringLiteral("&Skriptusordner"),
              QStringLiteral("ButtonChooseDirScriptus"),
              QStringLiteral("Neuen Standardordner für Skriptus-Definitionen wählen"));
    AddCheck(page, QStringLiteral("CheckBoxUseDNSCache"), QStringLiteral("DNS-Cache verwenden"));
    AddCheck(page, QStringLiteral("CheckBoxAllowPlainClients"),
             QStringLiteral("Unverschlüsselte Clients älterer Versionen zulassen"));
    AddCheck(page, QStringLiteral("CheckBoxEncodeData"), QStringLiteral("Objekte verschlüsselt übertragen"));
    AddCheck(page, QStringLiteral("CheckBoxCompressData"), QStringLiteral("Objekte komprimiert übertragen"));
    AddCheck(page, QStringLiteral("CheckBoxOfferNewerObjects"), QStringLiteral("Nur neuere Objekte anbieten"));
    AddCheck(page, QStringLiteral("CheckBoxAllowAnonymousUsers"), QStringLiteral("Anonyme Anmeldungen zulassen"));
    AddCheck(page, QStringLiteral("CheckBoxAdminAccountUse"), QStringLiteral("Administrative Anmeldung verwenden"));
    AddEdit(page, QStringLiteral("EditAdminAccountUsername"), QStringLiteral("Benutzer&name"));
    AddEdit(page, QStringLiteral("EditAdminAccountPassword"), QStringLiteral("Kennw&ort"))
        ->setEchoMode(QLineEdit::Password);
    return page;
}

QWidget* TPagesDlgOptions::BuildNetworkPage()
{
    QWidget* page = NewPage(QStringLiteral("TabSheetNetwork"));
    AddEdit(page, QStringLiteral("EditServer"), QStringLiteral("&Name"));
    AddEdit(page, QStringLiteral("EditServerPort"), QStringLiteral("&Port"));
    AddEdit(page, QStringLiteral("EditGeneralTimeout"), QStringLiteral("&Wartezeit"));
    AddNote(page, QStringLiteral("(Timeout in Millisekunden)"));
    AddNote(page, QStringLiteral("Es wird ein Wert von mindestens 10.000 Millisekunden (zehn Sekunden) empfohlen, um "
                                 "unerwartete Verbindungsabbrüche zu vermeiden."));
    AddEdit(page, QStringLiteral("EditMaxSessions"), QStringLiteral("&Verbindungen höchstens"));
    AddEdit(page, QStringLiteral("EditMaxSessionsPerAddress"), QStringLiteral("davon je &Adresse"));
    return page;
}

QWidget* TPagesDlgOptions::BuildScriptusPage()
{
    QWidget* page = NewPage(QStringLiteral("TabSheetScriptus"));
    AddEdit(page, QStringLiteral("EditScriptusTimeout"), QStringLiteral("&Wartezeit"));
    AddNote(page, QStringLiteral("(Timeout in Sekunden)"));
    AddEdit(page, QStringLiteral("EditScriptusRetries"), QStringLiteral("&Versuche"));
    AddNote(page, QStringLiteral("(wird dynamisch ermittelt)"));
    AddCheck(page, QStringLiteral("CheckBoxScriptusControlIdInPath"),
             QStringLiteral("Kontroll-Identifikation in den Pfad einbeziehen"));
    AddNote(page, QStringLiteral("In bestimmten Situationen lassen sich Kontrollelemente ausschließlich durch "
                                 "Einbeziehung der Kontroll-Identifikation (Control-Id) differenzieren. Nach Änderung "
                                 "dieser Einstellung muss der Kontrollelementebaum neu aufgebaut werden."));
    AddCheck(page, QStringLiteral("CheckBoxScriptusExcludeFileNameFromPath"),
             QStringLiteral("Dateiname vom Pfad ausschließen"));
    AddNote(page, QStringLiteral("In bestimmten Situationen lässt sich der Name der Datei, in dem ein Kontrollelement "
                                 "enthalten ist, nicht ermitteln. Nach Änderung dieser Einstellung muss der "
                                 "Kontrollelementebaum neu aufgebaut werden."));
    return page;
}

QWidget* TPagesDlgOptions::BuildMiscPage()
{
    QWidget* page = NewPage(QStringLiteral("TabSheetMisc"));
    AddCheck(page, QStringLiteral("CheckBoxStartMinimized"), QStringLiteral("Anwendung minimiert starten"));
    AddCheck(page, QStringLiteral("CheckBoxAutostart"),
             QStringLiteral("Anwendung beim Systemstart automatisch ausführen"));
    AddCheck(page, QStringLiteral("CheckBoxChangeToOverview"),
             QStringLiteral("Zum Übersichtsreiter wechseln, wenn neue Meldung erscheint"));
    AddCheck(page, QStringLiteral("CheckBoxShowProtocol"), QStringLiteral("Protokollreiter zeigen"));
    AddCheck(page, QStringLiteral("CheckBoxActivateSounds"), QStringLiteral("Warnsignale aktivieren"));
    AddCheck(page, QStringLiteral("CheckBoxShowNonPersistent"), QStringLiteral("Alle Ordnerstrukturobjekte anzeigen"));
    AddCheck(page, QStringLiteral("CheckBoxWriteProtocolToFile"), QStringLiteral("Protokoll in Datei schreiben"));
    return page;
}

QLineEdit* TPagesDlgOptions::Edit(const QString& objectName) const
{
    return findChild<QLineEdit*>(objectName);
}

QCheckBox* TPagesDlgOptions::Check(const QString& objectName) const
{
    return findChild<QCheckBox*>(objectName);
}

// Only when shown: Qt activates the dialog again whenever a folder chooser
// closes, and filling then would throw away the chosen folder and every edit.
void TPagesDlgOptions::showEvent(QShowEvent* event)
{
    if (!event->spontaneous())
        Fill();
    QDialog::showEvent(event);
}

void TPagesDlgOptions::Fill()
{
    TConfig& c = Config();
    const auto setCheck = [this, &c](const char* control, const char* key) {
        Check(QLatin1String(control))->setChecked(c.GetBoolean(QLatin1String(key)));
    };
    const auto setText = [this](const char* control, const QString& text) {
        Edit(QLatin1String(control))->setText(text);
    };

    setCheck("CheckBoxClientAutoInstall", "ClientAutoInstall");
    m_storedIntervalMs = c.GetInteger(QStringLiteral("ClientUpdateIntervalInMillisecs"));
    m_shownIntervalMinutes = m_storedIntervalMs / kMsPerMinute;
    setText("EditClientUpdateInterval", QString::number(m_shownIntervalMinutes));
    setCheck("CheckBoxClientSilentInstall", "ClientSilentInstall");
    setText("EditClientInputWaitTime", QString::number(c.GetInteger(QStringLiteral("ClientInputWaitTimeInSecs"))));
    setCheck("CheckBoxClientObjectBroadcast", "ClientFindObjectsOverBroadcast");
    setCheck("CheckBoxQueryMissingObjects", "ClientQueryMissingObjects");
    setCheck("CheckBoxDeleteEmptyDirs", "ClientDeleteEmptyDirs");

    setText("EditObjectDir", Text(QStringLiteral("ServerObjectDir")));
    setText("EditScriptusDir", Text(QStringLiteral("ServerScriptusDir")));
    setCheck("CheckBoxUseDNSCache", "NetDNSCache");
    setCheck("CheckBoxAllowPlainClients", "NetAllowPlainClients");
    setCheck("CheckBoxEncodeData", "ServerEncodeData");
    setCheck("CheckBoxCompressData", "ServerCompressData");
    setCheck("CheckBoxOfferNewerObjects", "ServerOfferNewerObjects");
    setCheck("CheckBoxAllowAnonymousUsers", "ServerAllowAnonymousUsers");
    setCheck("CheckBoxAdminAccountUse", "ServerAdminAccountUse");
    setText("EditAdminAccountUsername", Text(QStringLiteral("ServerAdminAccountUsername")));
    setText("EditAdminAccountPassword", Text(QStringLiteral("ServerAdminAccountPassword")));

    setText("EditServer", Text(QStringLiteral("NetServerName")));
    setText("EditServerPort", QString::number(c.GetInteger(QStringLiteral("NetServerPort"))));
    setText("EditGeneralTimeout", QString::number(c.GetInteger(QStringLiteral("MiscSocketTimeout"))));
    setText("EditMaxSessions", QString::number(c.GetInteger(QStringLiteral("NetMaxSessions"))));
    setText("EditMaxSessionsPerAddress", QString::number(c.GetInteger(QStringLiteral("NetMaxSessionsPerAddress"))));

    m_storedScriptusMs = c.GetInteger(QStringLiteral("ScriptusTimeout"));
    m_shownScriptusSeconds = m_storedScriptusMs / kMsPerSecond;
    setText("EditScriptusTimeout", QString::number(m_shownScriptusSeconds));
    setText("EditScriptusRetries", QString::number(c.GetInteger(QStringLiteral("ScriptusRetries"))));
    setCheck("CheckBoxScriptusControlIdInPath", "ScriptusControlIdInPath");
    setCheck("CheckBoxScriptusExcludeFileNameFromPath", "ScriptusExcludeFilenameFromPath");

    setCheck("CheckBoxStartMinimized", "MiscStartMinimized");
    Check(QStringLiteral("CheckBoxAutostart"))
        ->setChecked(ServiceInstalled() || AutostartState(ExecutablePath()).registered);
    setCheck("CheckBoxChangeToOverview", "MiscChangeToOverview");
    setCheck("CheckBoxShowProtocol", "MiscShowProtocol");
    setCheck("CheckBoxActivateSounds", "MiscActivateSounds");
    setCheck("CheckBoxShowNonPersistent", "MiscShowNonPersistent");
    setCheck("CheckBoxWriteProtocolToFile", "MiscWriteProtocolToFile");

    m_master = IsMasterServer();
    m_pages->setTabVisible(PageServer, m_master);
    ApplyEnabling();
}

void TPagesDlgOptions::ApplyEnabling()
{
    const bool autoInstall = Check(QStringLiteral("CheckBoxClientAutoInstall"))->isChecked();
    Edit(QStringLiteral("EditClientUpdateInterval"))->setEnabled(autoInstall);
    Check(QStringLiteral("CheckBoxClientSilentInstall"))->setEnabled(autoInstall);
    for (const char* name : {"EditObjectDir", "EditScriptusDir"})
        Edit(QLatin1String(name))->setReadOnly(!m_master);
    findChild<QToolButton*>(QStringLiteral("ButtonChooseDirObjects"))->setEnabled(m_master);
    findChild<QToolButton*>(QStringLiteral("ButtonChooseDirScriptus"))->setEnabled(m_master);
    Check(QStringLiteral("CheckBoxAllowAnonymousUsers"))->setEnabled(false);
    Edit(QStringLiteral("EditScriptusRetries"))->setEnabled(false);
}

void TPagesDlgOptions::accept()
{
    if (Store())
        QDialog::accept();
    else
        QDialog::reject();
}

bool TPagesDlgOptions::Store()
{
    bool valid = true;
    const std::pair<TPage, bool (TPagesDlgOptions::*)()> pages[] = {
        {PageClient, &TPagesDlgOptions::StoreClientPage},
        {PageServer, &TPagesDlgOptions::StoreServerPage},
        {PageNetwork, &TPagesDlgOptions::StoreNetworkPage},
        {PageScriptus, &TPagesDlgOptions::StoreScriptusPage},
        {PageMisc, &TPagesDlgOptions::StoreMiscPage}};
    for (const auto& [page, store] : pages) {
        if ((this->*store)())
            continue;
        valid = false;
        ShowError(this, QStringLiteral("Es wurden keine gültigen Daten in die Registerkarte \"%1\" eingetragen.")
                            .arg(QLatin1String(kPageNames[page])));
    }
    return valid && SaveOptionsFile(this);
}

// Each page checks all its numbers before it stores anything, so that a
// failed page leaves nothing of itself half-stored for a later save to write.

bool TPagesDlgOptions::StoreClientPage()
{
    const auto minutes = IntegerIn(Edit(QStringLiteral("EditClientUpdateInterval")), 1, INT_MAX / kMsPerMinute);
    const bool intervalUnchanged =
        Edit(QStringLiteral("EditClientUpdateInterval"))->text().trimmed() == QString::number(m_shownIntervalMinutes);
    const auto waitTime = IntegerIn(Edit(QStringLiteral("EditClientInputWaitTime")), 0, INT_MAX);
    if ((!minutes && !intervalUnchanged) || !waitTime)
        return false;
    TConfig& c = Config();
    c.Set(QStringLiteral("ClientAutoInstall"), Check(QStringLiteral("CheckBoxClientAutoInstall"))->isChecked());
    c.Set(QStringLiteral("ClientUpdateIntervalInMillisecs"),
          intervalUnchanged ? m_storedIntervalMs : *minutes * kMsPerMinute);
    c.Set(QStringLiteral("ClientSilentInstall"), Check(QStringLiteral("CheckBoxClientSilentInstall"))->isChecked());
    c.Set(QStringLiteral("ClientInputWaitTimeInSecs"), *waitTime);
    c.Set(QStringLiteral("ClientFindObjectsOverBroadcast"),
          Check(QStringLiteral("CheckBoxClientObjectBroadcast"))->isChecked());
    c.Set(QStringLiteral("ClientQueryMissingObjects"),
          Check(QStringLiteral("CheckBoxQueryMissingObjects"))->isChecked());
    c.Set(QStringLiteral("ClientDeleteEmptyDirs"), Check(QStringLiteral("CheckBoxDeleteEmptyDirs"))->isChecked());
    return true;
}

bool TPagesDlgOptions::StoreServerPage()
{
    TConfig& c = Config();
    c.Set(QStringLiteral("ServerObjectDir"),
          WithTrailingSeparator(Edit(QStringLiteral("EditObjectDir"))->text().trimmed()));
    c.Set(QStringLiteral("ServerScriptusDir"),
          WithTrailingSeparator(Edit(QStringLiteral("EditScriptusDir"))->text().trimmed()));
    c.Set(QStringLiteral("NetDNSCache"), Check(QStringLiteral("CheckBoxUseDNSCache"))->isChecked());
    c.Set(QStringLiteral("NetAllowPlainClients"), Check(QStringLiteral("CheckBoxAllowPlainClients"))->isChecked());
    c.Set(QStringLiteral("ServerEncodeData"), Check(QStringLiteral("CheckBoxEncodeData"))->isChecked());
    c.Set(QStringLiteral("ServerCompressData"), Check(QStringLiteral("CheckBoxCompressData"))->isChecked());
    c.Set(QStringLiteral("ServerOfferNewerObjects"), Check(QStringLiteral("CheckBoxOfferNewerObjects"))->isChecked());
    c.Set(QStringLiteral("ServerAllowAnonymousUsers"),
          Check(QStringLiteral("CheckBoxAllowAnonymousUsers"))->isChecked());
    c.Set(QStringLiteral("ServerAdminAccountUse"), Check(QStringLiteral("CheckBoxAdminAccountUse"))->isChecked());
    c.Set(QStringLiteral("ServerAdminAccountUsername"), Edit(QStringLiteral("EditAdminAccountUsername"))->text());
    c.Set(QStringLiteral("ServerAdminAccountPassword"), Edit(QStringLiteral("EditAdminAccountPassword"))->text());
    return true;
}

bool TPagesDlgOptions::StoreNetworkPage()
{
    const auto port = IntegerIn(Edit(QStringLiteral("EditServerPort")), 1, 65535);
    const auto timeout = IntegerIn(Edit(QStringLiteral("EditGeneralTimeout")), 0, INT_MAX);
    // A session is a thread and two descriptors: beyond the descriptor limit
    // the program raises itself to, more would only fail later.
    constexpr int kMostSessions = 30000;
    const auto sessions = IntegerIn(Edit(QStringLiteral("EditMaxSessions")), 1, kMostSessions);
    const auto perAddress = IntegerIn(Edit(QStringLiteral("EditMaxSessionsPerAddress")), 1, kMostSessions);
    if (!port || !timeout || !sessions || !perAddress)
        return false;
    TConfig& c = Config();
    const QString name = Edit(QStringLiteral("EditServer"))->text().trimmed();
    // Another master comes with another key: its first login pins it.
    if (name.compare(c.GetString(QStringLiteral("NetServerName")), Qt::CaseInsensitive) != 0)
        c.Set(QStringLiteral("NetServerKey"), QString());
    c.Set(QStringLiteral("NetServerName"), name);
    c.Set(QStringLiteral("NetServerPort"), *port);
    c.Set(QStringLiteral("MiscSocketTimeout"), *timeout);
    c.Set(QStringLiteral("NetMaxSessions"), *sessions);
    c.Set(QStringLiteral("NetMaxSessionsPerAddress"), *perAddress);
    return true;
}

bool TPagesDlgOptions::StoreScriptusPage()
{
    QLineEdit* timeoutEdit = Edit(QStringLiteral("EditScriptusTimeout"));
    const auto seconds = IntegerIn(timeoutEdit, 0, INT_MAX / kMsPerSecond);
    const bool timeoutUnchanged = timeoutEdit->text().trimmed() == QString::number(m_shownScriptusSeconds);
    const auto retries = IntegerIn(Edit(QStringLiteral("EditScriptusRetries")), 0, INT_MAX);
    if ((!seconds && !timeoutUnchanged) || !retries)
        return false;
    TConfig& c = Config();
    c.Set(QStringLiteral("ScriptusTimeout"), timeoutUnchanged ? m_storedScriptusMs : *seconds * kMsPerSecond);
    c.Set(QStringLiteral("ScriptusRetries"), *retries);
    c.Set(QStringLiteral("ScriptusControlIdInPath"),
          Check(QStringLiteral("CheckBoxScriptusControlIdInPath"))->isChecked());
    c.Set(QStringLiteral("ScriptusExcludeFilenameFromPath"),
          Check(QStringLiteral("CheckBoxScriptusExcludeFileNameFromPath"))->isChecked());
    return true;
}

bool TPagesDlgOptions::StoreMiscPage()
{
    TConfig& c = Config();
    c.Set(QStringLiteral("MiscStartMinimized"), Check(QStringLiteral("CheckBoxStartMinimized"))->isChecked());
    c.Set(QStringLiteral("MiscShowProtocol"), Check(QStringLiteral("CheckBoxShowProtocol"))->isChecked());
    c.Set(QStringLiteral("MiscActivateSounds"), Check(QStringLiteral("CheckBoxActivateSounds"))->isChecked());
    c.Set(QStringLiteral("MiscShowNonPersistent"), Check(QStringLiteral("CheckBoxShowNonPersistent"))->isChecked());
    c.Set(QStringLiteral("MiscWriteProtocolToFile"), Check(QStringLiteral("CheckBoxWriteProtocolToFile"))->isChecked());
    ApplyAutostart();
    c.Set(QStringLiteral("MiscChangeToOverview"), Check(QStringLiteral("CheckBoxChangeToOverview"))->isChecked());
    return true;
}

void TPagesDlgOptions::ApplyAutostart()
{
    QApplication::setOverrideCursor(Qt::WaitCursor);
    bool switchToMonitor = false;
    try {
        if (Check(QStringLiteral("CheckBoxAutostart"))->isChecked())
            switchToMonitor = RegisterForAutomaticStart();
        else if (ServiceInstalled())
            TryUninstallService();
        else
            SetAutostart(ExecutablePath(), false);
    } catch (const std::exception& error) {
        Log(QStringLiteral("Options"), QStringLiteral("Beim Eintragen des Autostarts ") + ExceptionSuffix(error));
    }
    QApplication::restoreOverrideCursor();
    if (switchToMonitor)
        SwitchToServiceMonitor(m_switchToMonitor);
}
