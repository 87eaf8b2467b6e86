// SPDX-License-Identifier: GPL-3.0-or-later
#include "foundation/Quit.h"

#include <cstdio>
#include <cstdlib>
#include <exception>
#include <mutex>
#include <utility>
#include <vector>

#include <QCoreApplication>
#include <QTimer>

#include "foundation/ListenerControl.h"
#include "foundation/MainConfig.h"
#include "foundation/PoolInterlocked.h"
#include "foundation/UiAdapter.h"
#include "platform/DesktopAutomation.h"

namespace {

const QString kCategory = QStringLiteral("Quit");
constexpr int kIcon = 46;
constexpr int kRecheckMs = 1000;
constexpr int kTicksUntilProtocol = 10;

struct TStepTexts {
    const char* before;
    const char* stillRunning;
};

// Indexed by TShutdownStep.
const TStepTexts kSteps[] = {
    {"Prüfe Server-Thread(s)", "Server-Thread noch nicht terminiert..."},
    {"Prüfe Client-Thread(s)", "Client-Thread noch nicht terminiert..."},
    {"Prüfe Ordnerstruktur-Thread(s)", "Ordnerstruktur-Thread noch nicht terminiert..."},
    {"Prüfe Treeview-Thread", "Treeview-Thread noch nicht terminiert..."},
    {"Prüfe Listview-Thread", "Listview-Thread noch nicht terminiert..."},
    {"Prüfe ChangeNotify-Thread", "ChangeNotify-Thread noch nicht terminiert..."},
    {"Prüfe Skriptus-Thread", "Skriptus-Thread noch nicht terminiert..."},
};

std::mutex g_lock;
std::vector<std::pair<TShutdownStep, TShutdownParticipant*>> g_participants;
int g_ticks = 0;
QTimer* g_recheck = nullptr;

QTimer& RecheckTimer()
{
    if (g_recheck == nullptr) {
        g_recheck = new QTimer(QCoreApplication::instance());
        g_recheck->setInterval(kRecheckMs);
        QObject::connect(g_recheck, &QTimer::timeout, &RecheckShutdown);
    }
    return *g_recheck;
}

std::vector<TShutdownParticipant*> ParticipantsOf(TShutdownStep step)
{
    std::lock_guard guard(g_lock);
    std::vector<TShutdownParticipant*> found;
    for (const auto& [s, participant] : g_participants)
        if (s == step)
            found.push_back(participant);
    return found;
}

// Every step runs in every round, so each kind is asked to stop each time.
bool AllThreadsStopped()
{
    bool allStopped = true;
    for (int index = 0; index < static_cast<int>(std::size(kSteps)); ++index) {
        const auto step = static_cast<TShutdownStep>(index);
        Log(kCategory, QString::fromUtf8(kSteps[index].before));
        bool running = false;
        for (TShutdownParticipant* participant : ParticipantsOf(step)) {
            if (participant->IsRunning()) {
                running = true;
                participant->RequestStop();
            }
        }
        if (running) {
            Log(kCategory, QString::fromUtf8(kSteps[index].stillRunning));
            allStopped = false;
        }
    }
    return allStopped;
}

void MakeReady()
{
    Log(kCategory, QStringLiteral("Anwendung ist bereit zum Terminieren"), kIcon);
    DeactivateListeners();
    RecheckTimer().stop();
}

bool SaveLayout()
{
    try {
        TUiAdapter::SaveLayout();
        LayoutConfig().SaveAll();
        return true;
    } catch (const std::exception& error) {
        // A layout that cannot be saved must not keep the program from ending.
        Log(kCategory, QStringLiteral("Beim Speichern der persistenten Einstellungen ") + ExceptionSuffix(error),
            kIcon);
        return false;
    }
}

} // namespace

void RegisterShutdownParticipant(TShutdownStep step, TShutdownParticipant* participant)
{
    std::lock_guard guard(g_lock);
    g_participants.emplace_back(step, participant);
}

void UnregisterShutdownParticipant(TShutdownParticipant* participant)
{
    std::lock_guard guard(g_lock);
    std::erase_if(g_participants, [&](const auto& entry) { return entry.second == participant; });
}

bool RequestShutdown()
{
    if (SaveLayout())
        Log(kCategory, QStringLiteral("Persistente Einstellungen wurden gespeichert"), kIcon);
    if (AllThreadsStopped()) {
        MakeReady();
        return true;
    }
    Log(kCategory, QStringLiteral("Threads sind noch aktiv, Anwendung wird bald beendet"), kIcon);
    TUiAdapter::ShowShutdownWindow(true);
    RecheckTimer().start();
    return false;
}

void RecheckShutdown()
{
    if (AllThreadsStopped()) {
        MakeReady();
        EndApplication();
        return;
    }
    if (++g_ticks == kTicksUntilProtocol)
        TUiAdapter::SetProtocolPageVisible(true);
}

void AskApplicationEnd()
{
    TPoolInterlocked::Synchronize([] {
        if (RequestShutdown())
            EndApplication();
    });
}

void EndApplication()
{
    TUiAdapter::ShowShutdownWindow(false);
    QCoreApplication::exit(0);
}

void ImmediateShutdown()
{
    DeactivateListeners();
    // A key a script holds would stay down on the X server after the process.
    DesktopAutomation::ReleaseKeys();
    std::fflush(nullptr);
    std::_Exit(0);
}

bool ShutdownWaiting()
{
    return g_recheck != nullptr && g_recheck->isActive();
}

int ShutdownTickCount()
{
    return g_ticks;
}
