// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <functional>

#include <QString>

class QWidget;
class QLineEdit;
class QFormLayout;
class QToolButton;

/// Small pieces the dialogs share.

/// Folder selection with Qt's dialog; the chosen folder with a trailing "/",
/// or "" when cancelled.
QString ChooseFolder(QWidget* parent, const QString& caption, const QString& startFolder);

/// A folder typed without its trailing "/" gets one; "" stays "".
QString WithTrailingSeparator(const QString& folder);

/// Saves the options file; a failure is shown with its German message and
/// answered false.
bool SaveOptionsFile(QWidget* parent);

/// An OK-only box, unless this process is the service.
void ShowInformation(QWidget* parent, const QString& text);
void ShowWarning(QWidget* parent, const QString& text);
void ShowError(QWidget* parent, const QString& text);

/// The caption text without its "&" mnemonic marker: the accessible name.
QString PlainCaption(const QString& caption);

/// After the start with the system installed the service: the window's
/// switch to the service control window, which makes this instance a
/// monitor; without one handed in, the service control window's own switch
/// (without a window only the instance becomes one).
void SwitchToServiceMonitor(const std::function<void()>& windowSwitch);

/// Sets object name and accessible name in one go.
void NameControl(QWidget* control, const QString& objectName, const QString& caption);

/// A labelled edit as a row of a form, in a row layout of its own so that a
/// chooser button can join it.
QLineEdit* AddEditRow(QFormLayout* form, const QString& objectName, const QString& caption);
/// A "..." button beside an edit of AddEditRow.
QToolButton* AddChooser(QLineEdit* edit, const QString& objectName, const QString& caption);
