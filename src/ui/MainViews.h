// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QObject>

class TClientPageViews;
class TFormMain;
class TObjectPageViews;
class TUserPageViews;

/// The contents of the objects, clients and users pages in the main window,
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

    /// Every tree and list anew.
    void BuildAll();

private:
    void WireActions();
    void SetListStyle(int style);

    TFormMain& m_form;
    TObjectPageViews* m_objects;
    TClientPageViews* m_clients;
    TUserPageViews* m_users;
};
