// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/dialogs/DialogSupport.h"

#include <QFileDialog>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QToolButton>

#include "foundation/MainConfig.h"
#include "foundation/ServiceMode.h"
#include "platform/VersionInfo.h"
#include "ui/dialogs/MainService.h"

QString ChooseFolder(QWidget* parent, const QString& caption, const QString& startFolder)
{
    const QString folder = QFileDialog::getExistingDirectory(parent, caption, startFolder);
    return WithTrailingSeparator(folder);
}

QString WithTrailingSeparator(const QString& folder)
{
    if (folder.isEmpty() || folder.endsWith(QLatin1Char('/')))
        return folder;
    return folder + QLatin1Char('/');
}

bool SaveOptionsFile(QWidget* parent)
{
    try {
        MainConfig().SaveAll();
        return true;
    } catch (const std::exception& error) {
        ShowError(parent, QString::fromUtf8(error.what()));
        return false;
    }
}

namespace {

void ShowBox(QWidget* parent, QMessageBox::Icon icon, const QString& text)
{
    if (RunningAsService())
        return;
    QMessageBox box(icon, ProductName(), text, QMessageBox::Ok, parent);
    box.exec();
}

} // namespace

void ShowInformation(QWidget* parent, const QString& text)
{
    ShowBox(parent, QMessageBox::Information, text);
}

void ShowWarning(QWidget* parent, const QString& text)
{
    ShowBox(parent, QMessageBox::Warning, text);
}

void ShowError(QWidget* parent, const QString& text)
{
    ShowBox(parent, QMessageBox::Critical, text);
}

QString PlainCaption(const QString& caption)
{
    QString plain = caption;
    return plain.remove(QLatin1Char('&'));
}

void NameControl(QWidget* control, const QString& objectName, const QString& caption)
{
    control->setObjectName(objectName);
    control->setAccessibleName(PlainCaption(caption));
}

void SwitchToServiceMonitor(const std::function<void()>& windowSwitch)
{
    if (windowSwitch)
        windowSwitch();
    else
        SwitchToMonitor();
}

QLineEdit* AddEditRow(QFormLayout* form, const QString& objectName, const QString& caption)
{
    QWidget* parent = form->parentWidget();
    auto* edit = new QLineEdit(parent);
    NameControl(edit, objectName, caption);
    auto* row = new QHBoxLayout;
    row->addWidget(edit, 1);
    auto* label = new QLabel(caption, parent);
    label->setBuddy(edit);
    form->addRow(label, row);
    return edit;
}

QToolButton* AddChooser(QLineEdit* edit, const QString& objectName, const QString& caption)
{
    auto* button = new QToolButton(edit->parentWidget());
    button->setText(QStringLiteral("..."));
    NameControl(button, objectName, caption);
    auto* form = static_cast<QFormLayout*>(edit->parentWidget()->layout());
    for (int row = 0; row < form->rowCount(); ++row) {
        QLayoutItem* field = form->itemAt(row, QFormLayout::FieldRole);
        if (field != nullptr && field->layout() != nullptr && field->layout()->indexOf(edit) >= 0)
            static_cast<QHBoxLayout*>(field->layout())->addWidget(button);
    }
    return button;
}
