// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/views/ListProxyModel.h"

#include "ui/views/MainViewsBase.h"

namespace {

// Each pass sorts every row shown: above this many a typed filter waits for
// a pause in typing, and new rows for a pause between the batches.
constexpr int kLargeRows = 20000;
constexpr int kLargeDelayMs = 200;

} // namespace

TListProxyModel::TListProxyModel(TRowListModel& rows, QObject* parent) : QSortFilterProxyModel(parent), m_rows(rows)
{
    // Sorting each new row in moves the whole row map once per row.
    setDynamicSortFilter(false);
    setSourceModel(&rows);
    m_apply.setSingleShot(true);
    connect(&m_apply, &QTimer::timeout, this, &TListProxyModel::Apply);
    // Without sorting, new rows are filtered as they come and need no pass.
    connect(&rows, &QAbstractItemModel::rowsInserted, this, [this] {
        if (sortColumn() >= 0)
            Schedule();
    });
    connect(this, &QAbstractItemModel::rowsInserted, this, &TListProxyModel::CountChanged);
    connect(this, &QAbstractItemModel::rowsRemoved, this, &TListProxyModel::CountChanged);
    connect(this, &QAbstractItemModel::modelReset, this, &TListProxyModel::CountChanged);
    connect(this, &QAbstractItemModel::layoutChanged, this, &TListProxyModel::CountChanged);
}

void TListProxyModel::SortBy(int column, Qt::SortOrder order)
{
    if (column < 0)
        order = Qt::AscendingOrder; // descending would turn the build order round
    sort(column, order);
}

void TListProxyModel::SetFilterText(const QString& text)
{
    m_typed = text;
    Schedule();
}

void TListProxyModel::Schedule()
{
    m_apply.start(m_rows.Count() > kLargeRows ? kLargeDelayMs : 0);
}

void TListProxyModel::Apply()
{
    m_applied = m_typed;
    // A full pass: rows that pass anew are sorted in, which filtering alone
    // does not do while the order is not kept up row by row.
    invalidate();
}

bool TListProxyModel::filterAcceptsRow(int sourceRow, const QModelIndex&) const
{
    return m_applied.isEmpty() || m_rows.Matches(sourceRow, m_applied);
}

bool TListProxyModel::lessThan(const QModelIndex& left, const QModelIndex& right) const
{
    // Straight from the rows: a sort asks a hundred thousand rows a million times.
    return m_rows.Less(left.row(), right.row(), left.column());
}
