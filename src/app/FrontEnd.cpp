// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/FrontEnd.h"

#include <QApplication>

#include "platform/DisplayProbe.h"
#include "ui/main/GermanTexts.h"
#include "ui/main/IconTable.h"

TFrontEnd ChooseFrontEnd()
{
    if (qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        return TFrontEnd::Window;
    if (!DisplayAvailable())
        return TFrontEnd::Headless;
    qputenv("QT_QPA_PLATFORM", "xcb");
    return TFrontEnd::Window;
}

std::unique_ptr<QCoreApplication> MakeApplication(TFrontEnd frontEnd, int& argc, char** argv)
{
    if (frontEnd == TFrontEnd::Headless)
        return std::make_unique<QCoreApplication>(argc, argv);
    auto app = std::make_unique<QApplication>(argc, argv);
    // Hidden in the notification area the program goes on working.
    QApplication::setQuitOnLastWindowClosed(false);
    InstallGermanTexts();
    IconTable::InstallProgramIcon();
    return app;
}
