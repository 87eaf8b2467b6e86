// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QStackedWidget>

class QAbstractItemModel;
class QAbstractItemView;
class QItemSelectionModel;
class QListView;
class QTreeView;

/// A catalogue list in its two styles: symbols (large pictures, captions
/// only) and details (one row per entry with every column). Both show the
/// same model and share one selection, so switching keeps what is selected.
class TCatalogueListView : public QStackedWidget
{
    Q_OBJECT
public:
    /// caption: the list's German name, given to both views as accessible name.
    TCatalogueListView(const QString& caption, QWidget* parent = nullptr);

    void SetModel(QAbstractItemModel* model);
    /// 0 symbols, 3 details.
    void SetViewStyle(int style);
    int ViewStyle() const { return m_style; }
    /// Widths of the details columns; -1 lets a column fill the rest.
    void SetColumnWidths(const QList<int>& widths);

    QAbstractItemView* ActiveView() const;
    QListView* SymbolsView() const { return m_symbols; }
    QTreeView* DetailsView() const { return m_details; }
    QItemSelectionModel* Selection() const;
    /// Selected rows in ascending order.
    QList<int> SelectedRows() const;
    /// Marks the list as filtered (its background colour).
    void SetFiltered(bool filtered);

Q_SIGNALS:
    void RowActivated(int row);

private:
    QListView* m_symbols;
    QTreeView* m_details;
    int m_style = 0;
};
