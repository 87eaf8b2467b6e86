// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/pages/ListPage.h"

#include <QAction>
#include <QHeaderView>
#include <QLineEdit>
#include <QStandardItemModel>
#include <QStyle>
#include <QTreeView>
#include <QVBoxLayout>

#include "ui/pages/StatusPanels.h"
#include "ui/pages/TreeSplitter.h"

namespace {

// A column that fills the rest starts at this width; the last one stretches.
constexpr int kRestWidth = 200;
// The rows whose texts the first widths of a list fit.
constexpr int kFitRows = 1000;
// Room beside a cell's text: its margins and the focus frame.
constexpr int kCellPadding = 12;

QHeaderView* HeaderOf(const QAbstractItemView* list)
{
    const auto* tree = qobject_cast<const QTreeView*>(list);
    return tree != nullptr ? tree->header() : nullptr;
}

// Widens the columns to their captions and to the texts of the rows first to
// last among the first kFitRows; a column is never narrowed.
void FitColumns(QTreeView& view, int first, int last)
{
    const QAbstractItemModel* model = view.model();
    QHeaderView* header = view.header();
    const QFontMetrics metrics(view.font());
    // A view without an icon size of its own draws the style's small icons.
    const int iconWidth = view.iconSize().isValid()
                              ? view.iconSize().width()
                              : view.style()->pixelMetric(QStyle::PM_SmallIconSize, nullptr, &view);
    last = qMin(last, kFitRows - 1);
    for (int column = 0; column < header->count(); ++column) {
        int width = header->sectionSizeHint(column);
        for (int row = first; row <= last; ++row) {
            const QModelIndex cell = model->index(row, column);
            const int picture = cell.data(Qt::DecorationRole).isNull() ? 0 : iconWidth + 4;
            width = qMax(width, metrics.horizontalAdvance(cell.data().toString()) + picture + kCellPadding);
        }
        if (width > header->sectionSize(column))
            header->resizeSection(column, width);
    }
}

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

QString ColumnWidthsText(const QAbstractItemView* list)
{
    const QHeaderView* header = HeaderOf(list);
    if (header == nullptr)
        return QString();
    QStringList widths;
    for (int column = 0; column < header->count(); ++column)
        widths.append(QString::number(header->sectionSize(column)));
    return widths.join(QLatin1Char(','));
}

void ApplyColumnWidthsText(QAbstractItemView* list, const QString& text)
{
    QHeaderView* header = HeaderOf(list);
    if (header == nullptr || text.isEmpty())
        return;
    const QStringList parts = text.split(QLatin1Char(','));
    for (int column = 0; column < parts.size() && column < header->count(); ++column) {
        bool number = false;
        const int width = parts[column].trimmed().toInt(&number);
        if (number && width >= 0)
            header->resizeSection(column, width);
    }
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

    auto* listPane = new QWidget;
    m_listLayout = new QVBoxLayout(listPane);
    m_listLayout->setContentsMargins(0, 0, 0, 0);
    m_filter = new QLineEdit(listPane);
    m_filter->setAccessibleName(caption + QStringLiteral(" - Filter"));
    m_filter->setPlaceholderText(QStringLiteral("Liste filtern (Strg+F)"));
    m_filter->setClearButtonEnabled(true);
    auto* clear = new QAction(m_filter);
    clear->setShortcut(Qt::Key_Escape);
    clear->setShortcutContext(Qt::WidgetShortcut);
    connect(clear, &QAction::triggered, m_filter, &QLineEdit::clear);
    m_filter->QWidget::addAction(clear);
    m_listLayout->addWidget(m_filter);
    m_splitter->addWidget(listPane);
    QTreeView* placeholder = MakeColumnList(caption + QStringLiteral(" - Liste"), columns, listPane);
    placeholder->setProperty("plenwickPlaceholder", true);
    PlaceView(m_list, placeholder, 1);
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
    if (index == 1) {
        KeepWidths(old);
        FitWhileNew(view);
    }
    if (old != nullptr) {
        // Keys bound to the list (Del, F2) go with it to its successor.
        view->addActions(old->actions());
        if (index == 0) {
            m_splitter->replaceWidget(index, view);
            m_splitter->SetLeftWidth(m_splitter->LeftWidth());
        } else {
            m_listLayout->replaceWidget(old, view);
            old->hide();
        }
        old->deleteLater();
    } else if (index == 0) {
        m_splitter->insertWidget(index, view);
    } else {
        m_listLayout->addWidget(view, 1);
    }
}

void TListPage::SetSort(int column, Qt::SortOrder order)
{
    if (column < 0 || column >= int(m_columns.size()))
        column = -1;
    if (column == m_sortColumn && order == m_sortOrder)
        return;
    m_sortColumn = column;
    m_sortOrder = order;
    Q_EMIT SortChanged();
}

void TListPage::SetTree(QAbstractItemView* tree)
{
    PlaceView(m_tree, tree, 0);
}

void TListPage::SetList(QAbstractItemView* list)
{
    PlaceView(m_list, list, 1);
}

void TListPage::KeepWidths(QAbstractItemView* leaving)
{
    const QString widths = ColumnWidthsText(leaving);
    // The placeholder before the views came has no say.
    if (!widths.isEmpty() && leaving->property("plenwickPlaceholder").isNull())
        m_keptWidths = widths;
}

// Only the first details view of a list without widths fits its columns to
// the rows; afterwards the widths are the user's.
void TListPage::FitWhileNew(QAbstractItemView* view)
{
    auto* details = qobject_cast<QTreeView*>(view);
    if (details == nullptr)
        return;
    if (!m_keptWidths.isEmpty()) {
        ApplyColumnWidthsText(details, m_keptWidths);
        return;
    }
    FitColumns(*details, 0, details->model()->rowCount() - 1);
    connect(details->model(), &QAbstractItemModel::rowsInserted, details,
            [this, details](const QModelIndex&, int first, int last) {
                if (m_keptWidths.isEmpty() && first < kFitRows)
                    FitColumns(*details, first, last);
            });
}

QString TListPage::ColumnWidths() const
{
    const QString shown = m_list->property("plenwickPlaceholder").isNull() ? ColumnWidthsText(m_list) : QString();
    return !shown.isEmpty() ? shown : m_keptWidths;
}

void TListPage::SetColumnWidths(const QString& text)
{
    m_keptWidths = text;
    if (auto* details = qobject_cast<QTreeView*>(m_list))
        ApplyColumnWidthsText(details, text);
}
