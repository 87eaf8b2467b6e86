// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/pages/ListPage.h"

#include <QHeaderView>
#include <QStandardItemModel>
#include <QTreeView>
#include <QVBoxLayout>

#include "ui/pages/StatusPanels.h"
#include "ui/pages/TreeSplitter.h"

namespace {

// A column that fills the rest starts at this width; the last one stretches.
constexpr int kRestWidth = 200;

} // namespace

QTreeView* MakeColumnList(const QString& accessibleName, const std::vector<TListColumn>& columns, QWidget* parent)
{
    auto* view = new QTreeView(parent);
    view->setAccessibleName(accessibleName);
    view->setRootIsDecorated(false);
    view->setUniformRowHeights(true);
    view->setSelectionMode(QAbstractItemView::ExtendedSelection);
    view->setAlternatingRowColors(true);
    auto* model = new QStandardItemModel(0, int(columns.size()), view);
    for (int column = 0; column < int(columns.size()); ++column) {
        auto* item = new QStandardItem(QString::fromUtf8(columns[column].caption));
        item->setTextAlignment(columns[column].alignment);
        model->setHorizontalHeaderItem(column, item);
    }
    view->setModel(model);
    ApplyColumnWidths(view, columns);
    return view;
}

void ApplyColumnWidths(QTreeView* view, const std::vector<TListColumn>& columns)
{
    view->header()->setStretchLastSection(true);
    for (int column = 0; column < int(columns.size()); ++column)
        view->header()->resizeSection(column, columns[column].width > 0 ? columns[column].width : kRestWidth);
}

TListPage::TListPage(const QString& caption, int headerIcon, const QString& hint, const QString& helpTopic,
                     const std::vector<TListColumn>& columns, int statusPanels, int treeWidth, QWidget* parent)
    : TPageFrame(caption, headerIcon, hint, helpTopic, parent), m_columns(columns)
{
    m_splitter = new TTreeSplitter(caption + QStringLiteral(" - Teiler"), treeWidth, this);
    auto* tree = new QTreeView(m_splitter);
    tree->setHeaderHidden(true);
    tree->setAccessibleName(caption + QStringLiteral(" - Baum"));
    PlaceView(m_tree, tree, 0);
    PlaceView(m_list, MakeColumnList(caption + QStringLiteral(" - Liste"), columns, m_splitter), 1);
    ContentLayout()->addWidget(m_splitter, 1);

    if (statusPanels > 0) {
        m_status = new TStatusPanels(caption, statusPanels, this);
        ContentLayout()->addWidget(m_status);
    }
}

void TListPage::PlaceView(QAbstractItemView*& slot, QAbstractItemView* view, int index)
{
    QAbstractItemView* old = slot;
    slot = view;
    OfferContextMenu(view);
    if (old != nullptr) {
        // Keys bound to the list (Del, F2) go with it to its successor.
        view->addActions(old->actions());
        m_splitter->replaceWidget(index, view);
        m_splitter->SetLeftWidth(m_splitter->LeftWidth());
        old->deleteLater();
    } else {
        m_splitter->insertWidget(index, view);
    }
}

void TListPage::SetTree(QAbstractItemView* tree)
{
    PlaceView(m_tree, tree, 0);
}

void TListPage::SetList(QAbstractItemView* list)
{
    PlaceView(m_list, list, 1);
}
