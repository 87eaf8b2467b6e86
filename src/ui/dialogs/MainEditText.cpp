// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/dialogs/MainEditText.h"

#include <QDialogButtonBox>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

TFormEditText::TFormEditText(QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("FormEditText"));
    setWindowTitle(QStringLiteral("Text bearbeiten"));
    auto* column = new QVBoxLayout(this);
    m_edit = new QLineEdit(this);
    m_edit->setObjectName(QStringLiteral("EditDesc"));
    m_edit->setAccessibleName(QStringLiteral("Text"));
    m_edit->setMinimumWidth(360);
    column->addWidget(m_edit);
    auto* buttons = new QDialogButtonBox(this);
    QPushButton* ok = buttons->addButton(QStringLiteral("OK"), QDialogButtonBox::AcceptRole);
    ok->setObjectName(QStringLiteral("ButtonOk"));
    ok->setAccessibleName(QStringLiteral("OK"));
    ok->setDefault(true);
    QPushButton* cancel = buttons->addButton(QStringLiteral("Abbrechen"), QDialogButtonBox::RejectRole);
    cancel->setObjectName(QStringLiteral("ButtonCancel"));
    cancel->setAccessibleName(QStringLiteral("Abbrechen"));
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    column->addWidget(buttons);
}

QString TFormEditText::Text() const
{
    return m_edit->text();
}

void TFormEditText::SetText(const QString& text)
{
    m_edit->setText(text);
    m_edit->selectAll();
}

std::optional<QString> TFormEditText::Edit(QWidget* parent, const QString& caption, const QString& text)
{
    TFormEditText dialog(parent);
    dialog.setWindowTitle(caption);
    dialog.setAccessibleName(caption);
    dialog.SetText(text);
    if (dialog.exec() != QDialog::Accepted)
        return std::nullopt;
    return dialog.Text();
}
