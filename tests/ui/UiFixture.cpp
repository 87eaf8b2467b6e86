// SPDX-License-Identifier: GPL-3.0-or-later
#include "UiFixture.h"

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QTimer>
#include <QWidget>

#include "foundation/MainConfig.h"
#include "platform/ProgramPaths.h"
#include "ui/main/MainTray.h"

TBoxAnswerer::TBoxAnswerer(const QString& buttonCaption) : button(buttonCaption), m_timer(new QTimer)
{
    m_timer->setInterval(10);
    QObject::connect(m_timer, &QTimer::timeout, [this] { Poll(); });
    m_timer->start();
}

TBoxAnswerer::~TBoxAnswerer()
{
    delete m_timer;
}

void TBoxAnswerer::Poll()
{
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        auto* box = qobject_cast<QMessageBox*>(widget);
        if (box == nullptr || !box->isVisible())
            continue;
        texts.append(box->text());
        for (QAbstractButton* candidate : box->buttons()) {
            if (candidate->text() == button) {
                candidate->click();
                return;
            }
        }
        box->close();
    }
}

void TUiTest::SetUp()
{
    TTestHome::SetUp();
    TMainTray::SetAvailabilityForTests(-1);
}

void TUiTest::TearDown()
{
    TMainTray::SetAvailabilityForTests(-1);
    TTestHome::TearDown();
}

void TUiTest::BecomeClient()
{
    WriteFile(ProgramFile(QStringLiteral(".config")), "[Options]\r\nNetServerName=master01\r\n");
    Restart();
}

void Settle(int milliseconds)
{
    RunEventsFor(milliseconds);
    QApplication::processEvents();
}
