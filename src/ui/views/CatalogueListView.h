// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QObject>
#include <QStringList>

class QAbstractItemModel;
class QAbstractItemView;
class QListView;
class QTreeView;
class QWidget;
class TListPage;
class TListProxyModel;
class TRowListModel;
class TViewStateKeeper;

/// The symbols style of a catalogue list: large pictures with captions, in
/// equal cells laid out in batches, so 100 000 rows stay cheap.
QListView* MakeSymbolsView(const QString& caption, QAbstractItemModel* model, QWidget* parent);
/// Makes a details view (one row per entry, every column) fit for a catalogue
/// list: uniform rows, whole rows selected, rows dragged.
void PrepareDetailsView(QTreeView& view, QAbstractItemModel* model);

/// A page's catalogue list: one view at a time in the list style (symbols,
/// or details with the page's columns), the style kept in the layout; in
/// either style sorted as the page says and narrowed by its filter field.
class TStyledList : public QObject
{
    Q_OBJECT
public:
    /// option: the layout setting that holds the style; caption: the view's
    /// accessible name; countUnit: what the status counts ("Objekt(e)").
    TStyledList(TListPage& page, TRowListModel& model, const QString& option, const QString& caption,
                const QString& countUnit);

    /// Shows the list in the style; a new view only when the style changes.
    void Show(int style);
    /// Shows the style stored in the layout; symbols while the options are
    /// not registered yet (the window exists before them), until a build says.
    void ShowStored();
    /// Stores the style in the layout, saves the layout at once and shows it.
    void Store(int style);
    int Style() const { return m_style; }
    QAbstractItemView* View() const { return m_view; }
    /// The keys of the selected rows, in row order.
    QStringList SelectedKeys() const;
    /// The filter colour, also for views made later.
    void SetFiltered(bool filtered);
    /// The status text of the whole list, shown in the first status panel
    /// unless the filter field narrows the list: then "n von m ...".
    void SetStatus(const QString& text);
    /// A rebuild has handed over all its rows: the selection, current row
    /// and scroll position it kept are final once the rows are in order.
    void RowsComplete();

Q_SIGNALS:
    /// The selected rows changed, also by a rebuild of the list.
    void SelectionChanged();
    void RowActivated();

private:
    void OnHeaderClicked(int column);
    void ShowSort();
    void ShowSortIndicator();
    void ShowCount();

    TListPage& m_page;
    TRowListModel& m_model;
    TListProxyModel* m_proxy;
    TViewStateKeeper* m_keeper;
    QString m_option;
    QString m_caption;
    QString m_countUnit;
    QString m_status;
    QAbstractItemView* m_view = nullptr;
    int m_style = -1;
    bool m_filtered = false;
    bool m_completeAfterPass = false;
};

/// A tree of groups: names edited in place (F2 or a click on the selected
/// node), list rows dropped on its nodes.
QTreeView* MakeGroupTreeView(const QString& caption, QAbstractItemModel* model);
