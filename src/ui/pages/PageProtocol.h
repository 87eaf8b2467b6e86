// SPDX-License-Identifier: GPL-3.0-or-later
// The protocol page shows every protocol entry of this run: when, from which part of the program, what happened.
#pragma once

#include "ui/pages/PageFrame.h"

class QTimer;
class QTreeView;
class TProtocolModel;
struct TProtocolEntry;

/// "Protokoll": the protocol list. Entries are queued and shown in batches
/// every few milliseconds, so a flood of entries never freezes the window.
class TPageProtocol : public TPageFrame
{
    Q_OBJECT
public:
    explicit TPageProtocol(QWidget* parent = nullptr);

    void AddEntry(const TProtocolEntry& entry, bool lastToFirst);
    /// Shows what is queued at once (tests, export, before the page shows).
    void FlushNow();
    void Clear();
    int RowCount() const;
    /// The export file's content.
    QByteArray ExportText();

    QTreeView* List() const { return m_list; }
    TProtocolModel* Model() const { return m_model; }

private:
    TProtocolModel* m_model;
    QTreeView* m_list;
    QTimer* m_batch;
};
