// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/pages/PageUsers.h"

TPageUsers::TPageUsers(QWidget* parent)
    : TListPage(QStringLiteral("Benutzer"), 5,
                QStringLiteral("Hier sehen Sie die Benutzer, die sich am Master-Server anmelden dürfen, "
                               "geordnet nach Benutzergruppen."),
                QStringLiteral("topicBenutzer.html"),
                {{"Benutzername", 100}, {"Vollständiger Name", 200}, {"Beschreibung", 0}}, 1, 180, parent)
{
    setObjectName(QStringLiteral("TabSheetUsers"));
}
