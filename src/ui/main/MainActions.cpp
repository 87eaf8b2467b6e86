// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/main/MainActions.h"

#include <QAction>
#include <QActionGroup>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QWidget>

#include "ui/main/MessageBoxes.h"

namespace {

const char* const kPageCaptions[kPageCount] = {"Übersicht", "Objekte", "Clients", "Benutzer", "Scriptus", "Protokoll"};

} // namespace

TMainActions::TMainActions(QWidget* window) : QObject(window), m_window(window)
{
    FileAppendObject = Make("ActionFileAppendObject", QStringLiteral("Neu..."), QKeySequence(Qt::ALT | Qt::Key_N));
    FileOpenObject = Make("ActionFileOpenObject", QStringLiteral("Objekt öffnen"));
    FileExploreObject = Make("ActionFileExploreObject", QStringLiteral("Im Explorer öffnen"));
    FileOpenScriptus = Make("ActionFileOpenScriptus", QStringLiteral("Skriptus öffnen..."));
    FileSaveScriptus = Make("ActionFileSaveScriptus", QStringLiteral("Skriptus speichern"));
    FileSaveScriptusAs = Make("ActionFileSaveScriptusAs", QStringLiteral("Speichern unter..."));
    FileExit = Make("ActionFileExit", QStringLiteral("Beenden"), QKeySequence(Qt::ALT | Qt::Key_X));

    EditCut = Make("ActionEditCut", QStringLiteral("&Ausschneiden"), QKeySequence(Qt::CTRL | Qt::Key_X));
    EditCopy = Make("ActionEditCopy", QStringLiteral("&Kopieren"), QKeySequence(Qt::CTRL | Qt::Key_C));
    EditPaste = Make("ActionEditPaste", QStringLiteral("&Einfügen"), QKeySequence(Qt::CTRL | Qt::Key_V));
    ObjectDelete = Make("ActionObjectDelete", QStringLiteral("Objekt entfernen"), QKeySequence(Qt::Key_Delete));
    ObjectProperties = Make("ActionObjectProperties", QStringLiteral("Eigenschaften..."), QKeySequence(Qt::Key_F2));
    ObjectShowAll = Make("ActionObjectShowAll", QStringLiteral("Alle Objekte zeigen"));
    ObjectShowCurrentClients = Make("ActionObjectShowCurrentClients", QStringLiteral("Alle aktuellen Clients zeigen"));
    ObjectReverseSearch = Make("ActionObjectReverseSearch", QStringLiteral("Suche umkehren"), {}, true);

    for (int page = 0; page < kPageCount; ++page)
        ViewPage[page] = Make(QStringLiteral("ActionViewPage%1").arg(page).toLatin1().constData(),
                              QString::fromUtf8(kPageCaptions[page]), QKeySequence(Qt::SHIFT | (Qt::Key_F1 + page)));
    ViewRefresh = Make("ActionViewRefresh", QStringLiteral("Listen aktualisieren"), QKeySequence(Qt::Key_F5));
    ViewSymbols = Make("ActionViewSymbols", QStringLiteral("Symbole"), {}, true);
    ViewDetails = Make("ActionViewDetails", QStringLiteral("Details"), {}, true);
    ViewListStyle = Make("ActionViewListStyle", QStringLiteral("Listendarstellung ändern"));
    ViewUp = Make("ActionViewUp", QStringLiteral("Aufwärts"));
    ViewFilter = Make("ActionViewFilter", QStringLiteral("Liste filtern"), QKeySequence(Qt::CTRL | Qt::Key_F));

    ClientWakeUp = Make("ActionClientWakeUp", QStringLiteral("Computer anschalten"));
    ClientSendMessage = Make("ActionClientSendMessage", QStringLiteral("Nachricht schicken"));
    ClientPhoneHome = Make("ActionClientPhoneHome", QStringLiteral("Rückruf anfordern"));
    ClientTerminate = Make("ActionClientTerminate", QStringLiteral("Beenden"));
    ClientDeinstall = Make("ActionClientDeinstall", QStringLiteral("Deinstallieren"));
    ClientShowAll = Make("ActionClientShowAll", QStringLiteral("Alle Clients zeigen"));
    ClientShowCurrentObjects = Make("ActionClientShowCurrentObjects", QStringLiteral("Alle aktuellen Objekte zeigen"));
    ClientReverseSearch = Make("ActionClientReverseSearch", QStringLiteral("Suche umkehren"), {}, true);
    ClientDelete = Make("ActionClientDelete", QStringLiteral("Entfernen"), QKeySequence(Qt::Key_Delete));
    ClientProperties = Make("ActionClientProperties", QStringLiteral("Eigenschaften..."), QKeySequence(Qt::Key_F2));
    TreeAddNode = Make("ActionTreeAddNode", QStringLiteral("Knoten hinzufügen"));

    ServerSearch = Make("ActionServerSearch", QStringLiteral("Suchen"));
    ServerConnect = Make("ActionServerConnect", QStringLiteral("Neue Objekte installieren"), QKeySequence(Qt::Key_F9));

    ScriptusLeftClick = Make("ActionScriptusLeftClick", QStringLiteral("Linke Maustaste klicken"));
    ScriptusLeftDoubleClick = Make("ActionScriptusLeftDoubleClick", QStringLiteral("Linke Maustaste doppelklicken"));
    ScriptusRightClick = Make("ActionScriptusRightClick", QStringLiteral("Rechte Maustaste klicken"));
    ScriptusCheck = Make("ActionScriptusCheck", QStringLiteral("Alternativschaltfläche aktivieren"));
    ScriptusUncheck = Make("ActionScriptusUncheck", QStringLiteral("Alternativschaltfläche deaktivieren"));
    ScriptusSetText = Make("ActionScriptusSetText", QStringLiteral("Feldtext eingeben"));
    ScriptusSelectString = Make("ActionScriptusSelectString", QStringLiteral("Listentext auswählen"));
    ScriptusShow = Make("ActionScriptusShow", QStringLiteral("Sichtbar machen"));
    ScriptusBringToTop = Make("ActionScriptusBringToTop", QStringLiteral("In den Vordergrund bringen"));
    ScriptusClose = Make("ActionScriptusClose", QStringLiteral("Kontrollelement beenden"));
    ScriptusStartProgram = Make("ActionScriptusStartProgram", QStringLiteral("Externe Anwendung starten"));
    ScriptusWait = Make("ActionScriptusWait", QStringLiteral("Zeit in Sekunden warten"));
    ScriptusRun = Make("ActionScriptusRun", QStringLiteral("Skript ausführen"));
    ScriptusLogAll = Make("ActionScriptusLogAll", QStringLiteral("Alle Nachrichten protokollieren"), {}, true);
    ScriptusVisibleOnly =
        Make("ActionScriptusVisibleOnly", QStringLiteral("Nur sichtbare Kontrollelemente anzeigen"), {}, true);
    ScriptusCancel = Make("ActionScriptusCancel", QStringLiteral("Abbrechen"));
    ScriptusEntryFirst = Make("ActionScriptusEntryFirst", QStringLiteral("Eintrag nach oben"));
    ScriptusEntryUp = Make("ActionScriptusEntryUp", QStringLiteral("Eintrag eins nach oben"));
    ScriptusEntryDown = Make("ActionScriptusEntryDown", QStringLiteral("Eintrag eins nach unten"));
    ScriptusEntryLast = Make("ActionScriptusEntryLast", QStringLiteral("Eintrag nach unten"));
    ScriptusEntryMove = Make("ActionScriptusEntryMove", QStringLiteral("Eintrag verschieben"));
    ScriptusListClear = Make("ActionScriptusListClear", QStringLiteral("Liste löschen"));
    ScriptusEntryDelete = Make("ActionScriptusEntryDelete", QStringLiteral("Eintrag löschen"));
    ScriptusEntryProperties =
        Make("ActionScriptusEntryProperties", QStringLiteral("Eigenschaften..."), QKeySequence(Qt::Key_F2));

    ExtrasConnection = Make("ActionExtrasConnection", QStringLiteral("Verbindungsdaten..."));
    ExtrasOptions =
        Make("ActionExtrasOptions", QStringLiteral("Optionen..."), QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_F11));
    HelpContents = Make("ActionHelpContents", QStringLiteral("Plenwick-Hilfe..."), QKeySequence(Qt::Key_F1));
    HelpAbout = Make("ActionHelpAbout", QStringLiteral("Info..."));

    ProtocolClear = Make("ActionProtocolClear", QStringLiteral("Liste löschen"));
    ProtocolExport = Make("ActionProtocolExport", QStringLiteral("Liste exportieren"));
    ProtocolReverse = Make("ActionProtocolReverse", QStringLiteral("Liste umgekehrt sortieren"), {}, true);
    TrayOpen = Make("ActionTrayOpen", QStringLiteral("Öffnen..."));

    m_styleGroup = new QActionGroup(this);
    m_styleGroup->addAction(ViewSymbols);
    m_styleGroup->addAction(ViewDetails);

    // Without behaviour by design: the menu shows them, nothing enables them.
    Handle(ClientWakeUp, [] {});
    Handle(ClientSendMessage, [] {});
    Handle(ScriptusCancel, [] {});
    // The recording reads the check mark; toggling it is all there is to do.
    Handle(ScriptusLogAll, [] {});

    BuildMenus();
}

QAction* TMainActions::Make(const char* objectName, const QString& caption, const QKeySequence& key, bool checkable)
{
    auto* action = new QAction(caption, m_window);
    action->setObjectName(QString::fromLatin1(objectName));
    action->setShortcut(key);
    action->setCheckable(checkable);
    // Menus read their accessible name from the text without the mnemonic.
    action->setToolTip(QString(caption).remove(QLatin1Char('&')));
    m_window->addAction(action);
    connect(action, &QAction::triggered, this, [this, action] { Run(action); });
    m_all.push_back(action);
    return action;
}

void TMainActions::Handle(QAction* action, THandler handler)
{
    m_handlers[action] = std::move(handler);
}

void TMainActions::AddStateSource(TStateSource source)
{
    m_sources.push_back(std::move(source));
}

void TMainActions::Run(QAction* action)
{
    const auto found = m_handlers.find(action);
    if (found == m_handlers.end()) {
        NotThereYet(action);
        return;
    }
    if (found->second)
        found->second();
}

void TMainActions::NotThereYet(QAction* action)
{
    ShowMessageBox(m_window, QMessageBox::Information,
                   QStringLiteral("Die Funktion \"%1\" ist noch nicht verfügbar.")
                       .arg(QString(action->text()).remove(QLatin1Char('&'))));
}

QAction* TMainActions::Find(const QString& objectName) const
{
    for (QAction* action : m_all)
        if (action->objectName() == objectName)
            return action;
    return nullptr;
}

void TMainActions::BindToWidget(QAction* action, QWidget* widget)
{
    action->setShortcutContext(Qt::WidgetWithChildrenShortcut);
    // Left on the whole window as well, the key would be ambiguous there.
    if (auto* window = qobject_cast<QWidget*>(action->parent()); window != nullptr && window != widget)
        window->removeAction(action);
    widget->addAction(action);
}

void TMainActions::Refresh()
{
    Update(m_provider ? m_provider() : m_state);
}

void TMainActions::Update(TActionState s)
{
    for (const TStateSource& source : m_sources)
        source(s);
    m_state = s;
    const bool objectsPage = s.activePage == TPage::Objects;
    const bool scriptusPage = s.activePage == TPage::Scriptus;
    // What builds views, changes a list or starts a session waits for the lists.
    const bool lists = s.listsRead;

    FileAppendObject->setEnabled(s.master && lists);
    FileOpenObject->setEnabled(s.objectSelected);
    FileExploreObject->setEnabled(s.objectSelected);
    FileExit->setEnabled(s.idle);
    EditPaste->setEnabled(s.clipboardHasFiles && s.master && lists);
    const bool objectEdit = s.idle && s.master && s.objectSelected && objectsPage;
    ObjectDelete->setEnabled(objectEdit);
    ObjectProperties->setEnabled(objectEdit);
    ObjectShowAll->setEnabled(s.objectListFiltered && lists);
    ObjectReverseSearch->setEnabled(lists);
    ObjectShowCurrentClients->setEnabled(s.objectSelected && !s.objectListEmpty);

    ViewPage[int(TPage::Users)]->setVisible(s.master);
    ViewPage[int(TPage::Scriptus)]->setVisible(s.master);
    ViewPage[int(TPage::Protocol)]->setVisible(s.showProtocol);
    ViewPage[int(TPage::Protocol)]->setEnabled(s.showProtocol);
    const bool listPage =
        s.activePage == TPage::Objects || s.activePage == TPage::Clients || s.activePage == TPage::Users;
    ViewSymbols->setEnabled(listPage && lists);
    ViewDetails->setEnabled(listPage && lists);
    ViewListStyle->setEnabled(listPage && lists);
    ViewSymbols->setChecked(listPage && s.listStyle == 0);
    ViewDetails->setChecked(listPage && s.listStyle == 3);
    ViewUp->setEnabled((s.activePage == TPage::Objects || s.activePage == TPage::Clients) && lists);
    ViewRefresh->setEnabled(lists);
    ViewFilter->setEnabled(listPage);

    ClientWakeUp->setEnabled(false);
    ClientSendMessage->setEnabled(false);
    const bool remote = s.idle && s.clientSelected;
    ClientPhoneHome->setEnabled(remote);
    ClientTerminate->setEnabled(remote);
    ClientDeinstall->setEnabled(remote);
    ClientShowAll->setEnabled(s.clientListFiltered && lists);
    ClientReverseSearch->setEnabled(lists);
    ClientShowCurrentObjects->setEnabled(s.clientSelected && !s.objectListEmpty);
    ClientDelete->setEnabled(s.clientSelected);
    ClientProperties->setEnabled(s.clientSelected);

    ServerConnect->setEnabled(s.idle && lists);
    // Its answers come to the listeners, which start with the lists.
    ServerSearch->setEnabled(lists);

    const bool controlCommand = scriptusPage && s.scriptusControlSelected;
    for (QAction* command : {ScriptusLeftClick, ScriptusLeftDoubleClick, ScriptusRightClick, ScriptusCheck,
                             ScriptusUncheck, ScriptusSetText, ScriptusSelectString, ScriptusBringToTop, ScriptusClose})
        command->setEnabled(controlCommand);
    ScriptusShow->setEnabled(controlCommand && !s.showVisibleControlsOnly);
    ScriptusStartProgram->setEnabled(scriptusPage);
    ScriptusWait->setEnabled(scriptusPage);
    ScriptusRun->setEnabled(scriptusPage && s.scriptusListHasRows);
    ScriptusVisibleOnly->setChecked(s.showVisibleControlsOnly);
    const bool reorder = s.scriptusActiveListRows >= 2 && s.scriptusActiveListSelection;
    for (QAction* move : {ScriptusEntryFirst, ScriptusEntryUp, ScriptusEntryDown, ScriptusEntryLast})
        move->setEnabled(reorder);
    ScriptusEntryMove->setEnabled(s.scriptusActiveListSelection);
    ScriptusEntryDelete->setEnabled(s.scriptusActiveListSelection);
    ScriptusListClear->setEnabled(s.scriptusActiveListRows > 0);
    ScriptusEntryProperties->setEnabled(s.scriptusActiveListSelection);

    ProtocolClear->setEnabled(s.protocolRows > 0);
    ProtocolExport->setEnabled(s.protocolRows > 0);
    ProtocolReverse->setChecked(s.protocolLastToFirst);
}

void TMainActions::FillMenu(QMenu* menu, std::initializer_list<QAction*> actions)
{
    menu->setAccessibleName(QString(menu->title()).remove(QLatin1Char('&')));
    for (QAction* action : actions) {
        if (action == nullptr)
            menu->addSeparator();
        else
            menu->addAction(action);
    }
    // Enabled rules are worked out anew whenever a menu opens.
    connect(menu, &QMenu::aboutToShow, this, &TMainActions::Refresh);
}

void TMainActions::BuildMenus()
{
    auto menu = [this](const QString& title, std::initializer_list<QAction*> actions) {
        auto* m = new QMenu(title, m_window);
        FillMenu(m, actions);
        return m;
    };
    m_objectListMenu = menu(QStringLiteral("Objekte"),
                            {FileAppendObject, FileOpenObject, FileExploreObject, nullptr, ObjectShowAll,
                             ObjectShowCurrentClients, ObjectReverseSearch, nullptr, ObjectDelete, ObjectProperties});
    m_clientListMenu =
        menu(QStringLiteral("Clients"),
             {ClientWakeUp, ClientSendMessage, nullptr, ClientPhoneHome, ClientTerminate, ClientDeinstall, nullptr,
              ClientShowAll, ClientShowCurrentObjects, ClientReverseSearch, nullptr, ClientDelete, ClientProperties});
    m_treeMenu = menu(QStringLiteral("Baum"), {TreeAddNode});
    m_scriptusTreeMenu =
        menu(QStringLiteral("Kontrollelemente"),
             {ScriptusLeftClick, ScriptusLeftDoubleClick, ScriptusRightClick, ScriptusCheck, ScriptusUncheck,
              ScriptusSetText, ScriptusSelectString, ScriptusShow, ScriptusBringToTop, ScriptusClose,
              ScriptusStartProgram, ScriptusWait, nullptr, ScriptusVisibleOnly, nullptr, ScriptusCancel});
    m_scriptusListMenu =
        menu(QStringLiteral("Skriptus-Liste"),
             {ScriptusRun, nullptr, ScriptusEntryFirst, ScriptusEntryUp, ScriptusEntryDown, ScriptusEntryLast,
              ScriptusEntryMove, nullptr, ScriptusListClear, ScriptusEntryDelete, nullptr, ScriptusEntryProperties});
    m_scriptusListMenu->setDefaultAction(ScriptusEntryProperties);
    m_protocolMenu = menu(QStringLiteral("Protokoll"), {ProtocolClear, ProtocolExport, nullptr, ProtocolReverse});
    m_trayMenu = menu(QStringLiteral("Plenwick"),
                      {TrayOpen, nullptr, HelpContents, ServerConnect, ExtrasOptions, nullptr, FileExit});
    m_trayMenu->setDefaultAction(TrayOpen);
    m_listStyleMenu = menu(QStringLiteral("Listendarstellung ändern"), {ViewSymbols, ViewDetails});
    ViewListStyle->setMenu(m_listStyleMenu);
}

void TMainActions::FillMenuBar(QMenuBar* bar)
{
    auto add = [this, bar](const QString& title, std::initializer_list<QAction*> actions) {
        FillMenu(bar->addMenu(title), actions);
    };
    add(QStringLiteral("&Datei"), {FileAppendObject, FileOpenObject, FileExploreObject, nullptr, FileOpenScriptus,
                                   FileSaveScriptus, FileSaveScriptusAs, nullptr, FileExit});
    add(QStringLiteral("&Bearbeiten"), {EditCut, EditCopy, EditPaste, nullptr, ObjectDelete, ObjectProperties, nullptr,
                                        ObjectShowAll, ObjectShowCurrentClients, ObjectReverseSearch});
    add(QStringLiteral("&Ansicht"), {ViewPage[0], ViewPage[1], ViewPage[2], ViewPage[3], ViewPage[4], ViewPage[5],
                                     nullptr, ViewRefresh, nullptr, ViewSymbols, ViewDetails, ViewUp, ViewFilter});
    add(QStringLiteral("&Client"),
        {ClientWakeUp, ClientSendMessage, nullptr, ClientPhoneHome, ClientTerminate, ClientDeinstall, nullptr,
         ClientShowAll, ClientShowCurrentObjects, ClientReverseSearch, nullptr, ClientDelete, ClientProperties});
    add(QStringLiteral("Ser&ver"), {ServerSearch, ServerConnect});
    add(QStringLiteral("&Skriptus"),
        {ScriptusLeftClick, ScriptusLeftDoubleClick, ScriptusRightClick, ScriptusCheck, ScriptusUncheck,
         ScriptusSetText, ScriptusSelectString, ScriptusShow, ScriptusBringToTop, ScriptusClose, ScriptusStartProgram,
         ScriptusWait, nullptr, ScriptusRun, ScriptusLogAll});
    add(QStringLiteral("&Extras"), {ExtrasConnection, ExtrasOptions});
    add(QStringLiteral("&Hilfe"), {HelpContents, HelpAbout});
}
