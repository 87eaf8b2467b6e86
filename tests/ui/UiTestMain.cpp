// SPDX-License-Identifier: GPL-3.0-or-later
// The widget tests need a QApplication; defining main here keeps the support
// library's QCoreApplication main out of this binary.
#include <gtest/gtest.h>

#include <QApplication>

#include "ui/main/GermanTexts.h"
#include "ui/main/IconTable.h"

int main(int argc, char** argv)
{
    // Widget tests never need a display.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    ::testing::InitGoogleTest(&argc, argv);
    QApplication app(argc, argv);
    // Hidden windows must not end the tests' event loops.
    QApplication::setQuitOnLastWindowClosed(false);
    InstallGermanTexts();
    IconTable::InstallProgramIcon();
    return RUN_ALL_TESTS();
}
