// SPDX-License-Identifier: GPL-3.0-or-later
// The widget tests need a QApplication; defining main here keeps the support
// library's QCoreApplication main out of this binary.
#include <gtest/gtest.h>

#include <QApplication>

#include "ui/GermanTexts.h"

int main(int argc, char** argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    InstallGermanTexts();
    return RUN_ALL_TESTS();
}
