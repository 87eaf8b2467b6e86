// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/dialogs/QuitWindow.h"

#include <QCloseEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "foundation/Quit.h"
#include "platform/VersionInfo.h"
#include "ui/main/IconTable.h"

TFormQuit::TFormQuit(QWidget* parent) : QDialog(parent), m_action([] { ImmediateShutdown(); })
{
    setObjectName(QStringLiteral("FormQuit"));
    const QString caption = ProductName() + QStringLiteral(" - Anwendung beenden...");
    setWindowTitle(caption);
    setAccessibleName(caption);
    setModal(false);
    auto* row = new QHBoxLayout(this);
    auto* picture = new QLabel(this);
    picture->setPixmap(IconTable::Icon(3).pixmap(48, 48));
    picture->setAccessibleName(QStringLiteral("Protokoll"));
    row->addWidget(picture, 0, Qt::AlignTop);
    auto* column = new QVBoxLayout;
    const QString reason = QStringLiteral(
        "Die Anwendung kommuniziert momentan mit einem oder mehreren Clients, oder sie ist mit internen Operationen "
        "ausgelastet. Sie darf erst beendet werden, nachdem alle diese Tätigkeiten abgeschlossen wurden.");
    const QString wait = QStringLiteral("Bitte warten Sie, bis diese Meldung sich selbständig schließt...");
    for (const QString& text : {reason, wait}) {
        auto* label = new QLabel(text, this);
        label->setWordWrap(true);
        label->setAccessibleName(text);
        column->addWidget(label);
    }
    m_note = new QLabel(this);
    m_note->setObjectName(QStringLiteral("LabelNote"));
    m_note->hide();
    column->addWidget(m_note);
    m_immediate = new QPushButton(QStringLiteral("Sofort beenden"), this);
    m_immediate->setObjectName(QStringLiteral("ButtonImmediate"));
    m_immediate->setAccessibleName(QStringLiteral("Sofort beenden"));
    m_immediate->setAutoDefault(false);
    connect(m_immediate, &QPushButton::clicked, this, [this] { m_action(); });
    column->addWidget(m_immediate, 0, Qt::AlignRight);
    row->addLayout(column, 1);
    setMinimumWidth(460);
}

void TFormQuit::SetNote(const QString& note)
{
    m_note->setText(note);
    m_note->setAccessibleName(note);
    m_note->setVisible(!note.isEmpty());
}

// Only the re-check or "Sofort beenden" end the wait; closing the window
// would leave the shutdown running unseen.
void TFormQuit::closeEvent(QCloseEvent* event)
{
    event->ignore();
}

void TFormQuit::reject() {}
