// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/CatalogueListView.h"

#include <QListView>
#include <QTreeView>

namespace {

void PrepareView(QAbstractItemView& view, QAbstractItemModel* model)
{
    view.setModel(model);
    view.setSelectionMode(QAbstractItemView::ExtendedSelection);
    view.setSelectionBehavior(QAbstractItemView::SelectRows);
    view.setEditTriggers(QAbstractItemView::NoEditTriggers);
    view.setDragEnabled(true);
    view.setDragDropMode(QAbstractItemView::DragOnly);
    view.setContextMenuPolicy(Qt::CustomContextMenu);
}

} // namespace

QListView* MakeSymbolsView(const QString& caption, QAbstractItemModel* model, QWidget* parent)
{
    auto* view = new QListView(parent);
    view->setAccessibleName(caption);
    view->setViewMode(QListView::IconMode);
    view->setResizeMode(QListView::Adjust);
    view->setMovement(QListView::Static);
    view->setUniformItemSizes(true);
    view->setLayoutMode(QListView::Batched);
    view->setBatchSize(2000);
    view->setWordWrap(true);
    view->setGridSize(QSize(96, 64));
    view->setIconSize(QSize(32, 32));
    PrepareView(*view, model);
    return view;
}

void PrepareDetailsView(QTreeView& view, QAbstractItemModel* model)
{
    QAbstractItemModel* old = view.model();
    PrepareView(view, model);
    view.setRootIsDecorated(false);
    view.setUniformRowHeights(true);
    view.setItemsExpandable(false);
    view.setAllColumnsShowFocus(true);
    // The placeholder model a fresh details view may carry.
    if (old != nullptr && old != model && old->parent() == &view)
        old->deleteLater();
}
