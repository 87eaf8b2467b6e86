// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/pages/PageClients.h"

TPageClients::TPageClients(QWidget* parent)
    : TListPage(QStringLiteral("Clients"), 0,
                QStringLiteral("Hier sehen Sie alle Computer, die sich je mit dem Master-Server verbunden haben, "
                               "geordnet nach Client-Gruppen."),
                QStringLiteral("topicClients.html"),
                {{"Offizieller Computername", 150},
                 {"Lokaler Computername", 140},
                 {"Adresse", 100},
                 {"Letzter Kontakt", 100},
                 {"Beschreibung", 180},
                 {"Skriptus", 0}},
                2, 180, parent)
{
    setObjectName(QStringLiteral("TabSheetClients"));
}
