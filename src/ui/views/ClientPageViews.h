// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QObject>
#include <QStringList>

#include "ui/views/ClientViews.h"

class QTreeView;
class TStyledList;
class TFormMain;
class TListPage;
struct TActionState;

/// The clients page's contents in the window: the group tree (editable,
/// a drop target for client rows), the client list in its style, and the
/// page's own actions.
class TClientPageViews : public QObject
{
    Q_OBJECT
public:
    explicit TClientPageViews(TFormMain& form);

    /// The tree and the list anew.
    void Rebuild();
    void RefreshOnlineMarks() { m_views.RefreshClientOnlineMarks(); }
    void RebuildList() { m_views.BuildClientList(); }
    void SetListStyle(int style);
    void FolderUp();
    /// "Knoten hinzufügen" under the selected group, with its name editor open.
    void AddNode();
    /// The names of the selected clients.
    QStringList SelectedNames() const;
    void FillState(TActionState& state) const;

private:
    void EditProperties();
    void WireActions();

    TFormMain& m_form;
    TListPage& m_page;
    TClientViews m_views;
    QTreeView* m_treeView;
    TStyledList* m_listView;
};
