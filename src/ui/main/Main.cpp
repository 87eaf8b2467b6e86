// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/main/Main.h"

#include <exception>

#include <QApplication>
#include <QClipboard>
#include <QCloseEvent>
#include <QDateTime>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QHeaderView>
#include <QLocale>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QTabWidget>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <QTreeView>

#include "base/AtomicFile.h"
#include "base/Exceptions.h"
#include "foundation/MainConfig.h"
#include "foundation/PoolInterlocked.h"
#include "foundation/PoolServices.h"
#include "foundation/Quit.h"
#include "foundation/ServiceMode.h"
#include "foundation/Startup.h"
#include "platform/ProgramPaths.h"
#include "platform/ServiceManager.h"
#include "platform/ShellOpen.h"
#include "platform/VersionInfo.h"
#include "replication/Broadcast.h"
#include "replication/ClientThread.h"
#include "ui/main/IconTable.h"
#include "ui/main/MainTray.h"
#include "ui/main/MessageBoxes.h"
#include "ui/pages/PageClients.h"
#include "ui/pages/PageObjects.h"
#include "ui/pages/PageOverview.h"
#include "ui/pages/PageProtocol.h"
#include "ui/pages/PageScriptus.h"
#include "ui/pages/PageUsers.h"
#include "ui/pages/StatusPanels.h"

namespace {

constexpr int kClockMs = 1000;
constexpr int kClientUpdateMs = 60000;
constexpr int kDesignWidth = 900;
constexpr int kDesignHeight = 640;

const int kPageIcons[kPageCount] = {46, 52, 50, 19, 22, 45};

QString HelpFolderBesideExecutable()
{
    const QFileInfo executable(ExecutablePath());
    return executable.absolutePath() + QLatin1Char('/') + executable.completeBaseName() + QStringLiteral(".help");
}

bool OptionOn(const char* name)
{
    return OptionsRegistered() && MainConfig().GetBoolean(QString::fromLatin1(name));
}

} // namespace

TFormMain::TFormMain(QWidget* parent) : QMainWindow(parent), m_helpFolder(HelpFolderBesideExecutable())
{
    setObjectName(QStringLiteral("FormMain"));
    setWindowTitle(ProductName());
    resize(kDesignWidth, kDesignHeight);
    m_actions = new TMainActions(this);
    m_actions->SetStateProvider([this] { return BaseState(); });
    BuildControlBar();
    BuildPages();
    m_tray = new TMainTray(this, m_actions->TrayMenu());
    WireOwnActions();
    WireContextMenus();

    m_clock = new QTimer(this);
    m_clock->setInterval(kClockMs);
    connect(m_clock, &QTimer::timeout, this, &TFormMain::UpdateClock);
    m_clientUpdate = new QTimer(this);
    m_clientUpdate->setInterval(kClientUpdateMs);
    connect(m_clientUpdate, &QTimer::timeout, this, [this] {
        if (!m_listsReading && ActivePage() == TPage::Clients && m_viewHooks.refreshOnlineMarks)
            m_viewHooks.refreshOnlineMarks();
    });
    m_clientUpdate->start();
}

TFormMain::~TFormMain() = default;

void TFormMain::BuildControlBar()
{
    menuBar()->setAccessibleName(QStringLiteral("Hauptmenü"));
    menuBar()->setObjectName(QStringLiteral("MainMenu"));
    m_actions->FillMenuBar(menuBar());

    auto bar = [this](const QString& caption, std::initializer_list<QAction*> actions) {
        QToolBar* toolBar = addToolBar(caption);
        toolBar->setObjectName(caption);
        toolBar->setAccessibleName(caption);
        toolBar->setMovable(false);
        toolBar->setToolButtonStyle(Qt::ToolButtonIconOnly);
        for (QAction* action : actions)
            toolBar->addAction(action);
        return toolBar;
    };
    m_actions->FileAppendObject->setIcon(IconTable::Icon(52));
    m_actions->ServerConnect->setIcon(IconTable::Icon(9));
    m_actions->ObjectProperties->setIcon(IconTable::Icon(2));
    m_actions->ViewListStyle->setIcon(IconTable::Icon(29));
    m_actions->ViewUp->setIcon(IconTable::Icon(7));
    m_actions->ScriptusLeftClick->setIcon(IconTable::Icon(25));
    m_actions->ScriptusSetText->setIcon(IconTable::Icon(27));
    m_actions->ScriptusRun->setIcon(IconTable::Icon(63));
    // The main buttons say what they do; the other groups have room for pictures only.
    bar(QStringLiteral("Hauptschaltflächen"),
        {m_actions->FileAppendObject, m_actions->ServerConnect, m_actions->ObjectProperties})
        ->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    QToolBar* view = bar(QStringLiteral("Ansicht"), {m_actions->ViewListStyle, m_actions->ViewUp});
    if (auto* button = qobject_cast<QToolButton*>(view->widgetForAction(m_actions->ViewListStyle))) {
        button->setPopupMode(QToolButton::InstantPopup);
        // Triggered otherwise than by its button (a key, a screen reader): the same menu.
        m_actions->Handle(m_actions->ViewListStyle, [this, button] {
            m_actions->ListStyleMenu()->popup(button->mapToGlobal(QPoint(0, button->height())));
        });
    }
    bar(QStringLiteral("Skriptus"), {m_actions->ScriptusLeftClick, m_actions->ScriptusSetText, m_actions->ScriptusRun});
}

void TFormMain::BuildPages()
{
    m_pages = new QTabWidget(this);
    m_pages->setObjectName(QStringLiteral("PageControlMain"));
    m_pages->setAccessibleName(QStringLiteral("Seiten"));
    m_overview = new TPageOverview(m_pages);
    m_objects = new TPageObjects(m_pages);
    m_clients = new TPageClients(m_pages);
    m_users = new TPageUsers(m_pages);
    m_scriptus = new TPageScriptus(m_pages);
    m_protocol = new TPageProtocol(m_pages);
    const QWidget* pages[kPageCount] = {m_overview, m_objects, m_clients, m_users, m_scriptus, m_protocol};
    const char* const captions[kPageCount] = {"Übersicht", "Objekte", "Clients", "Benutzer", "Skriptus", "Protokoll"};
    for (int page = 0; page < kPageCount; ++page)
        m_pages->addTab(const_cast<QWidget*>(pages[page]), IconTable::Icon(kPageIcons[page]),
                        QString::fromUtf8(captions[page]));
    m_overview->SetProduct(ProductName(), OwnVersionString(QStringLiteral("LegalCopyright")));
    // The users page shows only when switched to; the protocol page by option.
    m_pages->setTabVisible(int(TPage::Users), false);
    m_pages->setTabVisible(int(TPage::Protocol), false);
    connect(m_pages, &QTabWidget::currentChanged, this, [this] {
        UpdateActionStates();
        if (ActivePage() == TPage::Overview)
            UpdateClock();
    });
    for (TPageFrame* frame : std::initializer_list<TPageFrame*>{m_objects, m_clients, m_users, m_scriptus, m_protocol})
        connect(frame, &TPageFrame::HelpRequested, this, &TFormMain::OpenHelp);
    setCentralWidget(m_pages);

    // Del and F2 mean the list that has the focus, as its context menu does;
    // in a group tree F2 renames the node.
    TMainActions::BindToWidget(m_actions->ObjectDelete, m_objects->List());
    TMainActions::BindToWidget(m_actions->ObjectProperties, m_objects->List());
    TMainActions::BindToWidget(m_actions->ClientDelete, m_clients->List());
    TMainActions::BindToWidget(m_actions->ClientProperties, m_clients->List());
    TMainActions::BindToWidget(m_actions->ScriptusEntryProperties, m_scriptus->SequenceList());
    TMainActions::BindToWidget(m_actions->ScriptusEntryProperties, m_scriptus->EventList());
}

void TFormMain::WireOwnActions()
{
    TMainActions& a = *m_actions;
    a.Handle(a.FileExit, [this] { Exit(); });
    for (int page = 0; page < kPageCount; ++page)
        a.Handle(a.ViewPage[page], [this, page] { ShowPage(TPage(page)); });
    a.Handle(a.ServerConnect, [] { StartUpdateSession(); });
    a.Handle(a.ServerSearch, [] { QueryServer(false); });
    for (QAction* remote : {a.ClientPhoneHome, a.ClientTerminate, a.ClientDeinstall})
        a.Handle(remote, [this, remote] { SendRemoteCommand(remote); });
    a.Handle(a.HelpContents, [this] { OpenHelp(QStringLiteral("topicAllgemein.html")); });
    a.Handle(a.ProtocolClear, [this] {
        m_protocol->Clear();
        UpdateActionStates();
    });
    a.Handle(a.ProtocolExport, [this] { AskExportFile(); });
    a.Handle(a.ProtocolReverse, [] {
        MainConfig().Set(QStringLiteral("MiscProtocolLastToFirst"), !OptionOn("MiscProtocolLastToFirst"));
        MainConfig().SaveAll();
    });
    // The protocol's header sorts by time only: a click turns the order round.
    m_protocol->List()->header()->setSectionsClickable(true);
    connect(m_protocol->List()->header(), &QHeaderView::sectionClicked, a.ProtocolReverse, &QAction::trigger);
    a.Handle(a.TrayOpen, [this] { m_tray->RestoreWindow(); });
    // Cut and copy act on the focused edit field, as the standard actions do.
    a.Handle(a.EditCut, [] {
        if (QWidget* focus = QApplication::focusWidget())
            QMetaObject::invokeMethod(focus, "cut");
    });
    a.Handle(a.EditCopy, [] {
        if (QWidget* focus = QApplication::focusWidget())
            QMetaObject::invokeMethod(focus, "copy");
    });
    a.AddStateSource([this](TActionState& state) {
        state.clientSelected = state.clientSelected || !m_clients->SelectedClients().isEmpty();
        const QMimeData* clipboard = QApplication::clipboard()->mimeData();
        state.clipboardHasFiles = clipboard != nullptr && clipboard->hasUrls();
    });
}

QMenu* TFormMain::ContextMenuOf(QAbstractItemView* view) const
{
    if (view == m_objects->List())
        return m_actions->ObjectListMenu();
    if (view == m_clients->List())
        return m_actions->ClientListMenu();
    if (view == m_clients->Tree() || view == m_users->Tree())
        return m_actions->TreeMenu();
    if (view == m_scriptus->Tree())
        return m_actions->ScriptusTreeMenu();
    if (view == m_scriptus->SequenceList() || view == m_scriptus->EventList())
        return m_actions->ScriptusListMenu();
    if (view == m_protocol->List())
        return m_actions->ProtocolMenu();
    return nullptr; // the object tree and the user list have none
}

void TFormMain::WireContextMenus()
{
    for (TPageFrame* frame : std::initializer_list<TPageFrame*>{m_objects, m_clients, m_users, m_scriptus, m_protocol})
        connect(frame, &TPageFrame::ContextMenuRequested, this, [this](QAbstractItemView* view, const QPoint& at) {
            if (QMenu* menu = ContextMenuOf(view)) {
                UpdateActionStates();
                menu->popup(at);
            }
        });
}

TPage TFormMain::ActivePage() const
{
    return TPage(m_pages->currentIndex());
}

bool TFormMain::PageVisible(TPage page) const
{
    return m_pages->isTabVisible(int(page));
}

void TFormMain::ShowPage(TPage page)
{
    if (page == TPage::Protocol && !m_protocolVisible)
        return;
    m_pages->setTabVisible(int(page), true);
    m_pages->setCurrentIndex(int(page));
}

void TFormMain::SetProtocolPageVisible(bool visible)
{
    m_protocolVisible = visible;
    if (visible)
        m_protocol->FlushNow();
    m_pages->setTabVisible(int(TPage::Protocol), visible);
    UpdateActionStates();
}

TActionState TFormMain::BaseState() const
{
    TActionState state;
    state.master = OptionsRegistered() && IsMasterServer();
    state.idle = !AnyClientThreadRunning();
    state.listsRead = !m_listsReading;
    state.activePage = ActivePage();
    state.showProtocol = m_protocolVisible;
    state.showVisibleControlsOnly = !OptionsRegistered() || OptionOn("MiscShowVisibleControlsOnly");
    state.protocolLastToFirst = OptionOn("MiscProtocolLastToFirst");
    state.protocolRows = m_protocol->RowCount();
    return state;
}

void TFormMain::SetListsReading(bool reading)
{
    m_listsReading = reading;
    // The builds of the views put their counts there once the lists are in.
    if (reading)
        for (TListPage* page : std::initializer_list<TListPage*>{m_objects, m_clients, m_users})
            page->Status()->SetText(0, QStringLiteral("Liste wird eingelesen…"));
    UpdateActionStates();
}

void TFormMain::UpdateActionStates()
{
    m_actions->Refresh();
    const bool master = m_actions->State().master;
    m_pages->setTabVisible(int(TPage::Scriptus), master);
    if (!master)
        m_pages->setTabVisible(int(TPage::Users), false);
}

void TFormMain::StartClock()
{
    UpdateClock();
    m_clock->start();
}

void TFormMain::UpdateClock()
{
    // The long format without the zone Qt's German locale adds to it.
    static const QString format = QLocale().timeFormat(QLocale::LongFormat).remove(QLatin1Char('t')).trimmed();
    const QString now = QLocale().toString(QTime::currentTime(), format);
    m_objects->Status()->SetText(2, now);
    m_clients->Status()->SetText(1, now);
    m_scriptus->Status()->SetText(1, now);
    if (ActivePage() == TPage::Overview)
        m_overview->SetClock(now);
}

void TFormMain::resizeEvent(QResizeEvent* event)
{
    QMainWindow::resizeEvent(event);
    m_objects->Status()->SetFirstWidth(width() - 350);
    m_clients->Status()->SetFirstWidth(width() - 100);
    m_scriptus->Status()->SetFirstWidth(width() - 100);
}

void TFormMain::changeEvent(QEvent* event)
{
    QMainWindow::changeEvent(event);
    if (event->type() != QEvent::WindowStateChange)
        return;
    if (isMinimized()) {
        Q_EMIT Minimized();
        m_tray->WindowMinimized();
    } else
        m_tray->WindowShown();
}

void TFormMain::closeEvent(QCloseEvent* event)
{
    event->ignore();
    if (ServiceInstalled()) {
        if (RunningAsService()) {
            Exit();
            Log(QStringLiteral("Main"), QStringLiteral("Beendingung der Anwendung in FormClose() abgelehnt"));
        } else {
            hide();
        }
        return;
    }
    Log(QStringLiteral("Main"), QStringLiteral("Anwendung soll terminieren"), 46);
    AskApplicationEnd();
}

void TFormMain::Exit()
{
    if (RunningAsService()) {
        ShowMessageBox(this, QMessageBox::Warning,
                       QStringLiteral("Diese Anwendung läuft als Systemdienst. Sie darf nur über den Dialog "
                                      "\"Dienste und Anwendungen\" der \"Computerverwaltung\" beendet werden."));
        return;
    }
    AskApplicationEnd();
}

void TFormMain::OpenHelp(const QString& topic)
{
    const QString page = m_helpFolder + QLatin1Char('/') + topic;
    if (!QFileInfo(page).isFile()) {
        ShowMessageBox(
            this, QMessageBox::Warning,
            QStringLiteral("Die Hilfeseite \"%1\" wurde nicht gefunden.").arg(QDir::toNativeSeparators(page)));
        return;
    }
    if (!ShellOpen(page))
        ShowMessageBox(this, QMessageBox::Warning,
                       QStringLiteral("Die Hilfeseite \"%1\" konnte nicht geöffnet werden.").arg(page));
}

void TFormMain::ExportProtocol(const QString& path)
{
    WriteFileAtomically(path, m_protocol->ExportText());
}

void TFormMain::AskExportFile()
{
    QFileDialog dialog(this, QStringLiteral("Protokolldatei speichern"), ProgramFolder());
    dialog.setObjectName(QStringLiteral("SaveDialogProtocol"));
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setNameFilters({QStringLiteral("Protokolldateien (*.protocol)"), QStringLiteral("Alle Dateien (*)")});
    dialog.setDefaultSuffix(QStringLiteral("protocol"));
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return;
    try {
        ExportProtocol(dialog.selectedFiles().constFirst());
    } catch (const std::exception& error) {
        ShowMessageBox(this, QMessageBox::Critical,
                       QStringLiteral("Das Protokoll konnte nicht exportiert werden: %1").arg(ExceptionText(error)));
    }
}

void TFormMain::SendRemoteCommand(QAction* action)
{
    TConnectKind kind = TConnectKind::PhoneHome;
    QString question;
    QString refusal = QStringLiteral("Der Master-Server darf nicht zurückgerufen werden!");
    if (action == m_actions->ClientTerminate) {
        kind = TConnectKind::Terminate;
        question = QStringLiteral("Der Client \"%1\" wird beendet. Möchten Sie fortfahren?");
        refusal = QStringLiteral("Der Master-Server darf nicht beendet werden!");
    } else if (action == m_actions->ClientDeinstall) {
        kind = TConnectKind::Deinstall;
        question = QStringLiteral("Der Client \"%1\" wird deinstalliert. Möchten Sie fortfahren?");
        refusal = QStringLiteral("Der Master-Server darf nicht deinstalliert werden!");
    }
    const QString master = MainConfig().GetString(QStringLiteral("NetServerName"));
    const int port = MainConfig().GetInteger(QStringLiteral("NetServerPort"));
    for (const QString& client : m_clients->SelectedClients()) {
        if (client.compare(master, Qt::CaseInsensitive) == 0) {
            ShowMessageBox(this, QMessageBox::Critical, refusal);
            continue;
        }
        if (!question.isEmpty() && !AskYesNo(this, question.arg(client)))
            continue;
        auto info = std::make_unique<TConnectInfo>();
        info->host = client;
        info->port = port;
        info->kind = kind;
        StartClientThread(std::move(info));
    }
    UpdateActionStates();
}
