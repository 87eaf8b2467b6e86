// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/views/ObjectPageViews.h"

#include <QAction>
#include <QTreeView>

#include "catalogue/SyncObject.h"
#include "ui/main/CatalogueCommands.h"
#include "ui/main/Main.h"
#include "ui/main/MainActions.h"
#include "ui/main/MessageBoxes.h"
#include "ui/pages/PageObjects.h"
#include "ui/pages/StatusPanels.h"
#include "ui/views/CatalogueListView.h"
#include "ui/views/MainViewsThread.h"
#include "ui/views/ViewStateKeeper.h"

namespace {

const QString kStyleOption = QStringLiteral("MainListViewObjectsViewStyle");

} // namespace

TObjectPageViews::TObjectPageViews(TFormMain& form)
    : QObject(&form), m_form(form), m_page(*form.PageObjects()), m_treeView(new QTreeView),
      m_listView(new TStyledList(m_page, m_list, kStyleOption, QStringLiteral("Objekte - Liste"),
                                 QStringLiteral("Objekt(e)"))),
      m_treeState(new TViewStateKeeper(
          m_tree, [](const QModelIndex& index) { return index.data(kNodeKeyRole).toString(); }, true, this))
{
    SetupObjectListModel(m_list);
    m_treeView->setAccessibleName(QStringLiteral("Objekte - Baum"));
    m_treeView->setHeaderHidden(true);
    m_treeView->setUniformRowHeights(true);
    m_treeView->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_treeView->setModel(&m_tree);
    m_page.SetTree(m_treeView);
    connect(m_treeView->selectionModel(), &QItemSelectionModel::currentChanged, this,
            &TObjectPageViews::OnTreeSelection);
    m_treeState->SetView(m_treeView);
    connect(m_listView, &TStyledList::SelectionChanged, &m_form, &TFormMain::UpdateActionStates);
    connect(m_listView, &TStyledList::RowActivated, this, [this] { m_form.Actions().FileOpenObject->trigger(); });
    m_listView->ShowStored();

    TObjectViewTargets targets;
    targets.tree = &m_tree;
    targets.list = &m_list;
    targets.status = [this](int panel, const QString& text) {
        if (panel == 0)
            m_listView->SetStatus(text);
        else
            m_page.Status()->SetText(panel, text);
    };
    targets.listStyle = [this](int style) { m_listView->Show(style); };
    targets.filtered = [this](bool filtered) { m_listView->SetFiltered(filtered); };
    targets.information = [this](const QString& text) { ShowMessageBox(&m_form, QMessageBox::Information, text); };
    targets.treeStarted = [this](QStandardItem* root) {
        // A rebuild gives back the expansion the person left.
        if (!m_treeState->Restoring())
            m_treeView->expand(root->index());
    };
    targets.built = [this](TViewKind kind) {
        if (kind == TViewKind::ObjectTree)
            m_treeState->Complete();
        else
            m_listView->RowsComplete();
    };
    targets.selectedNode = [this] { return m_nodeKey; };
    SetObjectViewTargets(targets);
    WireActions();
}

TObjectPageViews::~TObjectPageViews()
{
    // The builders must not hand rows to models that are going.
    CancelObjectViewBuilds();
    SetObjectViewTargets({});
}

void TObjectPageViews::WireActions()
{
    TMainActions& a = m_form.Actions();
    a.Handle(a.ObjectDelete, [this] {
        DeleteObjects(
            SelectedKeys(), [this](const QString& text) { return AskYesNo(&m_form, text); },
            [this](const QString& text) { ShowMessageBox(&m_form, QMessageBox::Warning, text); });
    });
    for (QAction* open : {a.FileOpenObject, a.FileExploreObject})
        a.Handle(open, [this, open, &a] {
            const QStringList keys = SelectedKeys();
            if (!keys.isEmpty())
                OpenObject(keys.first(), open == a.FileExploreObject, this,
                           [this](const QString& text) { ShowMessageBox(&m_form, QMessageBox::Warning, text); });
        });
    a.Handle(a.ObjectShowAll, [this] {
        SetObjectListClientFilter(nullptr);
        RebuildList();
    });
    a.Handle(a.ObjectReverseSearch, [this, &a] {
        SetObjectListFilterNegated(a.ObjectReverseSearch->isChecked());
        RebuildList();
    });
    a.AddStateSource([this](TActionState& state) { FillState(state); });
}

void TObjectPageViews::RebuildAll()
{
    StartViewBuild(TViewKind::ObjectTree);
    StartViewBuild(TViewKind::ObjectList);
}

void TObjectPageViews::RebuildList()
{
    StartViewBuild(TViewKind::ObjectList);
}

void TObjectPageViews::SetListStyle(int style)
{
    m_listView->Store(style);
    RebuildList();
}

int TObjectPageViews::ListStyle() const
{
    return m_listView->Style();
}

QString TObjectPageViews::SelectedNodeKey() const
{
    const QModelIndex current = m_treeView->currentIndex();
    return current.isValid() ? current.data(kNodeKeyRole).toString() : QString();
}

void TObjectPageViews::OnTreeSelection()
{
    const QString key = SelectedNodeKey();
    if (key == m_nodeKey)
        return;
    m_nodeKey = key;
    RebuildList();
}

void TObjectPageViews::FolderUp()
{
    const QModelIndex parent = m_treeView->currentIndex().parent();
    if (!parent.isValid())
        return;
    m_treeView->setCurrentIndex(parent);
}

QStringList TObjectPageViews::SelectedKeys() const
{
    return m_listView->SelectedKeys();
}

void TObjectPageViews::FillState(TActionState& state) const
{
    state.objectSelected = state.objectSelected || !SelectedKeys().isEmpty();
    state.objectListEmpty = state.objectListEmpty && m_list.Count() == 0;
    state.objectListFiltered = state.objectListFiltered || ObjectListClientFilter() != nullptr;
    if (state.activePage == TPage::Objects)
        state.listStyle = m_listView->Style();
}
