// SPDX-License-Identifier: GPL-3.0-or-later
#include "foundation/Startup.h"

#include <exception>
#include <map>
#include <utility>
#include <vector>

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QTimer>

#include "base/TextFields.h"
#include "foundation/ListReader.h"
#include "foundation/ListenerControl.h"
#include "foundation/MainConfig.h"
#include "foundation/ObjectUpdateTimer.h"
#include "foundation/PendingMoves.h"
#include "foundation/PoolInterlocked.h"
#include "foundation/PoolServices.h"
#include "foundation/Quit.h"
#include "foundation/ServiceMode.h"
#include "foundation/UiAdapter.h"
#include "platform/FileMove.h"
#include "platform/ServiceManager.h"
#include "platform/ShellOpen.h"
#include "platform/VersionInfo.h"

namespace {

constexpr int kFileMoveDelayMs = 3000;

struct TListUnit {
    std::function<void()> load;
    std::function<void()> start;
};

struct TStartupState {
    std::map<TListKind, TListUnit> lists;
    TUpdateSessionStarter sessionStarter;
    std::function<void()> loadRecordingHooks;
    std::function<void()> installMessageHook;
    TInstanceKind kind = TInstanceKind::Working;
    bool complete = false;
    bool listsRead = false;
    std::vector<std::function<void()>> whenListsRead;
};

TStartupState& State()
{
    static TStartupState state;
    return state;
}

// The replace copy of the program: after the pause the old process has let
// go of its file. rename(2) replaces the target; a failed move is silent, the
// process ends anyway. A moved program starts again, as the service when the
// service is installed (then the service was what updated itself).
void ScheduleFileMove(const TFileMove& move)
{
    const QString from = Dequote(move.from);
    const QString to = Dequote(move.to);
    // A coarse timer may fire up to 5 % early; the pause is a promise to the old process.
    QTimer::singleShot(kFileMoveDelayMs, Qt::PreciseTimer, QCoreApplication::instance(), [from, to] {
        if (MoveFileReplacing(from, to) && QFileInfo(to).isExecutable()) {
            if (ServiceUnitInstalled())
                RunSystemctl({QStringLiteral("--no-block"), QStringLiteral("start"), ServiceUnitName()});
            else
                ShellOpen(to);
        }
        QCoreApplication::exit(0);
    });
}

constexpr TListKind kListOrder[] = {TListKind::Objects, TListKind::Clients, TListKind::Downloads, TListKind::Users,
                                    TListKind::Controls};

TListReader& Reader()
{
    static TListReader reader;
    return reader;
}

void StartObjectUpdateTimer()
{
    TObjectUpdateTimer::SetHandler([] { StartUpdateSession(); });
    TObjectUpdateTimer::SetInterval(MainConfig().GetInteger(QStringLiteral("ClientUpdateIntervalInMillisecs")));
    TObjectUpdateTimer::SetEnabled(MainConfig().GetBoolean(QStringLiteral("ClientAutoInstall")));
}

// Recording watches this desktop's input; the service has no desktop of its own.
bool RecordsOnThisInstance()
{
    return !RunningAsService() && !ServiceInstalled() && IsMasterServer();
}

void OnListsRead(bool complete);

// The controls come from the desktop, which their page reads off the main
// thread by itself; every other list is read by the list reader.
void ReadLists()
{
    TStartupState& state = State();
    state.listsRead = false;
    // What waited for the lists of an earlier start (tests start more than once) is not this one's.
    state.whenListsRead.clear();
    std::vector<std::function<void()>> loads;
    for (const TListKind kind : kListOrder) {
        const auto unit = state.lists.find(kind);
        if (unit == state.lists.end() || !unit->second.load)
            continue;
        if (kind == TListKind::Controls)
            unit->second.load();
        else
            loads.push_back(unit->second.load);
    }
    Reader().Start(std::move(loads), &OnListsRead);
}

// Nothing that works on the lists beside the window (sessions and the
// transfer cache with the listeners, imports and folder monitoring, the
// cleaning of the downloads, updates) may start on a list read in part.
void OnListsRead(bool complete)
{
    if (!complete || ShutdownWaiting())
        return;
    TStartupState& state = State();
    if (!state.complete)
        RunCompletion();
    for (const TListKind kind : kListOrder) {
        const auto unit = state.lists.find(kind);
        if (unit != state.lists.end() && unit->second.start)
            unit->second.start();
    }
    ActivateListeners();
    TUiAdapter::SetListsReading(false);
    TUiAdapter::BuildAllViews();
    TUiAdapter::UpdateActionStates();
    StartObjectUpdateTimer();
    state.listsRead = true;
    if (!IsMasterServer() && ServerConfigured())
        StartUpdateSession();
    for (const std::function<void()>& then : std::exchange(state.whenListsRead, {}))
        then();
}

} // namespace

void SetListLoader(TListKind kind, std::function<void()> load, std::function<void()> start)
{
    State().lists[kind] = {std::move(load), std::move(start)};
}

bool ListsRead()
{
    return State().listsRead;
}

void WhenListsRead(std::function<void()> then)
{
    if (State().listsRead)
        then();
    else
        State().whenListsRead.push_back(std::move(then));
}

void SetUpdateSessionStarter(TUpdateSessionStarter starter)
{
    State().sessionStarter = std::move(starter);
}

void SetRecordingHooks(std::function<void()> load, std::function<void()> installMessageHook)
{
    State().loadRecordingHooks = std::move(load);
    State().installMessageHook = std::move(installMessageHook);
}

TInstanceKind DecideInstanceKind(bool fileMove)
{
    if (fileMove)
        return TInstanceKind::FileMove;
    if (ServiceInstalled() && !RunningAsService())
        return TInstanceKind::Monitor;
    return TInstanceKind::Working;
}

TInstanceKind RunMainWindowCreation(const std::optional<TFileMove>& fileMove)
{
    TStartupState& state = State();
    state.complete = false;
    RegisterAllOptions();
    state.kind = DecideInstanceKind(fileMove.has_value());
    SetMonitorInstance(state.kind == TInstanceKind::Monitor);
    TUiAdapter::SetCaption(MainCaption());
    if (state.kind == TInstanceKind::FileMove) {
        // Nothing else of this process is needed: it only stands in for the
        // instance whose file it replaces.
        TUiAdapter::SetWindowStart(TWindowStart::Hidden);
        ScheduleFileMove(*fileMove);
        return state.kind;
    }

    TWindowStart start = ServiceInstalled() ? TWindowStart::Hidden : TWindowStart::Shown;
    // The stored size and place before the window first shows, not after.
    TUiAdapter::RestoreLayout();
    if (state.kind == TInstanceKind::Working) {
        CarryOutPendingMoves();
        if (RecordsOnThisInstance() && state.loadRecordingHooks)
            state.loadRecordingHooks();
        if (MainConfig().GetBoolean(QStringLiteral("MiscStartMinimized")))
            start = TWindowStart::InTray;
        TUiAdapter::SetProtocolPageVisible(MainConfig().GetBoolean(QStringLiteral("MiscShowProtocol")));
        TUiAdapter::SetActivePage(LayoutConfig().GetInteger(QStringLiteral("MainActiveTab")));
        // Shown while the lists are read: a large catalogue must not keep
        // the window away.
        TUiAdapter::SetListsReading(true);
        TUiAdapter::SetWindowStart(start);
        ReadLists();
    } else {
        StartObjectUpdateTimer();
    }
    TUiAdapter::UpdateActionStates();
    if (state.kind != TInstanceKind::Working)
        TUiAdapter::SetWindowStart(start);
    QTimer::singleShot(0, QCoreApplication::instance(), [] {
        if (!State().complete)
            RunCompletion();
    });
    return state.kind;
}

void RunCompletion()
{
    TStartupState& state = State();
    state.complete = true;
    TUiAdapter::CompleteCreation();
    if (state.kind == TInstanceKind::Working) {
        if (RunningAsService())
            TUiAdapter::SetWindowStart(TWindowStart::InTray);
        else if (RecordsOnThisInstance() && state.installMessageHook)
            state.installMessageHook();
    }
    ClientMessage(QStringLiteral("%1 wurde erfolgreich initialisiert").arg(ProductName()));
}

bool MainWindowComplete()
{
    return State().complete;
}

TInstanceKind InstanceKind()
{
    return State().kind;
}

void StartUpdateSession()
{
    // The service runs the sessions now.
    if (IsMonitorInstance())
        return;
    const QString host = MainConfig().GetString(QStringLiteral("NetServerName"));
    const int port = MainConfig().GetInteger(QStringLiteral("NetServerPort"));
    Log(QStringLiteral("Main"), QStringLiteral("Starte Synchronisation mit Server %1:%2").arg(host).arg(port), 50);
    if (State().sessionStarter)
        State().sessionStarter(host, port);
}
