// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QObject>

class TClientPageViews;
class TFormMain;
class TObjectPageViews;
class TScriptusPageViews;
class TUserPageViews;

/// The contents of the objects, clients, users and Scriptus pages in the main window,
/// and the actions that span them (list styles, "Aufwärts", "Listen
/// aktualisieren", the filters that move between pages, "Knoten
/// hinzufügen"). Owned by the window; plugs itself into its view hooks.
class TMainViews : public QObject
{
    Q_OBJECT
public:
    explicit TMainViews(TFormMain& form);

    TObjectPageViews& Objects() { return *m_objects; }
    TClientPageViews& Clients() { return *m_clients; }
    TUserPageViews& Users() { return *m_users; }
    TScriptusPageViews& Scriptus() { return *m_scriptus; }

    /// Every tree and list anew.
    void BuildAll();
    /// "Listen aktualisieren": on the Scriptus page the control list is read
    /// again first (off the main thread), then every tree and list is built.
    void Refresh();

private:
    void WireActions();
    void SetListStyle(int style);

    TFormMain& m_form;
    TObjectPageViews* m_objects;
    TClientPageViews* m_clients;
    TUserPageViews* m_users;
    TScriptusPageViews* m_scriptus;
};
