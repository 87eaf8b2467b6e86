// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/views/ViewStateKeeper.h"

#include <QAbstractItemView>
#include <QScrollBar>
#include <QTimer>
#include <QTreeView>

namespace {

// A symbols grid leaves room around its pictures: the row at the top is the
// first one met along the top edge, probed in steps this wide.
constexpr int kProbeStep = 4;
constexpr int kProbeHeight = 64;

QModelIndex TopIndex(const QAbstractItemView& view)
{
    const QRect area = view.viewport()->rect();
    for (int y = area.top(); y < area.top() + qMin(kProbeHeight, area.height()); y += kProbeStep)
        for (int x = area.left(); x < area.right(); x += kProbeStep * 4)
            if (const QModelIndex index = view.indexAt(QPoint(x, y)); index.isValid())
                return index.siblingAtColumn(0);
    return {};
}

} // namespace

TViewStateKeeper::TViewStateKeeper(QAbstractItemModel& model, TKeyOf keyOf, bool keepExpansion, QObject* parent)
    : QObject(parent), m_model(model), m_keyOf(std::move(keyOf)), m_keepExpansion(keepExpansion)
{
    connect(&model, &QAbstractItemModel::modelAboutToBeReset, this, &TViewStateKeeper::Remember);
    connect(&model, &QAbstractItemModel::rowsInserted, this, &TViewStateKeeper::OnRowsInserted);
    // A new order moves the row that was at the top.
    connect(&model, &QAbstractItemModel::layoutChanged, this, &TViewStateKeeper::ScrollLater);
}

void TViewStateKeeper::SetView(QAbstractItemView* view)
{
    if (view == m_view)
        return;
    Remember();
    m_view = view;
    if (view == nullptr)
        return;
    WatchPerson(view);
    // A view of another style shows rows that are there already.
    if (Restoring() && m_model.rowCount() > 0)
        OnRowsInserted(QModelIndex(), 0, m_model.rowCount() - 1);
}

void TViewStateKeeper::Remember()
{
    // Another rebuild begins: the last one's end is no longer this one's.
    m_complete = false;
    if (m_view == nullptr || m_view->selectionModel() == nullptr || m_model.rowCount() == 0)
        return;
    // A part still being given back keeps the older state: the person has
    // not touched it since.
    if (!m_selection) {
        const QItemSelectionModel& selection = *m_view->selectionModel();
        m_selected.clear();
        for (const QModelIndex& index : selection.selectedRows())
            m_selected.insert(m_keyOf(index));
        const QModelIndex current = selection.currentIndex();
        m_hasCurrent = current.isValid();
        m_current = m_hasCurrent ? m_keyOf(current) : QString();
        m_selection = true;
    }
    if (!m_scroll) {
        const QModelIndex top = TopIndex(*m_view);
        m_hasTop = top.isValid();
        m_top = m_hasTop ? m_keyOf(top) : QString();
        m_horizontal = m_view->horizontalScrollBar()->value();
        m_scroll = true;
    }
    m_topIndex = QPersistentModelIndex();
    if (m_keepExpansion && !m_expansion) {
        m_expanded.clear();
        RememberExpanded(QModelIndex());
        m_expansion = true;
    }
}

void TViewStateKeeper::RememberExpanded(const QModelIndex& parent)
{
    const auto* tree = qobject_cast<const QTreeView*>(m_view);
    if (tree == nullptr)
        return;
    // Only expanded nodes show children whose expansion matters.
    for (int row = 0; row < m_model.rowCount(parent); ++row) {
        const QModelIndex index = m_model.index(row, 0, parent);
        if (tree->isExpanded(index)) {
            m_expanded.insert(m_keyOf(index));
            RememberExpanded(index);
        }
    }
}

void TViewStateKeeper::OnRowsInserted(const QModelIndex& parent, int first, int last)
{
    if (!Restoring() || m_view == nullptr || m_view->selectionModel() == nullptr)
        return;
    QItemSelectionModel& selection = *m_view->selectionModel();
    m_applying = true;
    // A node expands with its first child: a node without children cannot.
    if (m_expansion && parent.isValid() && m_expanded.contains(m_keyOf(parent)))
        if (auto* tree = qobject_cast<QTreeView*>(m_view))
            tree->expand(parent);
    QItemSelection found;
    int runStart = -1;
    const auto closeRun = [&](int end) {
        if (runStart >= 0)
            found.select(m_model.index(runStart, 0, parent), m_model.index(end, 0, parent));
        runStart = -1;
    };
    QModelIndex current;
    for (int row = first; row <= last; ++row) {
        const QModelIndex index = m_model.index(row, 0, parent);
        const QString key = m_keyOf(index);
        if (m_selection && m_selected.contains(key)) {
            if (runStart < 0)
                runStart = row;
        } else {
            closeRun(row - 1);
        }
        if (m_selection && m_hasCurrent && key == m_current)
            current = index;
        if (m_scroll && m_hasTop && !m_topIndex.isValid() && key == m_top)
            m_topIndex = index;
    }
    closeRun(last);
    // One selection change per batch, however many rows it selects.
    if (!found.isEmpty())
        selection.select(found, QItemSelectionModel::Select | QItemSelectionModel::Rows);
    if (current.isValid()) {
        // A view scrolls to a new current row and opens the nodes above it:
        // the scroll position and the expansion are given back on their own.
        const bool autoScroll = m_view->hasAutoScroll();
        m_view->setAutoScroll(false);
        selection.setCurrentIndex(current, QItemSelectionModel::NoUpdate);
        m_view->setAutoScroll(autoScroll);
    }
    m_applying = false;
    ScrollLater();
}

void TViewStateKeeper::ScrollLater()
{
    // Once per turn of the event loop, and after the view has laid out what
    // it was just told of (rows arrive in many insertions, a new order moves
    // them all).
    if (m_scrollQueued || !Restoring())
        return;
    m_scrollQueued = true;
    QTimer::singleShot(0, this, [this] {
        m_scrollQueued = false;
        Scroll();
        if (m_complete)
            End();
    });
}

void TViewStateKeeper::Scroll()
{
    if (!m_scroll || !m_topIndex.isValid() || m_view == nullptr)
        return;
    m_applying = true;
    m_view->scrollTo(m_topIndex, QAbstractItemView::PositionAtTop);
    m_view->horizontalScrollBar()->setValue(m_horizontal);
    m_applying = false;
}

void TViewStateKeeper::Complete()
{
    if (!Restoring())
        return;
    m_complete = true;
    ScrollLater();
}

void TViewStateKeeper::End()
{
    m_selection = false;
    m_scroll = false;
    m_expansion = false;
    m_complete = false;
    m_selected.clear();
    m_expanded.clear();
    m_hasCurrent = false;
    m_hasTop = false;
    m_topIndex = QPersistentModelIndex();
}

void TViewStateKeeper::WatchPerson(QAbstractItemView* view)
{
    // What the person does during a rebuild wins over what they did before
    // it; a choice of rows or nodes also moves the view.
    const auto byPerson = [this, view](bool* part) {
        if (!m_applying && view == m_view) {
            *part = false;
            m_scroll = false;
        }
    };
    connect(view->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            [this, byPerson](const QItemSelection& selected) {
                // Rows dropped by a filter are no choice of the person's.
                if (!selected.isEmpty())
                    byPerson(&m_selection);
            });
    connect(view->selectionModel(), &QItemSelectionModel::currentChanged, this,
            [this, byPerson](const QModelIndex& current) {
                if (current.isValid())
                    byPerson(&m_selection);
            });
    for (QScrollBar* bar : {view->verticalScrollBar(), view->horizontalScrollBar()})
        connect(bar, &QScrollBar::actionTriggered, this, [this, byPerson] { byPerson(&m_scroll); });
    if (auto* tree = qobject_cast<QTreeView*>(view)) {
        connect(tree, &QTreeView::expanded, this, [this, byPerson] { byPerson(&m_expansion); });
        connect(tree, &QTreeView::collapsed, this, [this, byPerson] { byPerson(&m_expansion); });
    }
}
