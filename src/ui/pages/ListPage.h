// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <vector>

#include "ui/pages/PageFrame.h"

class QAbstractItemView;
class QLineEdit;
class QVBoxLayout;
class TTreeSplitter;
class TStatusPanels;
class QTreeView;

/// One column of a list: caption and initial width; a width of 0 fills the rest.
struct TListColumn {
    const char* caption;
    int width;
    Qt::Alignment alignment = Qt::AlignLeft;
};

/// A details view with these column captions and widths and no rows yet,
/// named for assistive technology by caption.
QTreeView* MakeColumnList(const QString& accessibleName, const std::vector<TListColumn>& columns, QWidget* parent);

/// Applies the initial widths of the columns to a view's header.
void ApplyColumnWidths(QTreeView* view, const std::vector<TListColumn>& columns);

/// The layout configuration's column-width text of a list: the widths of all
/// columns in order, joined by ",". Empty for a list without columns.
QString ColumnWidthsText(const QAbstractItemView* list);

/// Applies such a text: each number that is 0 or more becomes the width of
/// the column at its position; negative numbers, missing numbers and text
/// that is no number leave their column as it is.
void ApplyColumnWidthsText(QAbstractItemView* list, const QString& text);

/// A page with a tree left of a splitter, a list with a filter field above it
/// right of it and a status bar below (objects, clients, users). Until the
/// views fill them, tree and list are empty views with the right columns.
class TListPage : public TPageFrame
{
    Q_OBJECT
public:
    TListPage(const QString& caption, int headerIcon, const QString& hint, const QString& helpTopic,
              const std::vector<TListColumn>& columns, int statusPanels, int treeWidth, QWidget* parent = nullptr);

    // The place for the page's content: the views put their tree and list here.
    /// Replaces the tree; the page owns the new one.
    void SetTree(QAbstractItemView* tree);
    /// Replaces the list; the page owns the new one, which takes over the
    /// old one's actions.
    void SetList(QAbstractItemView* list);
    QAbstractItemView* Tree() const { return m_tree; }
    QAbstractItemView* List() const { return m_list; }
    /// The column widths of the list's details style as ColumnWidthsText
    /// gives them, kept while the list shows symbols; empty before the
    /// details style was ever shown or stored widths were given.
    QString ColumnWidths() const;
    /// Stored widths for the details style, now or when it is next shown.
    /// Without any, a details view's columns widen to their captions and to
    /// the texts of the first 1 000 rows.
    void SetColumnWidths(const QString& text);
    /// The list's columns as first shown (captions and widths).
    const std::vector<TListColumn>& Columns() const { return m_columns; }

    /// The column the list is sorted by (-1: the order it was built in) and
    /// the order, kept by the page like the widths.
    int SortColumn() const { return m_sortColumn; }
    Qt::SortOrder SortOrder() const { return m_sortOrder; }
    /// A column the list does not have means the order it was built in.
    void SetSort(int column, Qt::SortOrder order);

    /// The field that narrows the list as one types; Escape clears it.
    QLineEdit* FilterField() const { return m_filter; }

    /// Its left width is the tree's width.
    TTreeSplitter* Splitter() const { return m_splitter; }

    /// The status bar; nullptr on a page without one.
    TStatusPanels* Status() const { return m_status; }

Q_SIGNALS:
    void SortChanged();

private:
    void PlaceView(QAbstractItemView*& slot, QAbstractItemView* view, int index);
    void KeepWidths(QAbstractItemView* leaving);
    void FitWhileNew(QAbstractItemView* view);

    std::vector<TListColumn> m_columns;
    TTreeSplitter* m_splitter;
    QVBoxLayout* m_listLayout;
    QLineEdit* m_filter;
    QAbstractItemView* m_tree = nullptr;
    QAbstractItemView* m_list = nullptr;
    TStatusPanels* m_status = nullptr;
    QString m_keptWidths;
    int m_sortColumn = -1;
    Qt::SortOrder m_sortOrder = Qt::AscendingOrder;
};
