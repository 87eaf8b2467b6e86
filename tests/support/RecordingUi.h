// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <mutex>
#include <vector>

#include <QStringList>

#include "foundation/UiPort.h"

/// A front-end that remembers every call, for assertions.
class TRecordingUi : public TUiPort
{
public:
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

    void Clear();
    /// Messages of all protocol entries so far, optionally of one category.
    QStringList Messages(const QString& category = QString()) const;
    std::vector<TProtocolEntry> Entries() const;
    bool HasMessage(const QString& message) const;

    QString caption;
    bool protocolPageVisible = false;
    int objectViewRebuilds = 0;
    int clientViewRebuilds = 0;
    int onlineMarkRefreshes = 0;
    QStringList messageBoxes;
    QStringList clientPane;
    QStringList serverPane;
    /// The start-up and shutdown calls in order, e.g. "SetWindowStart InTray",
    /// "SetActivePage 2", "RestoreLayout", "ShowShutdownWindow 1".
    QStringList windowCalls;
    /// Rows as the protocol list would hold them (only those shown).
    QStringList listRows;
    /// Every text of the object page's status panel, in order.
    QStringList objectStatusTexts;
    /// The lists of every new-objects prompt, and the answers the prompts give.
    std::vector<QStringList> newObjectPrompts;
    bool newObjectsAnswer = true;
    int restartPrompts = 0;
    bool restartAnswer = true;

private:
    mutable std::recursive_mutex m_lock;
    std::vector<TProtocolEntry> m_entries;
};
