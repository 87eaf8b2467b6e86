// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdio>

#include "foundation/UiPort.h"

/// The front-end without a display (service process, servers, tests of the
/// binary): every protocol entry goes to standard output in the protocol
/// file's line form, overview messages too; no box is ever shown, and
/// every prompt is answered as its countdown would answer it: yes.
class THeadlessUi : public TUiPort
{
public:
    explicit THeadlessUi(std::FILE* out = stdout);

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

    QString Caption() const { return m_caption; }

private:
    void WriteLine(const QString& line);

    std::FILE* m_out;
    QString m_caption;
};
