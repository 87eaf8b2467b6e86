// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/views/UserPageViews.h"

#include <QTreeView>

#include "ui/main/Main.h"
#include "ui/main/MainActions.h"
#include "ui/main/MessageBoxes.h"
#include "ui/pages/PageUsers.h"
#include "ui/views/CatalogueListView.h"

namespace {

const QString kStyleOption = QStringLiteral("MainListViewUsersViewStyle");

} // namespace

TUserPageViews::TUserPageViews(TFormMain& form)
    : QObject(&form), m_form(form), m_page(*form.PageUsers()),
      m_treeView(MakeGroupTreeView(QStringLiteral("Benutzer - Baum"), &m_views.Tree())),
      m_listView(new TStyledList(m_page, m_views.List(), kStyleOption, QStringLiteral("Benutzer - Liste"),
                                 QStringLiteral("Benutzer")))
{
    m_page.SetTree(m_treeView);
    connect(m_treeView->selectionModel(), &QItemSelectionModel::currentChanged, this,
            [this] { m_views.BuildUserList(); });
    m_views.selectedNode = [this] {
        const QStandardItem* node = m_views.Tree().itemFromIndex(m_treeView->currentIndex());
        return node != nullptr ? NodeKey(NodePath(node)) : QString();
    };
    m_views.rowsComplete = [this] { m_listView->RowsComplete(); };
    m_views.status = [this](const QString& text) { m_listView->SetStatus(text); };
    m_views.listStyle = [this](int style) { m_listView->Show(style); };
    m_views.warning = [this](const QString& text) { ShowMessageBox(&m_form, QMessageBox::Warning, text); };
    m_listView->ShowStored();
    form.Actions().AddStateSource([this](TActionState& state) { FillState(state); });
}

void TUserPageViews::Rebuild()
{
    m_views.BuildUserTree();
    m_views.BuildUserList();
}

void TUserPageViews::SetListStyle(int style)
{
    m_listView->Store(style);
    m_views.BuildUserList();
}

void TUserPageViews::AddNode()
{
    QStandardItem* node = m_views.AddNode();
    m_treeView->setCurrentIndex(node->index());
    m_treeView->edit(node->index());
}

void TUserPageViews::FillState(TActionState& state) const
{
    if (state.activePage == TPage::Users)
        state.listStyle = m_listView->Style();
}
