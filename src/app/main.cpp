// SPDX-License-Identifier: GPL-3.0-or-later
#include <QCoreApplication>
#include <QTimer>

#include "app/HeadlessUi.h"
#include "foundation/MainConfig.h"
#include "foundation/PoolInterlocked.h"
#include "platform/VersionInfo.h"

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(ProductName());
    THeadlessUi ui;
    SetUi(&ui);

    RegisterAllOptions();
    Log(QStringLiteral("Main"), QStringLiteral("%1 %2 gestartet").arg(ProductName(), OwnVersionString(QStringLiteral("FileVersion"))), 46);
    Ui().SetCaption(MainCaption());
    QTimer::singleShot(0, &app, &QCoreApplication::quit);
    const int rc = app.exec();
    Log(QStringLiteral("Main"), QStringLiteral("Anwendung wurde beendet"), 46);
    SetUi(nullptr);
    return rc;
}
