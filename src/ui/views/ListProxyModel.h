// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QSortFilterProxyModel>
#include <QTimer>

class TRowListModel;

/// The order and the filter between a catalogue list's rows and its views.
/// It sorts and filters all rows in one pass when asked (a header click, a
/// typed filter, a batch of new rows), never row by row as rows arrive: a
/// build hands rows over in batches of thousands.
class TListProxyModel : public QSortFilterProxyModel
{
    Q_OBJECT
public:
    explicit TListProxyModel(TRowListModel& rows, QObject* parent = nullptr);

    /// Sorts by the column; -1 is the order the rows were built in.
    void SortBy(int column, Qt::SortOrder order);
    /// Shows only the rows whose filter fields hold the text; "" shows all.
    void SetFilterText(const QString& text);
    /// Whether the rows shown are narrowed by a filter text.
    bool Filtering() const { return !m_applied.isEmpty(); }
    /// Whether a pass waits to sort or filter the rows.
    bool PassPending() const { return m_apply.isActive(); }
    /// The row of the list's model behind a row of the views.
    int SourceRow(const QModelIndex& index) const { return mapToSource(index).row(); }

Q_SIGNALS:
    /// The number of rows shown may have changed.
    void CountChanged();

protected:
    bool filterAcceptsRow(int sourceRow, const QModelIndex& sourceParent) const override;
    bool lessThan(const QModelIndex& left, const QModelIndex& right) const override;

private:
    void Schedule();
    void Apply();

    TRowListModel& m_rows;
    QString m_typed;
    QString m_applied;
    QTimer m_apply;
};
