// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <functional>

#include <QObject>

#include "ui/views/MainViewsBase.h"

class QStandardItem;

/// The users page's contents: one tree node per user group and the list of
/// the users of the selected group, built on the main thread, with the edits
/// made in them (dropping users on a group, renaming a group).
class TUserViews : public QObject
{
    Q_OBJECT
public:
    explicit TUserViews(QObject* parent = nullptr);

    TGroupTreeModel& Tree() { return m_tree; }
    TRowListModel& List() { return m_list; }

    /// Merges the groups into the tree, keeping hand-made nodes, expansion
    /// and an open name editor.
    void BuildUserTree();
    void BuildUserList();

    /// Gives the users of these names the node's group and saves the list.
    void MoveToGroup(const QStringList& names, QStandardItem* node);
    /// A hand-made "Neuer Knoten". User groups have no levels, so it goes to
    /// the top whatever is selected.
    QStandardItem* AddNode();

    std::function<QString()> selectedNode;       ///< key of the selected node, "" for none
    std::function<void(const QString&)> status;  ///< the status panel
    std::function<void(int style)> listStyle;    ///< the list's style changed
    std::function<void()> rowsComplete;          ///< the list holds all its rows
    std::function<void(const QString&)> warning; ///< warning box

private:
    /// The users of the old group get the new name.
    void OnRenamed(const QString& oldText, const QString& newText);

    TGroupTreeModel m_tree;
    TRowListModel m_list;
};
