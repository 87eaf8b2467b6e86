// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <functional>
#include <map>
#include <vector>

#include <QKeySequence>
#include <QObject>

class QAction;
class QActionGroup;
class QMenu;
class QMenuBar;
class QWidget;

/// The pages of the main window, in tab order (MainActiveTab counts in it).
enum class TPage {
    Overview = 0,
    Objects,
    Clients,
    Users,
    Scriptus,
    Protocol
};
constexpr int kPageCount = 6;

/// What the enabled rules of the actions depend on. The window fills the
/// first part; the owners of page contents add theirs through state sources.
struct TActionState {
    bool master = false;   ///< this computer is the master server
    bool idle = true;      ///< no client session runs
    bool listsRead = true; ///< every list is in (the window shows before)
    TPage activePage = TPage::Overview;
    bool showProtocol = false;           ///< MiscShowProtocol
    bool showVisibleControlsOnly = true; ///< MiscShowVisibleControlsOnly
    bool protocolLastToFirst = false;    ///< MiscProtocolLastToFirst
    int protocolRows = 0;

    // Filled by the page contents.
    bool objectSelected = false;
    bool objectListEmpty = true;
    bool objectListFiltered = false; ///< the object list shows one client's objects
    bool clientSelected = false;
    bool clientListFiltered = false; ///< the client list shows one object's clients
    int listStyle = -1;              ///< of the active page's list: 0 symbols, 3 details
    bool clipboardHasFiles = false;
    bool scriptusControlSelected = false; ///< a control below the top level
    bool scriptusListHasRows = false;     ///< the sequence or the event list
    int scriptusActiveListRows = 0;
    bool scriptusActiveListSelection = false;
};

/// Every user command of the main window as a QAction, with its caption,
/// shortcut, enabled rule and check mark. An action whose work is not built
/// yet tells the user so; its owner wires it with one call:
///     actions.Handle(actions.ObjectDelete, [this] { DeleteSelectedObjects(); });
class TMainActions : public QObject
{
    Q_OBJECT
public:
    explicit TMainActions(QWidget* window);

    using THandler = std::function<void()>;
    using TStateSource = std::function<void(TActionState&)>;

    /// Replaces what the action does when triggered (or toggled, for checkable ones).
    void Handle(QAction* action, THandler handler);
    /// Whether the action has been given its work.
    bool IsWired(QAction* action) const { return m_handlers.contains(action); }
    /// Adds what a page content knows to the state before each update.
    void AddStateSource(TStateSource source);
    /// Completes the state from the sources and applies every enabled rule.
    void Update(TActionState state);
    /// Where the window's part of the state comes from; Refresh asks it.
    void SetStateProvider(std::function<TActionState()> provider) { m_provider = std::move(provider); }
    /// Update with a fresh state: when a page changes, a menu opens, a
    /// context menu is about to show.
    void Refresh();
    /// The state of the last update.
    const TActionState& State() const { return m_state; }

    /// Binds an action's shortcut to one widget and its children only: Del and
    /// F2 mean different things on different lists, and Qt fires no ambiguous key.
    static void BindToWidget(QAction* action, QWidget* widget);

    /// Menus, built once.
    void FillMenuBar(QMenuBar* bar);
    QMenu* ObjectListMenu() const { return m_objectListMenu; }
    QMenu* ClientListMenu() const { return m_clientListMenu; }
    QMenu* TreeMenu() const { return m_treeMenu; }
    QMenu* ScriptusTreeMenu() const { return m_scriptusTreeMenu; }
    QMenu* ScriptusListMenu() const { return m_scriptusListMenu; }
    QMenu* ProtocolMenu() const { return m_protocolMenu; }
    QMenu* TrayMenu() const { return m_trayMenu; }
    QMenu* ListStyleMenu() const { return m_listStyleMenu; }

    /// Every action, in table order.
    const std::vector<QAction*>& All() const { return m_all; }
    /// The action with this German caption and object name; nullptr if none.
    QAction* Find(const QString& objectName) const;

    // &Datei
    QAction* FileAppendObject;
    QAction* FileOpenObject;
    QAction* FileExploreObject;
    QAction* FileOpenScriptus;
    QAction* FileSaveScriptus;
    QAction* FileSaveScriptusAs;
    QAction* FileExit;
    // &Bearbeiten
    QAction* EditCut;
    QAction* EditCopy;
    QAction* EditPaste;
    QAction* ObjectDelete;
    QAction* ObjectProperties;
    QAction* ObjectShowAll;
    QAction* ObjectShowCurrentClients;
    QAction* ObjectReverseSearch;
    // &Ansicht
    QAction* ViewPage[kPageCount];
    QAction* ViewRefresh;
    QAction* ViewSymbols;
    QAction* ViewDetails;
    QAction* ViewListStyle;
    QAction* ViewUp;
    QAction* ViewFilter;
    // &Client
    QAction* ClientWakeUp;
    QAction* ClientSendMessage;
    QAction* ClientPhoneHome;
    QAction* ClientTerminate;
    QAction* ClientDeinstall;
    QAction* ClientShowAll;
    QAction* ClientShowCurrentObjects;
    QAction* ClientReverseSearch;
    QAction* ClientDelete;
    QAction* ClientProperties;
    QAction* TreeAddNode;
    // Ser&ver
    QAction* ServerSearch;
    QAction* ServerConnect;
    // &Skriptus
    QAction* ScriptusLeftClick;
    QAction* ScriptusLeftDoubleClick;
    QAction* ScriptusRightClick;
    QAction* ScriptusCheck;
    QAction* ScriptusUncheck;
    QAction* ScriptusSetText;
    QAction* ScriptusSelectString;
    QAction* ScriptusShow;
    QAction* ScriptusBringToTop;
    QAction* ScriptusClose;
    QAction* ScriptusStartProgram;
    QAction* ScriptusWait;
    QAction* ScriptusRun;
    QAction* ScriptusLogAll;
    QAction* ScriptusVisibleOnly;
    QAction* ScriptusCancel;
    QAction* ScriptusEntryFirst;
    QAction* ScriptusEntryUp;
    QAction* ScriptusEntryDown;
    QAction* ScriptusEntryLast;
    QAction* ScriptusEntryMove;
    QAction* ScriptusListClear;
    QAction* ScriptusEntryDelete;
    QAction* ScriptusEntryProperties;
    // &Extras
    QAction* ExtrasConnection;
    QAction* ExtrasOptions;
    // &Hilfe
    QAction* HelpContents;
    QAction* HelpAbout;
    // protocol list and notification area
    QAction* ProtocolClear;
    QAction* ProtocolExport;
    QAction* ProtocolReverse;
    QAction* TrayOpen;

private:
    QAction* Make(const char* objectName, const QString& caption, const QKeySequence& key = QKeySequence(),
                  bool checkable = false);
    void Run(QAction* action);
    void NotThereYet(QAction* action);
    void BuildMenus();
    /// Adds the actions (nullptr: a separator) and the update on opening.
    void FillMenu(QMenu* menu, std::initializer_list<QAction*> actions);

    QWidget* m_window;
    std::vector<QAction*> m_all;
    std::map<QAction*, THandler> m_handlers;
    std::vector<TStateSource> m_sources;
    std::function<TActionState()> m_provider;
    TActionState m_state;
    QActionGroup* m_styleGroup = nullptr;
    QMenu* m_objectListMenu = nullptr;
    QMenu* m_clientListMenu = nullptr;
    QMenu* m_treeMenu = nullptr;
    QMenu* m_scriptusTreeMenu = nullptr;
    QMenu* m_scriptusListMenu = nullptr;
    QMenu* m_protocolMenu = nullptr;
    QMenu* m_trayMenu = nullptr;
    QMenu* m_listStyleMenu = nullptr;
};
