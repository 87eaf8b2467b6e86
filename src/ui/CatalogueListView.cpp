// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/CatalogueListView.h"

#include <QHeaderView>
#include <QListView>
#include <QTreeView>

#include "ui/MainViewsBase.h"

TCatalogueListView::TCatalogueListView(const QString& caption, QWidget* parent)
    : QStackedWidget(parent), m_symbols(new QListView(this)), m_details(new QTreeView(this))
{
    setAccessibleName(caption);
    m_symbols->setAccessibleName(caption);
    m_details->setAccessibleName(caption);

    m_symbols->setViewMode(QListView::IconMode);
    m_symbols->setResizeMode(QListView::Adjust);
    m_symbols->setMovement(QListView::Static);
    // Equal cells and batched layout keep 100 000 rows cheap to lay out.
    m_symbols->setUniformItemSizes(true);
    m_symbols->setLayoutMode(QListView::Batched);
    m_symbols->setBatchSize(2000);
    m_symbols->setWordWrap(true);
    m_symbols->setGridSize(QSize(96, 64));
    m_symbols->setIconSize(QSize(32, 32));

    m_details->setRootIsDecorated(false);
    m_details->setUniformRowHeights(true);
    m_details->setItemsExpandable(false);
    m_details->setAllColumnsShowFocus(true);

    for (QAbstractItemView* view : {static_cast<QAbstractItemView*>(m_symbols), static_cast<QAbstractItemView*>(m_details)}) {
        view->setSelectionMode(QAbstractItemView::ExtendedSelection);
        view->setSelectionBehavior(QAbstractItemView::SelectRows);
        view->setEditTriggers(QAbstractItemView::NoEditTriggers);
        view->setDragEnabled(true);
        view->setDragDropMode(QAbstractItemView::DragOnly);
        connect(view, &QAbstractItemView::doubleClicked, this,
                [this](const QModelIndex& index) { Q_EMIT RowActivated(index.row()); });
    }
    addWidget(m_symbols);
    addWidget(m_details);
}

void TCatalogueListView::SetModel(QAbstractItemModel* model)
{
    m_details->setModel(model);
    m_symbols->setModel(model);
    m_symbols->setSelectionModel(m_details->selectionModel());
}

void TCatalogueListView::SetViewStyle(int style)
{
    m_style = style == kStyleDetails ? kStyleDetails : kStyleSymbols;
    setCurrentWidget(m_style == kStyleDetails ? static_cast<QWidget*>(m_details) : m_symbols);
}

void TCatalogueListView::SetColumnWidths(const QList<int>& widths)
{
    for (int column = 0; column < widths.size(); ++column)
        if (widths[column] >= 0)
            m_details->setColumnWidth(column, widths[column]);
    m_details->header()->setStretchLastSection(true);
    m_details->header()->setMinimumSectionSize(40);
}

QAbstractItemView* TCatalogueListView::ActiveView() const
{
    return m_style == kStyleDetails ? static_cast<QAbstractItemView*>(m_details) : m_symbols;
}

QItemSelectionModel* TCatalogueListView::Selection() const
{
    return m_details->selectionModel();
}

QList<int> TCatalogueListView::SelectedRows() const
{
    QList<int> rows;
    if (Selection() == nullptr)
        return rows;
    for (const QModelIndex& index : Selection()->selectedRows())
        rows.append(index.row());
    std::sort(rows.begin(), rows.end());
    return rows;
}

void TCatalogueListView::SetFiltered(bool filtered)
{
    ShowFilterColour(*m_symbols, filtered);
    ShowFilterColour(*m_details, filtered);
}
