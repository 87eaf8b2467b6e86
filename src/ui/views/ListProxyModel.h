// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <atomic>
#include <functional>
#include <vector>

#include <QAbstractProxyModel>
#include <QTimer>

#include "base/WorkerThread.h"
#include "ui/views/MainViewsBase.h"

/// The order and the filter between a catalogue list's rows and its views.
/// A sort or a filter of a large list is worked out on a thread of its own
/// ("ViewsOrder") from a snapshot of the rows, and the main thread only puts
/// the result in place; a small list is done at once. Rows that arrive
/// meanwhile are filtered as they come and shown at the end until the next
/// pass sorts them in: a build hands rows over in batches of thousands.
class TListProxyModel : public QAbstractProxyModel
{
    Q_OBJECT
public:
    explicit TListProxyModel(TRowListModel& rows, QObject* parent = nullptr);
    ~TListProxyModel() override;

    /// Sorts by the column; -1 is the order the rows were built in.
    void SortBy(int column, Qt::SortOrder order);
    /// Shows only the rows whose filter fields hold the text; "" shows all.
    void SetFilterText(const QString& text);
    /// Whether the rows shown are narrowed by a filter text.
    bool Filtering() const { return !m_applied.isEmpty(); }
    /// Whether a pass waits or runs to sort or filter the rows.
    bool PassPending() const { return m_delay.isActive() || m_running; }
    /// The row of the list's model behind a row of the views.
    int SourceRow(const QModelIndex& index) const;

    QModelIndex index(int row, int column, const QModelIndex& parent = QModelIndex()) const override;
    QModelIndex parent(const QModelIndex& child) const override;
    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    bool hasChildren(const QModelIndex& parent = QModelIndex()) const override;
    QModelIndex mapToSource(const QModelIndex& proxyIndex) const override;
    QModelIndex mapFromSource(const QModelIndex& sourceIndex) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

Q_SIGNALS:
    /// The number of rows shown may have changed.
    void CountChanged();

private:
    /// One pass's thread; a new pass stops the one before.
    class TPassThread
    {
    public:
        ~TPassThread() { Stop(); }
        void Start(std::function<void(const std::atomic<bool>& stop)> work);
        void Stop();

    private:
        TWorkerThread m_thread;
        std::atomic<bool> m_stop{false};
    };

    void Schedule(int delayMs);
    void StartPass();
    /// Puts a pass's order of the first `covered` rows in place; rows that
    /// arrived since follow in their own order, filtered by the pass's text.
    void Apply(std::vector<int> order, int covered, const QString& filter);
    void OnSourceReset();
    void OnRowsAppended(int first, int last);
    bool Passes(int sourceRow, const QString& filter) const;

    TRowListModel& m_rows;
    std::vector<int> m_map;     // proxy row -> source row
    std::vector<int> m_reverse; // source row -> proxy row, -1 when filtered out
    int m_column = -1;
    Qt::SortOrder m_order = Qt::AscendingOrder;
    QString m_typed;
    QString m_applied;
    QTimer m_delay;
    bool m_running = false;
    quint64 m_pass = 0; // results of an older pass are dropped
    TPassThread m_thread;
};
