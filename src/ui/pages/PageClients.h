// SPDX-License-Identifier: GPL-3.0-or-later
// The clients page shows every computer that ever connected, arranged in the tree of client groups.
#pragma once

#include <functional>

#include <QStringList>

#include "ui/pages/ListPage.h"

/// "Clients": client-group tree, splitter, client list; two status panels
/// (the second shows the clock).
class TPageClients : public TListPage
{
    Q_OBJECT
public:
    explicit TPageClients(QWidget* parent = nullptr);

    /// The official computer names of the selected client rows; the views
    /// plug in where they come from.
    void SetSelectionSource(std::function<QStringList()> source) { m_selection = std::move(source); }
    QStringList SelectedClients() const { return m_selection ? m_selection() : QStringList(); }

private:
    std::function<QStringList()> m_selection;
};
