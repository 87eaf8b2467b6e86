// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <deque>
#include <vector>

#include <QAbstractTableModel>

#include "foundation/UiPort.h"

/// The rows of the protocol list: "Zeitpunkt", "Ursprung", "Nachricht" with
/// the entry's icon. Entries arrive in batches, so thousands a second cost
/// one view update per batch, not one per entry. It keeps kMaxRows entries,
/// those farthest from where new ones arrive leaving first (the oldest, unless
/// the order was turned round meanwhile); the protocol file keeps everything.
class TProtocolModel : public QAbstractTableModel
{
    Q_OBJECT
public:
    using QAbstractTableModel::QAbstractTableModel;

    /// A master server logs every request of every client: a window that
    /// runs for weeks must not grow with it.
    static constexpr int kMaxRows = 10000;

    /// An entry waiting for the next batch; lastToFirst puts it on top.
    void Queue(const TProtocolEntry& entry, bool lastToFirst);
    /// Moves every waiting entry into the rows; true when there were any.
    bool Flush();
    bool HasQueued() const { return !m_queue.empty(); }

    /// Removes every row (waiting entries too).
    void Clear();
    /// The export form: one line per row, top to bottom,
    /// "\"time\" \"category\" \"message\"" each ending in CR LF.
    QByteArray ExportText() const;
    const TProtocolEntry& Entry(int row) const { return m_rows[row]; }

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

private:
    /// Removes the oldest rows beyond kMaxRows, at the end away from the newest.
    void DropOldest(bool newestOnTop);

    struct TQueued {
        TProtocolEntry entry;
        bool onTop;
    };
    std::deque<TProtocolEntry> m_rows;
    std::vector<TQueued> m_queue;
};
