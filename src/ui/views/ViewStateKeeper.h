// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <functional>

#include <QObject>
#include <QPersistentModelIndex>
#include <QPointer>
#include <QSet>
#include <QString>

class QAbstractItemModel;
class QAbstractItemView;
class QModelIndex;

/// Keeps what the person was doing in a view across a rebuild of its model:
/// the selected rows, the current row, the row at the top and, in a tree,
/// the expanded nodes. When the model is emptied they are taken by the rows'
/// keys, and given back as rows of those keys arrive again, until the
/// rebuild is complete or the person selects, scrolls or expands meanwhile.
class TViewStateKeeper : public QObject
{
    Q_OBJECT
public:
    using TKeyOf = std::function<QString(const QModelIndex&)>;

    /// model: what the views show (rows arrive there); keyOf: a row's key.
    TViewStateKeeper(QAbstractItemModel& model, TKeyOf keyOf, bool keepExpansion, QObject* parent = nullptr);

    /// The view that shows the model now. A view that replaces another
    /// takes over its state.
    void SetView(QAbstractItemView* view);
    /// Every row of the rebuild has arrived: what is missing now is gone.
    /// The view is scrolled back once it has laid the rows out.
    void Complete();
    /// Whether a rebuild's state is still being given back.
    bool Restoring() const { return m_selection || m_scroll || m_expansion; }

private:
    void Remember();
    void OnRowsInserted(const QModelIndex& parent, int first, int last);
    void ScrollLater();
    void Scroll();
    void End();
    void WatchPerson(QAbstractItemView* view);
    void RememberExpanded(const QModelIndex& parent);

    QAbstractItemModel& m_model;
    TKeyOf m_keyOf;
    bool m_keepExpansion;
    QPointer<QAbstractItemView> m_view;

    // What is still being given back; the person's own doing ends each part.
    bool m_selection = false;
    bool m_scroll = false;
    bool m_expansion = false;
    bool m_applying = false; // the changes of our own are not the person's
    bool m_scrollQueued = false;
    bool m_complete = false;
    QSet<QString> m_selected;
    QSet<QString> m_expanded;
    QString m_current;
    bool m_hasCurrent = false;
    QString m_top;
    bool m_hasTop = false;
    QPersistentModelIndex m_topIndex;
    int m_horizontal = 0;
};
