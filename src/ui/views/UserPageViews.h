// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QObject>

#include "ui/views/UserViews.h"

class QTreeView;
class TStyledList;
class TFormMain;
class TListPage;
struct TActionState;

/// The users page's contents in the window: the group tree (editable, a drop
/// target for user rows) and the user list in its style.
class TUserPageViews : public QObject
{
    Q_OBJECT
public:
    explicit TUserPageViews(TFormMain& form);

    /// The tree and the list anew.
    void Rebuild();
    void SetListStyle(int style);
    /// "Knoten hinzufügen", with its name editor open.
    void AddNode();
    void FillState(TActionState& state) const;

private:
    TFormMain& m_form;
    TListPage& m_page;
    TUserViews m_views;
    QTreeView* m_treeView;
    TStyledList* m_listView;
};
