// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <functional>

#include <QObject>

#include "foundation/UiPort.h"

class TFormMain;
class TFormQuit;
class TFormAbout;

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

    // The installation prompts belong to their dialogs; until they are
    // plugged in, the prompts answer as their countdown would: yes.
    std::function<bool(const QStringList&)> askNewObjects;
    std::function<bool()> askRestart;

    void SetCaption(const QString& caption) override;
    void SetProtocolPageVisible(bool visible) override;
    void RebuildObjectViews() override;
    void RebuildClientViews() override;
    void RefreshClientOnlineMarks() override;
    void ProtocolEntry(const TProtocolEntry& entry, bool showInList, bool lastToFirst) override;
    void OverviewMessage(TOverviewPane pane, const QString& block, bool activate) override;
    void ShowMessage(TMessageKind kind, const QString& text) override;
    void SetWindowStart(TWindowStart start) override;
    void SetActivePage(int index) override;
    void BuildAllViews() override;
    void UpdateActionStates() override;
    void CompleteCreation() override;
    void RestoreLayout() override;
    void SaveLayout() override;
    void ShowShutdownWindow(bool visible) override;
    void SetObjectStatusText(const QString& text) override;
    bool AskNewObjects(const QStringList& objects) override;
    bool AskRestart() override;

private:
    TFormMain* m_form;
    TFormQuit* m_quit = nullptr;
    TFormAbout* m_about = nullptr;
    bool m_showSplash;
};
