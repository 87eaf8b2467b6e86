// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QObject>
#include <QStandardItemModel>
#include <QStringList>

#include "ui/views/MainViewsBase.h"

class QTreeView;
class TStyledList;
class TFormMain;
class TPageObjects;
class TViewStateKeeper;
struct TActionState;

/// The objects page's contents: the folder tree and the object list, filled
/// by the builder threads, and the page's own actions.
class TObjectPageViews : public QObject
{
    Q_OBJECT
public:
    explicit TObjectPageViews(TFormMain& form);
    ~TObjectPageViews() override;

    /// Both builds anew (the tree and the list).
    void RebuildAll();
    void RebuildList();
    /// Shows the list in the style, stores it in the layout and rebuilds it.
    void SetListStyle(int style);
    int ListStyle() const;
    /// "Aufwärts": the parent of the selected folder.
    void FolderUp();
    /// The keys (stored source names) of the selected rows.
    QStringList SelectedKeys() const;
    void FillState(TActionState& state) const;

private:
    void OnTreeSelection();
    QString SelectedNodeKey() const;
    void WireActions();

    TFormMain& m_form;
    TPageObjects& m_page;
    QStandardItemModel m_tree;
    TRowListModel m_list{ObjectListHeaders()};
    QTreeView* m_treeView;
    TStyledList* m_listView;
    TViewStateKeeper* m_treeState;
    // The folder whose objects the list shows; kept across tree rebuilds.
    QString m_nodeKey;
};
