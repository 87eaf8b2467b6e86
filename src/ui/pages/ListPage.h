// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <vector>

#include "ui/pages/PageFrame.h"

class QAbstractItemView;
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

/// A page with a tree left of a splitter, a list right of it and a status bar
/// below (objects, clients, users). Until the views fill them, tree and list
/// are empty views with the right columns.
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
    /// The list's columns as first shown (captions and widths).
    const std::vector<TListColumn>& Columns() const { return m_columns; }

    /// Its left width is the tree's width.
    TTreeSplitter* Splitter() const { return m_splitter; }

    /// The status bar; nullptr on a page without one.
    TStatusPanels* Status() const { return m_status; }

private:
    void PlaceView(QAbstractItemView*& slot, QAbstractItemView* view, int index);

    std::vector<TListColumn> m_columns;
    TTreeSplitter* m_splitter;
    QAbstractItemView* m_tree = nullptr;
    QAbstractItemView* m_list = nullptr;
    TStatusPanels* m_status = nullptr;
};
