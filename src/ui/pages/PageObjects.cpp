// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/pages/PageObjects.h"

TPageObjects::TPageObjects(QWidget* parent)
    : TListPage(QStringLiteral("Objekte"), 2,
                QStringLiteral("Hier sehen Sie alle Objekte, die dieser Computer verteilt oder erhalten hat. "
                               "Wählen Sie links einen Ordner, um nur seine Objekte zu sehen."),
                QStringLiteral("topicObjekte.html"),
                {{"Objekt", 100},
                 {"Geladen", 60},
                 {"Installiert", 60},
                 {"Attribute", 55, Qt::AlignHCenter},
                 {"Dateidatum", 100},
                 {"Dateigröße", 70, Qt::AlignRight},
                 {"Version", 80},
                 {"Server-Quellordner", 0},
                 {"Client-Zielordner", 0}},
                3, 180, parent)
{
    setObjectName(QStringLiteral("TabSheetObjects"));
}
