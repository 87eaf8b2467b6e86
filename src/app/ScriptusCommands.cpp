// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/ScriptusCommands.h"

#include <cstdio>

#include <QCoreApplication>
#include <QMetaObject>

#include "app/Signals.h"
#include "foundation/MainConfig.h"
#include "foundation/UiAdapter.h"
#include "platform/DesktopAutomation.h"
#include "scriptus/ScriptusBase.h"
#include "scriptus/ScriptusThread.h"
#include "scriptus/SyncControl.h"

namespace {

constexpr int kFailed = 1;
constexpr int kUnreadable = 2;
constexpr int kNoDesktop = 3;

void Print(FILE* stream, const QString& line)
{
    std::fputs((line + QLatin1Char('\n')).toUtf8().constData(), stream);
    std::fflush(stream);
}

bool DesktopReachable()
{
    QString reason;
    if (DesktopAutomation::Available(&reason))
        return true;
    Print(stderr, QStringLiteral("Skriptus braucht eine Anzeige und den Barrierefreiheitsbus: %1").arg(reason));
    return false;
}

int ListControls()
{
    if (!DesktopReachable())
        return kNoDesktop;
    // Only the list goes to the terminal, so it can be piped.
    TUiPort* terminal = TUiAdapter::Installed();
    TUiAdapter::Install(nullptr);
    ReadControlList();
    TUiAdapter::Install(terminal);
    for (TSyncControl* c = FirstControl(); c; c = NextControl(c))
        Print(stdout, ControlPath(c) + QLatin1Char('\t') + c->ClassName() + QLatin1Char('\t') +
                          (c->Visible() ? QStringLiteral("sichtbar") : QStringLiteral("verborgen")));
    FreeControlList();
    return 0;
}

int RunCommandFile(const QString& file)
{
    if (!DesktopReachable())
        return kNoDesktop;
    // Programs the script starts must show their controls.
    DesktopAutomation::EnableAccessibility();
    if (!LoadCommandFile(file))
        return kUnreadable;
    // The executor looks in the list first and reads the desktop again only
    // between retries.
    ReadControlList();
    StartScriptus(ScriptusSequence().Rows(), ScriptusEvents().Rows(), [](TScriptusOutcome outcome) {
        const int code = outcome == TScriptusOutcome::Completed ? 0 : kFailed;
        QMetaObject::invokeMethod(
            QCoreApplication::instance(), [code] { QCoreApplication::exit(code); }, Qt::QueuedConnection);
    });
    const int code = QCoreApplication::exec();
    FreeControlList();
    return code;
}

} // namespace

int RunControlsCommand()
{
    RegisterAllOptions();
    return ListControls();
}

int RunScriptusCommand(const QString& file)
{
    // Installed before anything runs: a key the script holds is released by
    // the executor's end, not left down on the X server with the process gone.
    WatchTerminationSignals([](int) {
        if (RequestScriptusTermination())
            QCoreApplication::exit(kFailed);
    });
    RegisterAllOptions();
    return RunCommandFile(file);
}
