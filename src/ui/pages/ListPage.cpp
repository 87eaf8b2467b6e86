// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/pages/ListPage.h"

#include <functional>

#include <QAction>
#include <QHeaderView>
#include <QLineEdit>
#include <QStandardItemModel>
#include <QStyle>
#include <QTimer>
#include <QTreeView>
#include <QVBoxLayout>

#include "ui/pages/StatusPanels.h"
#include "ui/pages/TreeSplitter.h"

namespace {

// A column that fills the rest starts at this width; the last one stretches.
constexpr int kRestWidth = 200;
// The rows whose texts the first widths of a list fit, and how many of them
// the window measures at a time (a few milliseconds' work).
constexpr int kFitRows = 1000;
constexpr int kFitSliceRows = 100;
// Room beside a cell's text: its margins and the focus frame.
constexpr int kCellPadding = 12;

QHeaderView* HeaderOf(const QAbstractItemView* list)
{
    const auto* tree = qobject_cast<const QTreeView*>(list);
    return tree != nullptr ? tree->header() : nullptr;
}

// Widens a new details view's columns to their captions and to the texts of
// its first kFitRows rows, a slice of rows per turn of the event loop:
// measuring the texts of a thousand rows would hold the window too long. A
// column is never narrowed. It ends with its view, or once the view's widths
// are no longer to be fitted.
class TColumnFitter : public QObject
{
public:
    TColumnFitter(QTreeView& view, std::function<bool()> fitting) : QObject(&view), m_view(view), m_fitting(fitting)
    {
        QHeaderView* header = view.header();
        for (int column = 0; column < header->count(); ++column)
            m_widths.push_back(header->sectionSizeHint(column));
        m_slice.setSingleShot(true);
        connect(&m_slice, &QTimer::timeout, this, &TColumnFitter::Slice);
        QAbstractItemModel* model = view.model();
        connect(model, &QAbstractItemModel::rowsInserted, this,
                [this](const QModelIndex&, int first, int last) { Queue(first, last); });
        // A rebuild's rows come again from the first.
        connect(model, &QAbstractItemModel::modelReset, this, [this] { m_end = -1; });
        Queue(0, model->rowCount() - 1);
    }

private:
    void Queue(int first, int last)
    {
        if (first >= kFitRows)
            return;
        m_next = m_end < m_next ? first : qMin(m_next, first);
        m_end = qMax(m_end, qMin(last, kFitRows - 1));
        if (!m_slice.isActive())
            m_slice.start(0);
    }

    void Slice()
    {
        if (!m_fitting()) {
            deleteLater();
            return;
        }
        const QAbstractItemModel* model = m_view.model();
        const QFontMetrics metrics(m_view.font());
        // A view without an icon size of its own draws the style's small icons.
        const int iconWidth = m_view.iconSize().isValid()
                                  ? m_view.iconSize().width()
                                  : m_view.style()->pixelMetric(QStyle::PM_SmallIconSize, nullptr, &m_view);
        const int columns = qMin(static_cast<int>(m_widths.size()), model->columnCount());
        const int stop = qMin(m_next + kFitSliceRows, model->rowCount());
        for (; m_next <= m_end && m_next < stop; ++m_next) {
            for (int column = 0; column < columns; ++column) {
                const QModelIndex cell = model->index(m_next, column);
                const int picture = cell.data(Qt::DecorationRole).isNull() ? 0 : iconWidth + 4;
                int& width = m_widths[static_cast<size_t>(column)];
                width = qMax(width, metrics.horizontalAdvance(cell.data().toString()) + picture + kCellPadding);
            }
        }
        QHeaderView* header = m_view.header();
        for (int column = 0; column < columns; ++column)
            if (m_widths[static_cast<size_t>(column)] > header->sectionSize(column))
                header->resizeSection(column, m_widths[static_cast<size_t>(column)]);
        if (m_next <= m_end && m_next < model->rowCount())
            m_slice.start(0);
    }

    QTreeView& m_view;
    std::function<bool()> m_fitting;
    std::vector<int> m_widths;
    int m_next = 0;
    int m_end = -1; // the last row to measure; m_next past it: nothing to do
    QTimer m_slice;
};

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
    new TColumnFitter(*details, [this] { return m_keptWidths.isEmpty(); });
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
