// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <functional>

#include <QMainWindow>
#include <QStringList>

#include "ui/main/MainActions.h"

class QAbstractItemView;
class QMenu;
class QTabWidget;
class QTimer;
class QToolBar;
class TMainTray;
class TPageClients;
class TPageObjects;
class TPageOverview;
class TPageProtocol;
class TPageScriptus;
class TPageUsers;
class TListPage;

/// What the views plug in: rebuilding trees and lists is their work. The views
/// (TMainViews) are added by whoever makes the window, so the window itself
/// never names them.
struct TViewHooks {
    std::function<void()> rebuildObjects;
    std::function<void()> rebuildClients;
    std::function<void()> refreshOnlineMarks;
    std::function<void()> buildAll;
    std::function<void()> rebuildControlTree;
    /// The source path of the first selected object row ("" for none).
    std::function<QString()> selectedObject;
};

/// The one main window: control bar, the six pages, the actions, the timers
/// and the notification-area icon. Each page is a class of its own; the
/// window only arranges them and runs what belongs to no page.
class TFormMain : public QMainWindow
{
    Q_OBJECT
public:
    explicit TFormMain(QWidget* parent = nullptr);
    ~TFormMain() override;

    TMainActions& Actions() { return *m_actions; }
    TViewHooks& ViewHooks() { return m_viewHooks; }

    TPageOverview* PageOverview() const { return m_overview; }
    TPageObjects* PageObjects() const { return m_objects; }
    TPageClients* PageClients() const { return m_clients; }
    TPageUsers* PageUsers() const { return m_users; }
    TPageScriptus* PageScriptus() const { return m_scriptus; }
    TPageProtocol* PageProtocol() const { return m_protocol; }
    QTabWidget* Pages() const { return m_pages; }
    TMainTray& Tray() { return *m_tray; }

    TPage ActivePage() const;
    /// Makes the page active (and its tab visible); a page that may not be
    /// shown here (protocol while hidden) stays as it is.
    void ShowPage(TPage page);
    bool PageVisible(TPage page) const;
    void SetProtocolPageVisible(bool visible);

    /// While the lists are being read the list pages say so and the actions
    /// that need the lists are off.
    void SetListsReading(bool reading);
    bool ListsReading() const { return m_listsReading; }

    /// Works out every enabled rule anew.
    void UpdateActionStates();
    /// The window's part of the action state: master, idle, page, options.
    TActionState BaseState() const;

    /// The clock tick: the long time into the status bars and, while the
    /// overview shows, into its clock label.
    void UpdateClock();
    void StartClock();

    /// The folder the help pages are in (beside the executable by default).
    void SetHelpFolder(const QString& folder) { m_helpFolder = folder; }
    QString HelpFolder() const { return m_helpFolder; }
    /// Opens a help page; a missing page gives a German message.
    void OpenHelp(const QString& topic);

    /// Exports the protocol list into the file, raising on failure.
    void ExportProtocol(const QString& path);

    /// Sends a remote command to every selected client but the master server,
    /// with the confirmations and refusals of each command.
    void SendRemoteCommand(QAction* action);

Q_SIGNALS:
    /// The user minimised the window.
    void Minimized();

protected:
    void resizeEvent(QResizeEvent* event) override;
    void changeEvent(QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void BuildControlBar();
    void BuildPages();
    void WireOwnActions();
    void WireContextMenus();
    /// The menu the right mouse button opens on a page's view.
    QMenu* ContextMenuOf(QAbstractItemView* view) const;
    void AskExportFile();
    void Exit();

    TMainActions* m_actions;
    TViewHooks m_viewHooks;
    QTabWidget* m_pages = nullptr;
    TPageOverview* m_overview = nullptr;
    TPageObjects* m_objects = nullptr;
    TPageClients* m_clients = nullptr;
    TPageUsers* m_users = nullptr;
    TPageScriptus* m_scriptus = nullptr;
    TPageProtocol* m_protocol = nullptr;
    TMainTray* m_tray = nullptr;
    QTimer* m_clock;
    QTimer* m_clientUpdate;
    QString m_helpFolder;
    bool m_protocolVisible = false;
    bool m_listsReading = false;
};
