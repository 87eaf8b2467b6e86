// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/views/ClientPageViews.h"

#include <QAction>
#include <QApplication>
#include <QTreeView>

#include "catalogue/SyncClient.h"
#include "foundation/ServiceMode.h"
#include "ui/dialogs/MainEditText.h"
#include "ui/main/CatalogueCommands.h"
#include "ui/main/Main.h"
#include "ui/main/MainActions.h"
#include "ui/main/MessageBoxes.h"
#include "ui/pages/PageClients.h"
#include "ui/pages/StatusPanels.h"
#include "ui/views/CatalogueListView.h"
#include "ui/views/MainViewsThread.h"

namespace {

const QString kStyleOption = QStringLiteral("MainListViewClientsViewStyle");

} // namespace

TClientPageViews::TClientPageViews(TFormMain& form)
    : QObject(&form), m_form(form), m_page(*form.PageClients()),
      m_treeView(MakeGroupTreeView(QStringLiteral("Clients - Baum"), &m_views.Tree())),
      m_listView(new TStyledList(m_page, m_views.List(), kStyleOption, QStringLiteral("Clients - Liste"),
                                 QStringLiteral("Client(s)")))
{
    m_page.SetTree(m_treeView);
    form.PageClients()->SetSelectionSource([this] { return SelectedNames(); });
    connect(m_treeView->selectionModel(), &QItemSelectionModel::currentChanged, this,
            [this] { m_views.BuildClientList(); });
    m_views.selectedNode = [this] {
        const QStandardItem* node = m_views.Tree().itemFromIndex(m_treeView->currentIndex());
        return node != nullptr ? NodeKey(NodePath(node)) : QString();
    };
    m_views.rowsComplete = [this] { m_listView->RowsComplete(); };
    m_views.status = [this](const QString& text) { m_listView->SetStatus(text); };
    m_views.listStyle = [this](int style) { m_listView->Show(style); };
    m_views.filtered = [this](bool filtered) { m_listView->SetFiltered(filtered); };
    m_views.information = [this](const QString& text) { ShowMessageBox(&m_form, QMessageBox::Information, text); };
    m_views.warning = [this](const QString& text) { ShowMessageBox(&m_form, QMessageBox::Warning, text); };
    // A service has nobody at the screen to hear it.
    m_views.soundAllowed = [] { return !RunningAsService(); };
    m_views.alertSound = [] { QApplication::beep(); };
    connect(m_listView, &TStyledList::SelectionChanged, &m_form, &TFormMain::UpdateActionStates);
    m_listView->ShowStored();
    WireActions();
}

void TClientPageViews::WireActions()
{
    TMainActions& a = m_form.Actions();
    a.Handle(a.ClientDelete, [this] {
        DeleteClients(SelectedNames(), [this](const QString& text) { return AskYesNo(&m_form, text); });
    });
    a.Handle(a.ClientProperties, [this] { EditProperties(); });
    a.Handle(a.ClientShowAll, [this] {
        SetClientListObjectFilter(nullptr);
        m_views.BuildClientList();
    });
    a.Handle(a.ClientReverseSearch, [this, &a] {
        SetClientListFilterNegated(a.ClientReverseSearch->isChecked());
        m_views.BuildClientList();
    });
    a.AddStateSource([this](TActionState& state) { FillState(state); });
}

void TClientPageViews::Rebuild()
{
    m_views.BuildClientTree();
    m_views.BuildClientList();
}

void TClientPageViews::SetListStyle(int style)
{
    m_listView->Store(style);
    m_views.BuildClientList();
}

void TClientPageViews::FolderUp()
{
    const QModelIndex parent = m_treeView->currentIndex().parent();
    if (parent.isValid())
        m_treeView->setCurrentIndex(parent);
}

void TClientPageViews::AddNode()
{
    QStandardItem* node = m_views.AddNode(m_views.Tree().itemFromIndex(m_treeView->currentIndex()));
    if (node->parent() != nullptr)
        m_treeView->expand(node->parent()->index());
    m_treeView->setCurrentIndex(node->index());
    m_treeView->edit(node->index());
}

void TClientPageViews::EditProperties()
{
    const QStringList names = SelectedNames();
    TSyncClient* client = names.isEmpty() ? nullptr : FindClientByName(names.first());
    if (client == nullptr)
        return;
    const std::optional<QString> text =
        TFormEditText::Edit(&m_form, QStringLiteral("Client-Beschreibung eingeben"), client->ClientDescription());
    // The dialog waited for a person: the client may have gone meanwhile.
    client = FindClientByName(names.first());
    if (!text || client == nullptr)
        return;
    client->SetClientDescription(*text);
    m_views.BuildClientList();
    SaveClientList();
}

QStringList TClientPageViews::SelectedNames() const
{
    return m_listView->SelectedKeys();
}

void TClientPageViews::FillState(TActionState& state) const
{
    state.clientSelected = state.clientSelected || !SelectedNames().isEmpty();
    state.clientListFiltered = state.clientListFiltered || ClientListObjectFilter() != nullptr;
    if (state.activePage == TPage::Clients)
        state.listStyle = m_listView->Style();
}
