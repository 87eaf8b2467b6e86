// SPDX-License-Identifier: GPL-3.0-or-later
#include <csignal>
#include <cstdio>
#include <exception>
#include <memory>
#include <optional>

#include <QCoreApplication>
#include <QDeadlineTimer>

#include "app/CommandLine.h"
#include "app/CommandLineHelp.h"
#include "app/FrontEnd.h"
#include "app/HeadlessUi.h"
#include "app/ScriptusCommands.h"
#include "app/Signals.h"
#include "app/SingleInstance.h"
#include "catalogue/CatalogueSetup.h"
#include "foundation/MainConfig.h"
#include "foundation/PoolInterlocked.h"
#include "foundation/PoolServices.h"
#include "foundation/Quit.h"
#include "foundation/ServiceMode.h"
#include "foundation/Startup.h"
#include "foundation/UiAdapter.h"
#include "platform/DisplayProbe.h"
#include "platform/ProgramPaths.h"
#include "platform/ServiceManager.h"
#include "platform/VersionInfo.h"
#include "replication/Broadcast.h"
#include "replication/ClientThread.h"
#include "replication/HostKey.h"
#include "replication/ReplicationSetup.h"
#include "scriptus/ExecutorRunner.h"
#include "scriptus/Hooks.h"
#include "ui/dialogs/MainService.h"
#include "ui/main/GuiUi.h"
#include "ui/main/Main.h"
#include "ui/main/MainTray.h"
#include "ui/main/MessageBoxes.h"

namespace {

// Test hook: PLENWICK_TEST_BUSY_MS holds a client thread busy that long after
// start, so process tests can watch the shutdown wait for it.
class TBusyForTests : public TShutdownParticipant
{
public:
    explicit TBusyForTests(int milliseconds) : m_until(milliseconds) {}
    bool IsRunning() override { return !m_until.hasExpired(); }
    void RequestStop() override {}

private:
    QDeadlineTimer m_until;
};

// SIGTERM (systemd stop, the session's end) and SIGINT ask as a close of the
// window does; a SIGINT while the shutdown already waits ends at once.
void OnTerminationSignal(int signal)
{
    if (signal == SIGINT && ShutdownWaiting())
        ImmediateShutdown();
    Log(QStringLiteral("Main"),
        signal == SIGINT ? QStringLiteral("Signal SIGINT empfangen") : QStringLiteral("Signal SIGTERM empfangen"));
    Log(QStringLiteral("Main"), QStringLiteral("Anwendung soll terminieren"), 46);
    AskApplicationEnd();
}

// The key is made here when it is missing: an administrator may want to
// note a new master's fingerprint before its first start.
int PrintFingerprint()
{
    try {
        std::fputs((OwnIdentity()->Fingerprint() + QLatin1Char('\n')).toUtf8().constData(), stdout);
        return 0;
    } catch (const EHostKeyError& error) {
        std::fputs((error.Message() + QLatin1Char('\n')).toLocal8Bit().constData(), stderr);
        return 1;
    }
}

} // namespace

int main(int argc, char* argv[])
{
    // For people at a terminal: never an instance, nor a look for a display.
    const TCommandLine early = ParseCommandLine(CommandLineParameters(argc, argv));
    if (early.form == TStartForm::Help || early.form == TStartForm::Version) {
        std::fputs((early.form == TStartForm::Help ? HelpText() : VersionText()).toUtf8().constData(), stdout);
        return 0;
    }
    if (early.form == TStartForm::Fingerprint)
        return PrintFingerprint();
    // "/CONTROLS" and "/SCRIPTUS=<file>": the protocol in the terminal, and
    // nothing that listens, loads lists or starts sessions.
    if (early.form == TStartForm::Controls || early.form == TStartForm::Scriptus) {
        QCoreApplication app(argc, argv);
        ExecutablePath();
        QCoreApplication::setApplicationName(ProductName());
        THeadlessUi terminal;
        TUiAdapter::Install(&terminal);
        const int code =
            early.form == TStartForm::Controls ? RunControlsCommand() : RunScriptusCommand(early.scriptusFile);
        TUiAdapter::Install(nullptr);
        return code;
    }
    const TFrontEnd frontEnd = ChooseFrontEnd();
    const std::unique_ptr<QCoreApplication> app = MakeApplication(frontEnd, argc, argv);
    // Read after Qt took its own (a restored session's -session must not
    // make a file-move instance).
    const TCommandLine commandLine = ParseCommandLine(CommandLineParameters(argc, argv));

    // Fixed now: an update may rename the running file later.
    ExecutablePath();
    QCoreApplication::setApplicationName(ProductName());
    THeadlessUi headless;
    std::unique_ptr<TGuiUi> window;
    if (frontEnd == TFrontEnd::Window) {
        window = std::make_unique<TGuiUi>(true);
        TUiAdapter::Install(window.get());
    } else {
        TUiAdapter::Install(&headless);
    }
    InstallCatalogue();
    WatchTerminationSignals(&OnTerminationSignal);
    SetRunningAsService(IsServiceProcess(commandLine.serviceSwitch));
    InstallReplication();
    InstallRecordingHooks();
    // Every front-end: whether a desktop is there is asked when a script is due.
    InstallScriptusExecutor();
    if (frontEnd == TFrontEnd::Headless && !qEnvironmentVariableIsEmpty("DISPLAY"))
        Log(QStringLiteral("Main"), DisplayUnavailableReason(), 46);

    if (commandLine.form == TStartForm::Send) {
        RegisterAllOptions();
        RunSendingInstance(commandLine.sendKind, commandLine.sendHost);
        TUiAdapter::Install(nullptr);
        return 0;
    }

    // Two working instances on the same lists would overwrite each other's files.
    TSingleInstance single;
    if (DecideInstanceKind(commandLine.form == TStartForm::FileMove) == TInstanceKind::Working && !single.Acquire()) {
        std::fprintf(stderr, "%s\n", qPrintable(single.RefusalMessage()));
        if (window && !single.RaisedOther())
            ShowMessageBox(nullptr, QMessageBox::Warning, single.RefusalMessage());
        TUiAdapter::Install(nullptr);
        return 2;
    }
    if (window)
        single.OnRaiseRequest([&window] { window->Form().Tray().RestoreWindow(); });
    single.SetEndingCheck([] { return ShutdownWaiting(); });
    // The service control window, the last form; a monitor instance shows it.
    std::unique_ptr<TFormMainService> serviceForm;
    if (window) {
        serviceForm = std::make_unique<TFormMainService>(&window->Form());
        serviceForm->becameMonitor = [&single, &window] {
            single.Release();
            window->Form().Tray().Leave();
        };
    }

    int rc = 0;
    try {
        std::optional<TFileMove> fileMove;
        if (commandLine.form == TStartForm::FileMove)
            fileMove = TFileMove{commandLine.moveFrom, commandLine.moveTo};
        const TInstanceKind kind = RunMainWindowCreation(fileMove);
        if (serviceForm)
            serviceForm->StartUp();
        if (kind != TInstanceKind::FileMove)
            Log(QStringLiteral("Main"),
                QStringLiteral("%1 %2 gestartet").arg(ProductName(), OwnVersionString(QStringLiteral("FileVersion"))),
                46);
        // Without a window a monitor has nothing to show: it says where the
        // service is steered instead of idling until someone ends it.
        if (kind == TInstanceKind::Monitor && !window) {
            Log(QStringLiteral("MainService"),
                QStringLiteral("Der Systemdienst ist installiert; er wird mit \"systemctl status|start|stop %1\" "
                               "gesteuert, das Fenster des Monitors braucht eine Anzeige")
                    .arg(ServiceUnitName()));
            TUiAdapter::Install(nullptr);
            return 0;
        }
        // Asks the network for the master server at start, as the connection
        // settings dialog would; the answer comes to the listeners, which
        // start once the lists are in.
        if (kind == TInstanceKind::Working && commandLine.form == TStartForm::QueryServer)
            WhenListsRead([] { QueryServer(true); });
        std::optional<TBusyForTests> busy;
        if (const int busyMs = qEnvironmentVariableIntValue("PLENWICK_TEST_BUSY_MS"); busyMs > 0)
            RegisterShutdownParticipant(TShutdownStep::ClientThreads, &busy.emplace(busyMs));
        rc = app->exec();
        if (busy)
            UnregisterShutdownParticipant(&*busy);
        if (kind != TInstanceKind::FileMove)
            Log(QStringLiteral("Main"), QStringLiteral("Anwendung wurde beendet"), 46);
    } catch (const std::exception& error) {
        Log(QStringLiteral("Main"), QStringLiteral("Beim Start ") + ExceptionSuffix(error), 46);
        rc = 1;
    }
    TUiAdapter::Install(nullptr);
    return rc;
}
