// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/dialogs/InstallApplication.h"

TFormInstallApplication::TFormInstallApplication(QWidget* parent)
    : TFormPrompt(QStringLiteral("Anwendung neu starten"),
                  QStringLiteral("Die Anwendung muss neu gestartet werden, damit die Aktualisierungen wirksam werden. "
                                 "Möchten Sie die Anwendung jetzt neu starten?"),
                  parent)
{
    setObjectName(QStringLiteral("FormInstallApplication"));
}
