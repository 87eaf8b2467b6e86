// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/main/MessageBoxes.h"

#include <QPushButton>

#include "platform/VersionInfo.h"

QMessageBox* MakeMessageBox(QWidget* parent, QMessageBox::Icon icon, const QString& text, bool question)
{
    auto* box =
        new QMessageBox(icon, ProductName(), QString(text).replace(QStringLiteral("\r\n"), QStringLiteral("\n")),
                        QMessageBox::NoButton, parent);
    box->setAttribute(Qt::WA_DeleteOnClose, false);
    box->setAccessibleName(ProductName());
    // The captions are set here, not left to the translation: they are fixed texts.
    if (question) {
        QPushButton* yes = box->addButton(QStringLiteral("Ja"), QMessageBox::YesRole);
        yes->setObjectName(QStringLiteral("ButtonYes"));
        yes->setAccessibleName(QStringLiteral("Ja"));
        QPushButton* no = box->addButton(QStringLiteral("Nein"), QMessageBox::NoRole);
        no->setObjectName(QStringLiteral("ButtonNo"));
        no->setAccessibleName(QStringLiteral("Nein"));
        box->setDefaultButton(yes);
        box->setEscapeButton(no);
    } else {
        QPushButton* ok = box->addButton(QStringLiteral("OK"), QMessageBox::AcceptRole);
        ok->setObjectName(QStringLiteral("ButtonOk"));
        ok->setAccessibleName(QStringLiteral("OK"));
        box->setDefaultButton(ok);
        box->setEscapeButton(ok);
    }
    return box;
}

void ShowMessageBox(QWidget* parent, QMessageBox::Icon icon, const QString& text)
{
    QMessageBox* box = MakeMessageBox(parent, icon, text, false);
    box->exec();
    delete box;
}

bool AskYesNo(QWidget* parent, const QString& text)
{
    QMessageBox* box = MakeMessageBox(parent, QMessageBox::Question, text, true);
    box->exec();
    const bool yes = box->buttonRole(box->clickedButton()) == QMessageBox::YesRole;
    delete box;
    return yes;
}
