// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <functional>

#include <QObject>

#include "foundation/UiPort.h"

class TFormMain;
class TFormQuit;
class TFormAbout;
class TMainDialogs;

/// The window front-end: what the core asks of the window, done with the
/// main window and its forms. Main thread only, like every widget.
class TGuiUi : public QObject, public TUiPort
{
    Q_OBJECT
public:
    /// Creates the main window; the start screen when showSplash.
    explicit TGuiUi(bool showSplash = false);
    ~TGuiUi() override;

    TFormMain& Form() { return *m_form; }
    TFormQuit& QuitForm();
    TFormAbout& AboutForm();

    TMainDialogs& Dialogs() { return *m_dialogs; }

    void SetCaption(const QString& caption) override;
    void SetProtocolPageVisible(bool visible) override;
    void RebuildObjectViews() override;
    void RebuildClientViews() override;
    void RefreshClientOnlineMarks() override;
    void RebuildControlTree() override;
    void ProtocolEntry(const TProtocolEntry& entry, bool showInList, bool lastToFirst) override;
    void OverviewMessage(TOverviewPane pane, const QString& block, bool activate) override;
    void ShowMessage(TMessageKind kind, const QString& text) override;
    void RefreshConnectionSettings() override;
    void CancelObjectViewBuilds() override;
    void SetWindowStart(TWindowStart start) override;
    void SetActivePage(int index) override;
    void SetListsReading(bool reading) override;
    void BuildAllViews() override;
    void UpdateActionStates() override;
    void CompleteCreation() override;
    void RestoreLayout() override;
    void SaveLayout() override;
    void ShowShutdownWindow(bool visible) override;
    void ShowShutdownNote(const QString& note) override;
    void SetObjectStatusText(const QString& text) override;
    bool AskNewObjects(const QStringList& objects) override;
    bool AskRestart() override;

private:
    /// A view hook, unless the lists are still being read.
    void RunListHook(const std::function<void()>& hook);

    TFormMain* m_form;
    TMainDialogs* m_dialogs;
    TFormQuit* m_quit = nullptr;
    TFormAbout* m_about = nullptr;
    bool m_showSplash;
};
