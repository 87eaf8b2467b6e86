// SPDX-License-Identifier: GPL-3.0-or-later
// The users page shows the user list of the master server, grouped by user group.
#pragma once

#include "ui/pages/ListPage.h"

/// "Benutzer": user tree, splitter, user list; one status panel with the
/// count, as the objects and clients pages have.
class TPageUsers : public TListPage
{
    Q_OBJECT
public:
    explicit TPageUsers(QWidget* parent = nullptr);
};
