// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/views/ListProxyModel.h"

#include <algorithm>
#include <memory>
#include <numeric>

namespace {

// A pass over this many rows takes a few milliseconds: the main thread does
// it at once. Above, a typed filter waits for a pause in typing and new rows
// for a pause between the batches, and the pass runs on the thread.
constexpr int kInlineRows = 5000;
constexpr int kLargeDelayMs = 200;

struct TPassJob {
    TRowListModel::TSnapshot snapshot;
    int column = -1;
    Qt::SortOrder order = Qt::AscendingOrder;
    QString filter;
    TRowFilterFields fields;
};

// The snapshot's rows that pass the filter, as source rows in the order of
// the column; what it returns once stopped is of no use.
std::vector<int> PassOrder(const TPassJob& job, const std::atomic<bool>& stop)
{
    const std::vector<const TListRow*>& rows = job.snapshot.rows;
    std::vector<int> order;
    if (job.filter.isEmpty()) {
        order.resize(rows.size());
        std::iota(order.begin(), order.end(), 0);
    } else {
        for (size_t row = 0; row < rows.size() && !stop; ++row)
            if (job.fields.Matches(*rows[row], job.filter))
                order.push_back(static_cast<int>(row));
    }
    if (job.column < 0)
        return order;
    // Stable, so rows of equal value keep the order they were built in, also
    // in descending order. Once stopped, every pair counts as equal: the
    // sort then gets through at once.
    const int column = job.column;
    const bool descending = job.order == Qt::DescendingOrder;
    std::stable_sort(order.begin(), order.end(), [&](int left, int right) {
        if (stop.load(std::memory_order_relaxed))
            return false;
        return descending ? RowLess(*rows[static_cast<size_t>(right)], *rows[static_cast<size_t>(left)], column)
                          : RowLess(*rows[static_cast<size_t>(left)], *rows[static_cast<size_t>(right)], column);
    });
    return order;
}

} // namespace

void TListProxyModel::TPassThread::Start(std::function<void(const std::atomic<bool>& stop)> work)
{
    Stop();
    m_stop = false;
    m_thread.Start("ViewsOrder", [this, work = std::move(work)] { work(m_stop); });
}

void TListProxyModel::TPassThread::Stop()
{
    m_stop = true;
    m_thread.Join();
}

TListProxyModel::TListProxyModel(TRowListModel& rows, QObject* parent) : QAbstractProxyModel(parent), m_rows(rows)
{
    QAbstractProxyModel::setSourceModel(&rows);
    m_delay.setSingleShot(true);
    connect(&m_delay, &QTimer::timeout, this, &TListProxyModel::StartPass);
    connect(&rows, &QAbstractItemModel::modelAboutToBeReset, this, &TListProxyModel::beginResetModel);
    connect(&rows, &QAbstractItemModel::modelReset, this, &TListProxyModel::OnSourceReset);
    // The rows only ever grow at the end.
    connect(&rows, &QAbstractItemModel::rowsInserted, this,
            [this](const QModelIndex&, int first, int last) { OnRowsAppended(first, last); });
    connect(&rows, &QAbstractItemModel::dataChanged, this,
            [this](const QModelIndex&, const QModelIndex&, const QList<int>& roles) {
                // Only the images of all rows change at once.
                if (!m_map.empty())
                    Q_EMIT dataChanged(index(0, 0), index(rowCount() - 1, columnCount() - 1), roles);
            });
    connect(&rows, &QAbstractItemModel::headerDataChanged, this, &QAbstractItemModel::headerDataChanged);
    connect(this, &QAbstractItemModel::rowsInserted, this, &TListProxyModel::CountChanged);
    connect(this, &QAbstractItemModel::modelReset, this, &TListProxyModel::CountChanged);
    connect(this, &QAbstractItemModel::layoutChanged, this, &TListProxyModel::CountChanged);
    // The list may hold rows before its proxy is made.
    m_map.resize(static_cast<size_t>(rows.Count()));
    std::iota(m_map.begin(), m_map.end(), 0);
    m_reverse = m_map;
}

TListProxyModel::~TListProxyModel()
{
    // No result of the thread may arrive for this model any more.
    m_thread.Stop();
}

void TListProxyModel::SortBy(int column, Qt::SortOrder order)
{
    if (column < 0)
        order = Qt::AscendingOrder; // descending would turn the build order round
    if (column == m_column && order == m_order)
        return;
    m_column = column;
    m_order = order;
    StartPass();
}

void TListProxyModel::SetFilterText(const QString& text)
{
    m_typed = text;
    Schedule(m_rows.Count() > kInlineRows ? kLargeDelayMs : 0);
}

void TListProxyModel::Schedule(int delayMs)
{
    if (delayMs == 0)
        StartPass();
    else
        m_delay.start(delayMs);
}

void TListProxyModel::StartPass()
{
    m_delay.stop();
    TPassJob job{m_rows.Snapshot(), m_column, m_order, m_typed, m_rows.FilterFields()};
    const int covered = static_cast<int>(job.snapshot.rows.size());
    const QString filter = m_typed;
    const quint64 pass = ++m_pass;
    // The order in which the rows were built, unfiltered, needs no work.
    if (covered <= kInlineRows || (m_column < 0 && filter.isEmpty())) {
        m_thread.Stop();
        m_running = false;
        const std::atomic<bool> never{false};
        Apply(PassOrder(job, never), covered, filter);
        return;
    }
    m_running = true;
    auto shared = std::make_shared<TPassJob>(std::move(job));
    m_thread.Start([this, shared, pass, covered, filter](const std::atomic<bool>& stop) {
        auto order = std::make_shared<std::vector<int>>(PassOrder(*shared, stop));
        // The rows of a cleared list are freed here, not on the main thread.
        shared->snapshot = {};
        if (stop)
            return;
        QMetaObject::invokeMethod(
            this,
            [this, order, pass, covered, filter] {
                if (pass != m_pass)
                    return;
                m_running = false;
                Apply(std::move(*order), covered, filter);
            },
            Qt::QueuedConnection);
    });
}

void TListProxyModel::Apply(std::vector<int> order, int covered, const QString& filter)
{
    const size_t ordered = order.size();
    for (int row = covered; row < m_rows.Count(); ++row)
        if (Passes(row, filter))
            order.push_back(row);
    std::vector<int> reverse(static_cast<size_t>(m_rows.Count()), -1);
    for (size_t row = 0; row < order.size(); ++row)
        reverse[static_cast<size_t>(order[row])] = static_cast<int>(row);

    Q_EMIT layoutAboutToBeChanged();
    const QModelIndexList from = persistentIndexList();
    QModelIndexList to;
    to.reserve(from.size());
    for (const QModelIndex& index : from) {
        const int source = m_map[static_cast<size_t>(index.row())];
        const int row = reverse[static_cast<size_t>(source)];
        to.append(row >= 0 ? createIndex(row, index.column()) : QModelIndex());
    }
    m_map = std::move(order);
    m_reverse = std::move(reverse);
    m_applied = filter;
    changePersistentIndexList(from, to);
    Q_EMIT layoutChanged();
    // Rows that arrived during the pass still wait to be sorted in.
    if (m_column >= 0 && m_map.size() > ordered)
        Schedule(m_rows.Count() > kInlineRows ? kLargeDelayMs : 0);
}

void TListProxyModel::OnSourceReset()
{
    // A pass over the rows that are gone is of no use; what was typed
    // applies to an empty list at once.
    ++m_pass;
    m_thread.Stop();
    m_running = false;
    m_delay.stop();
    m_map.clear();
    m_reverse.clear();
    m_applied = m_typed;
    endResetModel();
}

void TListProxyModel::OnRowsAppended(int first, int last)
{
    m_reverse.resize(static_cast<size_t>(m_rows.Count()), -1);
    std::vector<int> shown;
    for (int row = first; row <= last; ++row)
        if (Passes(row, m_applied))
            shown.push_back(row);
    if (!shown.empty()) {
        const int at = rowCount();
        beginInsertRows(QModelIndex(), at, at + static_cast<int>(shown.size()) - 1);
        for (int row : shown) {
            m_reverse[static_cast<size_t>(row)] = static_cast<int>(m_map.size());
            m_map.push_back(row);
        }
        endInsertRows();
    }
    // A running pass sorts them in when it is done.
    if (m_column >= 0 && !m_running)
        Schedule(m_rows.Count() > kInlineRows ? kLargeDelayMs : 0);
}

bool TListProxyModel::Passes(int sourceRow, const QString& filter) const
{
    return filter.isEmpty() || m_rows.FilterFields().Matches(m_rows.Row(sourceRow), filter);
}

int TListProxyModel::SourceRow(const QModelIndex& index) const
{
    return index.isValid() && index.row() < rowCount() ? m_map[static_cast<size_t>(index.row())] : -1;
}

QModelIndex TListProxyModel::index(int row, int column, const QModelIndex& parent) const
{
    if (parent.isValid() || row < 0 || row >= rowCount() || column < 0 || column >= columnCount())
        return {};
    return createIndex(row, column);
}

QModelIndex TListProxyModel::parent(const QModelIndex&) const
{
    return {};
}

int TListProxyModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(m_map.size());
}

int TListProxyModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : m_rows.columnCount();
}

bool TListProxyModel::hasChildren(const QModelIndex& parent) const
{
    return !parent.isValid() && !m_map.empty();
}

QModelIndex TListProxyModel::mapToSource(const QModelIndex& proxyIndex) const
{
    const int row = SourceRow(proxyIndex);
    return row >= 0 ? m_rows.index(row, proxyIndex.column()) : QModelIndex();
}

QModelIndex TListProxyModel::mapFromSource(const QModelIndex& sourceIndex) const
{
    if (!sourceIndex.isValid() || sourceIndex.row() >= static_cast<int>(m_reverse.size()))
        return {};
    const int row = m_reverse[static_cast<size_t>(sourceIndex.row())];
    return row >= 0 ? createIndex(row, sourceIndex.column()) : QModelIndex();
}

QVariant TListProxyModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    // The columns are the list's own, also while no row is shown.
    return m_rows.headerData(section, orientation, role);
}
