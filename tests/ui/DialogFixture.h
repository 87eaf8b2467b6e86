// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <functional>

#include <QApplication>
#include <QTimer>

#include "catalogue/CatalogueFixture.h"
#include "ui/UiFixture.h"

/// A program folder with empty lists and the object and Scriptus folders,
/// message boxes answered.
class TDialogTest : public TCatalogueTest
{
protected:
    TBoxAnswerer m_boxes;

    /// Runs action once the next modal dialog is showing.
    static void WhenShown(std::function<void()> action, int delayMs = 50)
    {
        QTimer::singleShot(delayMs, std::move(action));
    }
};
