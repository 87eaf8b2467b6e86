// SPDX-License-Identifier: GPL-3.0-or-later
#include "foundation/Startup.h"

#include <exception>
#include <map>

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QTimer>

#include "base/TextFields.h"
#include "foundation/ListenerControl.h"
#include "foundation/MainConfig.h"
#include "foundation/ObjectUpdateTimer.h"
#include "foundation/PendingMoves.h"
#include "foundation/PoolInterlocked.h"
#include "foundation/PoolServices.h"
#include "foundation/ServiceMode.h"
#include "foundation/UiAdapter.h"
#include "platform/FileMove.h"
#include "platform/ServiceManager.h"
#include "platform/ShellOpen.h"
#include "platform/VersionInfo.h"

namespace {

constexpr int kFileMoveDelayMs = 3000;

struct TStartupState {
    std::map<TListKind, std::function<void()>> loaders;
    TUpdateSessionStarter sessionStarter;
    std::function<void()> loadRecordingHooks;
    std::function<void()> installMessageHook;
    TInstanceKind kind = TInstanceKind::Working;
    bool complete = false;
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

void LoadLists()
{
    for (const TListKind kind :
         {TListKind::Objects, TListKind::Clients, TListKind::Downloads, TListKind::Users, TListKind::Controls}) {
        const auto loader = State().loaders.find(kind);
        if (loader != State().loaders.end() && loader->second)
            loader->second();
    }
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

} // namespace

void SetListLoader(TListKind kind, std::function<void()> load)
{
    State().loaders[kind] = std::move(load);
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
    if (state.kind == TInstanceKind::Working) {
        CarryOutPendingMoves();
        ActivateListeners();
        if (RecordsOnThisInstance() && state.loadRecordingHooks)
            state.loadRecordingHooks();
        if (MainConfig().GetBoolean(QStringLiteral("MiscStartMinimized")))
            start = TWindowStart::InTray;
        // Shown before the lists are read: a large catalogue must not keep
        // the window away.
        TUiAdapter::SetWindowStart(start);
        LoadLists();
        TUiAdapter::SetProtocolPageVisible(MainConfig().GetBoolean(QStringLiteral("MiscShowProtocol")));
        TUiAdapter::SetActivePage(LayoutConfig().GetInteger(QStringLiteral("MainActiveTab")));
        TUiAdapter::BuildAllViews();
    }
    TUiAdapter::UpdateActionStates();
    StartObjectUpdateTimer();
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
    TUiAdapter::RestoreLayout();
    if (state.kind == TInstanceKind::Working) {
        if (RunningAsService())
            TUiAdapter::SetWindowStart(TWindowStart::InTray);
        else if (RecordsOnThisInstance() && state.installMessageHook)
            state.installMessageHook();
        if (!IsMasterServer() && ServerConfigured())
            StartUpdateSession();
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
