// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/dialogs/NewObjects.h"

#include <QCheckBox>
#include <QListView>
#include <QPushButton>
#include <QStringListModel>
#include <QVBoxLayout>

#include "foundation/MainConfig.h"

TFormNewObjects::TFormNewObjects(QWidget* parent)
    : TFormPrompt(QStringLiteral("Objekte aktualisieren"),
                  QStringLiteral("Es stehen Aktualisierungsanforderungen für folgende Objekte zur Verfügung. Möchten "
                                 "Sie diese Objekte jetzt aktualisieren?"),
                  parent)
{
    setObjectName(QStringLiteral("FormNewObjects"));
    m_objects = new QStringListModel(this);
    m_listBoxNewObjects = new QListView(this);
    m_listBoxNewObjects->setObjectName(QStringLiteral("ListBoxNewObjects"));
    m_listBoxNewObjects->setAccessibleName(QStringLiteral("Objekte aktualisieren"));
    m_listBoxNewObjects->setModel(m_objects);
    m_listBoxNewObjects->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_checkBoxDontAskAgain = new QCheckBox(QStringLiteral("Zukünftig nicht mehr fragen"), this);
    m_checkBoxDontAskAgain->setObjectName(QStringLiteral("CheckBoxDontAskAgain"));
    m_checkBoxDontAskAgain->setAccessibleName(QStringLiteral("Zukünftig nicht mehr fragen"));
    ContentLayout()->addWidget(m_listBoxNewObjects);
    ContentLayout()->addWidget(m_checkBoxDontAskAgain);
    ButtonYes()->setToolTip(QStringLiteral("Objekte jetzt installieren"));
    ButtonNo()->setToolTip(QStringLiteral("Objekte nicht installieren"));
}

bool TFormNewObjects::AskFor(const QStringList& objects)
{
    if (objects.isEmpty())
        return false;
    m_objects->setStringList(objects);
    m_checkBoxDontAskAgain->setChecked(false);
    return Ask();
}

// Future updates install without asking.
void TFormNewObjects::OnYes()
{
    if (!m_checkBoxDontAskAgain->isChecked())
        return;
    MainConfig().Set(QStringLiteral("ClientSilentInstall"), true);
    MainConfig().SaveAll();
}

// No more automatic checks for new objects.
void TFormNewObjects::OnNo()
{
    if (!m_checkBoxDontAskAgain->isChecked())
        return;
    MainConfig().Set(QStringLiteral("ClientAutoInstall"), false);
    MainConfig().SaveAll();
}
