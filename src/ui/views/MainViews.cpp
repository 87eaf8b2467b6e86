// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/views/MainViews.h"

#include <QLineEdit>

#include "catalogue/SyncClient.h"
#include "catalogue/SyncObject.h"
#include "ui/main/IconTable.h"
#include "ui/main/Main.h"
#include "ui/main/MainActions.h"
#include "ui/pages/PageClients.h"
#include "ui/pages/PageObjects.h"
#include "ui/pages/PageUsers.h"
#include "ui/views/ClientPageViews.h"
#include "ui/views/MainViewsThread.h"
#include "ui/views/ObjectPageViews.h"
#include "ui/views/ScriptusPageViews.h"
#include "ui/views/UserPageViews.h"

namespace {

TListPage* ListPageOf(const TFormMain& form, TPage page)
{
    switch (page) {
    case TPage::Objects:
        return form.PageObjects();
    case TPage::Clients:
        return form.PageClients();
    case TPage::Users:
        return form.PageUsers();
    default:
        return nullptr;
    }
}

} // namespace

TMainViews::TMainViews(TFormMain& form)
    : QObject(&form), m_form(form), m_objects(nullptr), m_clients(nullptr), m_users(nullptr), m_scriptus(nullptr)
{
    SetViewIconSource(&IconTable::Icon);
    RegisterViewShutdown();
    m_objects = new TObjectPageViews(form);
    m_clients = new TClientPageViews(form);
    m_users = new TUserPageViews(form);
    m_scriptus = new TScriptusPageViews(form);
    TViewHooks& hooks = form.ViewHooks();
    hooks.rebuildObjects = [this] { m_objects->RebuildAll(); };
    hooks.rebuildClients = [this] { m_clients->Rebuild(); };
    hooks.refreshOnlineMarks = [this] { m_clients->RefreshOnlineMarks(); };
    hooks.buildAll = [this] { BuildAll(); };
    hooks.rebuildControlTree = [this] { m_scriptus->BuildTree(); };
    hooks.selectedObject = [this] {
        const QStringList keys = m_objects->SelectedKeys();
        return keys.isEmpty() ? QString() : keys.first();
    };
    WireActions();
}

void TMainViews::BuildAll()
{
    m_objects->RebuildAll();
    m_clients->Rebuild();
    m_users->Rebuild();
    m_scriptus->BuildTree();
}

void TMainViews::Refresh()
{
    if (m_form.ActivePage() != TPage::Scriptus) {
        BuildAll();
        return;
    }
    // The read builds the control tree when it is done.
    m_scriptus->RereadControls([this] {
        m_objects->RebuildAll();
        m_clients->Rebuild();
        m_users->Rebuild();
    });
}

void TMainViews::WireActions()
{
    TMainActions& a = m_form.Actions();
    a.Handle(a.ViewSymbols, [this] { SetListStyle(0); });
    a.Handle(a.ViewDetails, [this] { SetListStyle(3); });
    a.Handle(a.ViewRefresh, [this] { Refresh(); });
    a.Handle(a.ViewUp, [this] {
        if (m_form.ActivePage() == TPage::Objects)
            m_objects->FolderUp();
        else if (m_form.ActivePage() == TPage::Clients)
            m_clients->FolderUp();
    });
    a.Handle(a.ViewFilter, [this] {
        TListPage* page = ListPageOf(m_form, m_form.ActivePage());
        if (page == nullptr)
            return;
        page->FilterField()->setFocus(Qt::ShortcutFocusReason);
        page->FilterField()->selectAll();
    });
    a.Handle(a.TreeAddNode, [this] {
        if (m_form.ActivePage() == TPage::Clients)
            m_clients->AddNode();
        else if (m_form.ActivePage() == TPage::Users)
            m_users->AddNode();
    });
    a.Handle(a.ObjectShowCurrentClients, [this] {
        const QStringList keys = m_objects->SelectedKeys();
        TSyncObject* object = keys.isEmpty() ? nullptr : FindBySourcePath(keys.first());
        if (object == nullptr)
            return;
        SetClientListObjectFilter(object);
        m_clients->RebuildList();
        m_form.ShowPage(TPage::Clients);
    });
    a.Handle(a.ClientShowCurrentObjects, [this] {
        const QStringList names = m_clients->SelectedNames();
        TSyncClient* client = names.isEmpty() ? nullptr : FindClientByName(names.first());
        if (client == nullptr)
            return;
        SetObjectListClientFilter(client);
        m_objects->RebuildList();
        m_form.ShowPage(TPage::Objects);
    });
}

void TMainViews::SetListStyle(int style)
{
    switch (m_form.ActivePage()) {
    case TPage::Objects:
        m_objects->SetListStyle(style);
        break;
    case TPage::Clients:
        m_clients->SetListStyle(style);
        break;
    case TPage::Users:
        m_users->SetListStyle(style);
        break;
    default:
        break;
    }
    m_form.UpdateActionStates();
}
