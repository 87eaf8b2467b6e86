// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/views/CatalogueListView.h"

#include <utility>

#include <QHeaderView>
#include <QLineEdit>
#include <QListView>
#include <QTreeView>

#include "foundation/MainConfig.h"
#include "ui/pages/ListPage.h"
#include "ui/pages/StatusPanels.h"
#include "ui/views/ListProxyModel.h"
#include "ui/views/MainViewsBase.h"
#include "ui/views/ViewStateKeeper.h"

namespace {

constexpr int kSymbolSize = 32;
constexpr int kNameCharacters = 20;
constexpr int kMinimumCellWidth = 96;
constexpr int kCellPadding = 12;

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
    view->setIconSize(QSize(kSymbolSize, kSymbolSize));
    // A name of 20 characters fits a cell's width, a longer one wraps to a second line.
    const QFontMetrics metrics(view->font());
    view->setGridSize(QSize(qMax(kMinimumCellWidth, metrics.averageCharWidth() * kNameCharacters + kCellPadding),
                            kSymbolSize + 2 * metrics.height() + kCellPadding));
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

TStyledList::TStyledList(TListPage& page, TRowListModel& model, const QString& option, const QString& caption,
                         const QString& countUnit)
    : QObject(&page), m_page(page), m_model(model), m_proxy(new TListProxyModel(model, this)),
      m_keeper(new TViewStateKeeper(
          *m_proxy, [this](const QModelIndex& index) { return m_model.Key(m_proxy->SourceRow(index)); }, false, this)),
      m_option(option), m_caption(caption), m_countUnit(countUnit)
{
    // A rebuild drops the selection without a selection signal, and so does
    // a filter that hides the selected rows.
    connect(m_proxy, &QAbstractItemModel::modelReset, this, &TStyledList::SelectionChanged);
    connect(m_proxy, &QAbstractItemModel::layoutChanged, this, &TStyledList::SelectionChanged);
    connect(m_proxy, &TListProxyModel::CountChanged, this, &TStyledList::ShowCount);
    connect(m_proxy, &QAbstractItemModel::layoutChanged, this, [this] {
        if (std::exchange(m_completeAfterPass, false))
            m_keeper->Complete();
    });
    connect(page.FilterField(), &QLineEdit::textChanged, m_proxy, &TListProxyModel::SetFilterText);
    connect(&page, &TListPage::SortChanged, this, &TStyledList::ShowSort);
    ShowSort();
}

void TStyledList::OnHeaderClicked(int column)
{
    const bool again = column == m_page.SortColumn() && m_page.SortOrder() == Qt::AscendingOrder;
    m_page.SetSort(column, again ? Qt::DescendingOrder : Qt::AscendingOrder);
}

void TStyledList::ShowSort()
{
    m_proxy->SortBy(m_page.SortColumn(), m_page.SortOrder());
    ShowSortIndicator();
}

void TStyledList::ShowSortIndicator()
{
    if (auto* details = qobject_cast<QTreeView*>(m_view)) {
        QHeaderView* header = details->header();
        header->setSortIndicatorShown(m_page.SortColumn() >= 0);
        header->setSortIndicator(m_page.SortColumn(), m_page.SortOrder());
    }
}

void TStyledList::SetStatus(const QString& text)
{
    m_status = text;
    ShowCount();
}

void TStyledList::ShowCount()
{
    if (m_page.Status() == nullptr)
        return;
    m_page.Status()->SetText(
        0, m_proxy->Filtering()
               ? QStringLiteral("%1 von %2 %3").arg(m_proxy->rowCount()).arg(m_model.Count()).arg(m_countUnit)
               : m_status);
}

void TStyledList::RowsComplete()
{
    // New rows of a sorted list are sorted in by a pass a little later.
    if (m_proxy->PassPending())
        m_completeAfterPass = true;
    else
        m_keeper->Complete();
}

void TStyledList::Show(int style)
{
    style = style == kStyleDetails ? kStyleDetails : kStyleSymbols;
    if (style == m_style && m_view != nullptr)
        return;
    m_style = style;
    if (style == kStyleDetails) {
        QTreeView* details = MakeColumnList(m_caption, m_page.Columns(), nullptr);
        PrepareDetailsView(*details, m_proxy);
        ApplyColumnWidths(details, m_page.Columns());
        details->header()->setSectionsClickable(true);
        connect(details->header(), &QHeaderView::sectionClicked, this, &TStyledList::OnHeaderClicked);
        m_view = details;
        ShowSortIndicator();
    } else {
        m_view = MakeSymbolsView(m_caption, m_proxy, nullptr);
    }
    ShowFilterColour(*m_view, m_filtered);
    connect(m_view->selectionModel(), &QItemSelectionModel::selectionChanged, this, &TStyledList::SelectionChanged);
    connect(m_view, &QAbstractItemView::doubleClicked, this, &TStyledList::RowActivated);
    m_keeper->SetView(m_view);
    m_page.SetList(m_view);
}

void TStyledList::ShowStored()
{
    Show(OptionsRegistered() ? LayoutConfig().GetInteger(m_option) : kStyleSymbols);
}

void TStyledList::Store(int style)
{
    LayoutConfig().Set(m_option, style);
    Show(style);
    LayoutConfig().SaveAll();
}

QStringList TStyledList::SelectedKeys() const
{
    QStringList keys;
    if (m_view == nullptr || m_view->selectionModel() == nullptr)
        return keys;
    QModelIndexList rows = m_view->selectionModel()->selectedRows();
    std::sort(rows.begin(), rows.end());
    for (const QModelIndex& index : rows)
        keys.append(m_model.Key(m_proxy->SourceRow(index)));
    return keys;
}

void TStyledList::SetFiltered(bool filtered)
{
    m_filtered = filtered;
    if (m_view != nullptr)
        ShowFilterColour(*m_view, filtered);
}

QTreeView* MakeGroupTreeView(const QString& caption, QAbstractItemModel* model)
{
    auto* view = new QTreeView;
    view->setAccessibleName(caption);
    view->setHeaderHidden(true);
    view->setUniformRowHeights(true);
    view->setModel(model);
    view->setEditTriggers(QAbstractItemView::EditKeyPressed | QAbstractItemView::SelectedClicked);
    view->setAcceptDrops(true);
    view->setDropIndicatorShown(true);
    view->setDragDropMode(QAbstractItemView::DropOnly);
    view->setDefaultDropAction(Qt::MoveAction);
    view->setContextMenuPolicy(Qt::CustomContextMenu);
    return view;
}
