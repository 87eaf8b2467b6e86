// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <vector>

#include <QHash>
#include <QStandardItemModel>

class TSyncControl;

/// The tree of the desktop's windows and controls (TreeViewScriptus): one
/// node per program, below it its windows and controls as they nest, sorted
/// by text at every level. Built on the main thread from the control list.
/// A node knows its control by handle only, so a list read again on another
/// thread never leaves the tree pointing at a freed element.
class TControlTree : public QStandardItemModel
{
    Q_OBJECT
public:
    /// The handle of a node's control; absent on a program node.
    static constexpr int kHandleRole = Qt::UserRole + 1;
    /// The node's index in the main window's small image list.
    static constexpr int kImageRole = Qt::UserRole + 2;

    explicit TControlTree(QObject* parent = nullptr);

    /// Builds the tree anew from the control list (MiscShowVisibleControlsOnly
    /// decides whether hidden controls show), with its log entries. Program
    /// icons arrive later: they are read on another thread.
    void Build();

    /// The element a node stands for; nullptr for a program node, for no node
    /// and for a control no longer in the list. Under the list's read lock.
    static TSyncControl* ControlOf(const QModelIndex& node);
    /// The node of an element; invalid when the tree left it out.
    QModelIndex NodeOf(TSyncControl* control) const;

private:
    QStandardItem* NodeFor(TSyncControl* control);
    QStandardItem* ProgramNode(TSyncControl* control);
    void FetchIcons();

    // Program nodes by file name in lower case.
    QHash<QString, QStandardItem*> m_programs;
    // Control nodes by handle, so the list's elements carry no view pointer.
    QHash<quint64, QStandardItem*> m_nodes;
    // Program node and the window whose icon it shows, in build order.
    std::vector<std::pair<QPersistentModelIndex, quint64>> m_iconWindows;
    // Icons of an older build are dropped when they arrive.
    int m_generation = 0;
};
