// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QMessageBox>
#include <QString>

class QWidget;

/// A modal box titled with the product name and one "OK" button. Texts may
/// carry CR LF line breaks.
void ShowMessageBox(QWidget* parent, QMessageBox::Icon icon, const QString& text);

/// A modal question with "Ja" and "Nein"; true for "Ja".
bool AskYesNo(QWidget* parent, const QString& text);

/// Builds, without showing, the box both use; buttons already German.
QMessageBox* MakeMessageBox(QWidget* parent, QMessageBox::Icon icon, const QString& text, bool question);
