// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/main/GuiUi.h"

#include <QApplication>
#include <QMessageBox>
#include <QSessionManager>
#include <QTimer>

#include "foundation/PoolInterlocked.h"
#include "foundation/Quit.h"
#include "foundation/ServiceMode.h"
#include "ui/dialogs/MainDialogs.h"
#include "ui/dialogs/PoolAbout.h"
#include "ui/dialogs/QuitWindow.h"
#include "ui/main/Main.h"
#include "ui/main/MainLayout.h"
#include "ui/main/MainTray.h"
#include "ui/main/MessageBoxes.h"
#include "ui/pages/PageObjects.h"
#include "ui/pages/PageOverview.h"
#include "ui/pages/PageProtocol.h"
#include "ui/pages/StatusPanels.h"
#include "ui/views/MainViews.h"
#include "ui/views/MainViewsThread.h"

TGuiUi::TGuiUi(bool showSplash) : m_form(new TFormMain), m_dialogs(new TMainDialogs(*m_form)), m_showSplash(showSplash)
{
    // The trees and lists of the objects, clients and users pages with their actions.
    new TMainViews(*m_form);
    TMainActions& actions = m_form->Actions();
    m_dialogs->selectedObject = [this] {
        const TViewHooks& hooks = m_form->ViewHooks();
        return hooks.selectedObject ? hooks.selectedObject() : QString();
    };
    actions.Handle(actions.HelpAbout, [this] { AboutForm().ShowAbout(); });
    // Minimising the program ends the start screen's fade at once.
    connect(m_form, &TFormMain::Minimized, this, [this] {
        if (m_about != nullptr)
            m_about->StopSplash();
    });
    if (auto* app = qobject_cast<QGuiApplication*>(QCoreApplication::instance())) {
        // The desktop session ends: the same refusal rules as a close.
        connect(app, &QGuiApplication::commitDataRequest, this, [](QSessionManager& manager) {
            manager.setRestartHint(QSessionManager::RestartNever);
            Log(QStringLiteral("Main"), QStringLiteral("Windows-Ereignis WM_QUERYENDSESSION empfangen"));
            Log(QStringLiteral("Main"), QStringLiteral("Anwendung soll terminieren"), 46);
            if (RequestShutdown()) {
                Log(QStringLiteral("Main"), QStringLiteral("Windows-Ereignis WM_ENDSESSION empfangen"));
                QTimer::singleShot(0, [] { EndApplication(); });
            } else if (manager.allowsInteraction()) {
                manager.cancel();
            }
        });
        connect(app, &QGuiApplication::saveStateRequest, this,
                [](QSessionManager& manager) { manager.setRestartHint(QSessionManager::RestartNever); });
    }
}

TGuiUi::~TGuiUi()
{
    delete m_about;
    delete m_quit;
    delete m_form;
}

TFormQuit& TGuiUi::QuitForm()
{
    if (m_quit == nullptr)
        m_quit = new TFormQuit(m_form);
    return *m_quit;
}

TFormAbout& TGuiUi::AboutForm()
{
    if (m_about == nullptr)
        m_about = new TFormAbout(m_form);
    return *m_about;
}

void TGuiUi::SetCaption(const QString& caption)
{
    m_form->setWindowTitle(caption);
}

void TGuiUi::RefreshConnectionSettings()
{
    m_dialogs->RefreshConnectionSettings();
}

void TGuiUi::CancelObjectViewBuilds()
{
    ::CancelObjectViewBuilds();
}

void TGuiUi::SetProtocolPageVisible(bool visible)
{
    m_form->SetProtocolPageVisible(visible);
}

void TGuiUi::RunListHook(const std::function<void()>& hook)
{
    // A view built from a list read in part would show it so; the views are
    // built once every list is in.
    if (hook && !m_form->ListsReading())
        hook();
}

void TGuiUi::RebuildObjectViews()
{
    RunListHook(m_form->ViewHooks().rebuildObjects);
}

void TGuiUi::RebuildClientViews()
{
    RunListHook(m_form->ViewHooks().rebuildClients);
}

void TGuiUi::RefreshClientOnlineMarks()
{
    RunListHook(m_form->ViewHooks().refreshOnlineMarks);
}

void TGuiUi::RebuildControlTree()
{
    if (m_form->ViewHooks().rebuildControlTree)
        m_form->ViewHooks().rebuildControlTree();
}

void TGuiUi::BuildAllViews()
{
    RunListHook(m_form->ViewHooks().buildAll);
}

void TGuiUi::ProtocolEntry(const TProtocolEntry& entry, bool showInList, bool lastToFirst)
{
    if (showInList)
        m_form->PageProtocol()->AddEntry(entry, lastToFirst);
}

void TGuiUi::OverviewMessage(TOverviewPane pane, const QString& block, bool activate)
{
    if (activate)
        m_form->ShowPage(TPage::Overview);
    m_form->PageOverview()->AddMessage(pane == TOverviewPane::Server, block);
}

void TGuiUi::ShowMessage(TMessageKind kind, const QString& text)
{
    const QMessageBox::Icon icon = kind == TMessageKind::Error     ? QMessageBox::Critical
                                   : kind == TMessageKind::Warning ? QMessageBox::Warning
                                                                   : QMessageBox::Information;
    // Not modal: the window goes on while it is open.
    QMessageBox* box = MakeMessageBox(m_form, icon, text, false);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setModal(false);
    box->show();
}

void TGuiUi::SetWindowStart(TWindowStart start)
{
    switch (start) {
    case TWindowStart::Shown:
        m_form->show();
        // The fade needs window opacity, which X11 gives and the test platform lacks.
        if (m_showSplash && QGuiApplication::platformName() == QLatin1String("xcb") && TFormAbout::SplashWanted())
            AboutForm().StartSplash();
        m_showSplash = false;
        break;
    case TWindowStart::Hidden:
        m_form->hide();
        break;
    case TWindowStart::InTray:
        if (RunningAsService())
            m_form->Tray().SetTooltipSuffix(QStringLiteral(" Systemdienst"));
        m_form->Tray().GoToTray();
        break;
    }
}

void TGuiUi::SetActivePage(int index)
{
    if (index >= 0 && index < kPageCount)
        m_form->ShowPage(TPage(index));
}

void TGuiUi::SetListsReading(bool reading)
{
    m_form->SetListsReading(reading);
}

void TGuiUi::UpdateActionStates()
{
    m_form->UpdateActionStates();
}

void TGuiUi::CompleteCreation()
{
    m_form->StartClock();
    m_dialogs->CompleteCreation();
}

void TGuiUi::RestoreLayout()
{
    RestoreMainLayout(*m_form);
}

void TGuiUi::SaveLayout()
{
    SaveMainLayout(*m_form);
}

void TGuiUi::ShowShutdownWindow(bool visible)
{
    if (visible) {
        QuitForm().show();
        QuitForm().raise();
    } else if (m_quit != nullptr) {
        m_quit->hide();
    }
}

void TGuiUi::ShowShutdownNote(const QString& note)
{
    QuitForm().SetNote(note);
}

void TGuiUi::SetObjectStatusText(const QString& text)
{
    m_form->PageObjects()->Status()->SetText(1, text);
}

bool TGuiUi::AskNewObjects(const QStringList& objects)
{
    return m_dialogs->AskNewObjects(objects);
}

bool TGuiUi::AskRestart()
{
    return m_dialogs->AskRestart();
}
