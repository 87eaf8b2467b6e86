// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <functional>

#include <QApplication>
#include <QMessageBox>
#include <QStringList>
#include <QTimer>

#include "catalogue/CatalogueFixture.h"

/// Answers every message box that opens with OK and keeps its text, so that
/// a dialog's modal warnings do not block the test.
class TBoxCatcher : public QObject
{
public:
    TBoxCatcher()
    {
        m_timer.setInterval(20);
        QObject::connect(&m_timer, &QTimer::timeout, [this] {
            for (QWidget* widget : QApplication::topLevelWidgets()) {
                auto* box = qobject_cast<QMessageBox*>(widget);
                if (box != nullptr && box->isVisible()) {
                    texts.append(box->text());
                    box->accept();
                }
            }
        });
        m_timer.start();
    }

    QStringList texts;

private:
    QTimer m_timer;
};

/// A program folder with empty lists and the object and Scriptus folders,
/// message boxes answered.
class TDialogTest : public TCatalogueTest
{
protected:
    TBoxCatcher m_boxes;

    /// Runs action once the next modal dialog is showing.
    static void WhenShown(std::function<void()> action, int delayMs = 50)
    {
        QTimer::singleShot(delayMs, std::move(action));
    }
};
