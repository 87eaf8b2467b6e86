// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <functional>

#include <QObject>

#include "ui/views/MainViewsBase.h"

class QStandardItem;
class TSyncClient;

/// The clients page's contents: the client-group tree and the client list,
/// built on the main thread, and the edits made in them (dropping clients on
/// a group, renaming a group).
class TClientViews : public QObject
{
    Q_OBJECT
public:
    explicit TClientViews(QObject* parent = nullptr);

    TGroupTreeModel& Tree() { return m_tree; }
    TRowListModel& List() { return m_list; }
    const TRowListModel& List() const { return m_list; }

    /// Merges the client groups into the tree: a rebuild keeps a node just
    /// added by hand, the expanded nodes and an open name editor.
    void BuildClientTree();
    void BuildClientList();
    /// Online, alert or offline image for every row, from each client's last contact.
    void RefreshClientOnlineMarks();

    /// A client's place in the tree: the pieces of its group path, or for the
    /// path "\" the parts of its address without the last.
    static QStringList GroupPieces(const TSyncClient& client);
    /// "\a\b\" of a node.
    static QString GroupPathOf(const QStandardItem* node);

    /// Moves the clients of these list keys into the node's group and saves.
    void MoveToGroup(const QStringList& names, QStandardItem* node);
    /// The hand-made child "Neuer Knoten" under the node (top level for none).
    QStandardItem* AddNode(QStandardItem* parent);

    std::function<QString()> selectedNode;           ///< key of the selected node, "" for none
    std::function<void(const QString&)> status;      ///< first status panel
    std::function<void()> rowsComplete;              ///< the list holds all its rows
    std::function<void(int style)> listStyle;        ///< the list's style changed
    std::function<void(bool filtered)> filtered;     ///< the object filter is (no longer) set
    std::function<void(const QString&)> information; ///< information box
    std::function<void(const QString&)> warning;     ///< warning box
    std::function<bool()> soundAllowed;              ///< the window may play sounds now
    std::function<void()> alertSound;

private:
    /// Carries the objects' rights and the clients' paths over to the new name.
    void OnRenamed(QStandardItem* node, const QString& oldText);

    TGroupTreeModel m_tree;
    TRowListModel m_list;
};
