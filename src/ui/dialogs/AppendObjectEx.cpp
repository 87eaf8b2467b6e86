// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/dialogs/AppendObjectEx.h"

#include <algorithm>

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QListView>
#include <QPushButton>
#include <QShowEvent>
#include <QStandardItemModel>
#include <QStringListModel>
#include <QTreeView>
#include <QVBoxLayout>

#include "ui/dialogs/DialogSupport.h"
#include "ui/views/ClientViews.h"
#include "ui/views/MainViewsBase.h"

QString ClientGroupRefusal(const QStringList& listed, const QString& path)
{
    for (const QString& entry : listed) {
        if (entry.compare(path, Qt::CaseInsensitive) == 0)
            return QStringLiteral("Diese Client-Gruppe wurde bereits berechtigt.");
        if (entry.startsWith(path, Qt::CaseInsensitive))
            return QStringLiteral(
                       "Die untergeordnete Client-Gruppe \"%1\" ist bereits berechtigt. Sie muss zunächst aus "
                       "der Liste entfernt werden, bevor die neue Client-Gruppe berechtigt werden kann.")
                .arg(entry);
        if (path.startsWith(entry, Qt::CaseInsensitive))
            return QStringLiteral(
                       "Das Berechtigen dieser Client-Gruppe ist nicht notwendig, da die Berechtigung der "
                       "bereits zugeordneten übergeordneten Client-Gruppe \"%1\" sich an diese Gruppe vererbt.")
                .arg(entry);
    }
    return QString();
}

TFormAppendObjectEx::TFormAppendObjectEx(QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("FormAppendObjectEx"));
    setModal(true);

    m_checkBoxUseClientGroupsRights =
        new QCheckBox(QStringLiteral("Client-Berechtigungen für dieses Objekt berücksichtigen"), this);
    NameControl(m_checkBoxUseClientGroupsRights, QStringLiteral("CheckBoxUseClientGroupsRights"),
                m_checkBoxUseClientGroupsRights->text());

    m_panel = new QWidget(this);
    m_clientViews = new TClientViews(this);
    m_treeViewClientGroups = new QTreeView(m_panel);
    NameControl(m_treeViewClientGroups, QStringLiteral("TreeViewClientGroups"), QStringLiteral("Client-Gruppen"));
    m_treeViewClientGroups->setModel(&m_clientViews->Tree());
    m_treeViewClientGroups->setDragEnabled(false);
    m_treeViewClientGroups->setAcceptDrops(false);
    m_treeViewClientGroups->setHeaderHidden(true);
    m_treeViewClientGroups->setEditTriggers(QAbstractItemView::NoEditTriggers);

    m_groups = new QStringListModel(this);
    auto* listBox = new QGroupBox(QStringLiteral("Berechtigte Client-Gruppen"), m_panel);
    m_listBoxClientGroups = new QListView(listBox);
    NameControl(m_listBoxClientGroups, QStringLiteral("ListBoxClientGroups"),
                QStringLiteral("Berechtigte Client-Gruppen"));
    m_listBoxClientGroups->setModel(m_groups);
    m_listBoxClientGroups->setSelectionMode(QAbstractItemView::ExtendedSelection);
    m_listBoxClientGroups->setEditTriggers(QAbstractItemView::NoEditTriggers);
    (new QVBoxLayout(listBox))->addWidget(m_listBoxClientGroups);

    m_buttonAdd = new QPushButton(QStringLiteral("Hinzufügen"), m_panel);
    NameControl(m_buttonAdd, QStringLiteral("ButtonAdd"), QStringLiteral("Hinzufügen"));
    m_buttonDelete = new QPushButton(QStringLiteral("Entfernen"), m_panel);
    NameControl(m_buttonDelete, QStringLiteral("ButtonDelete"), QStringLiteral("Entfernen"));
    auto* middle = new QVBoxLayout;
    middle->addStretch(1);
    middle->addWidget(m_buttonAdd);
    middle->addWidget(m_buttonDelete);
    middle->addStretch(1);
    auto* panelLayout = new QHBoxLayout(m_panel);
    panelLayout->addWidget(m_treeViewClientGroups, 1);
    panelLayout->addLayout(middle);
    panelLayout->addWidget(listBox, 1);

    auto* buttons = new QDialogButtonBox(this);
    QPushButton* ok = buttons->addButton(QStringLiteral("OK"), QDialogButtonBox::AcceptRole);
    NameControl(ok, QStringLiteral("ButtonOk"), QStringLiteral("OK"));
    QPushButton* cancel = buttons->addButton(QStringLiteral("Abbrechen"), QDialogButtonBox::RejectRole);
    NameControl(cancel, QStringLiteral("ButtonCancel"), QStringLiteral("Abbrechen"));
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_checkBoxUseClientGroupsRights);
    layout->addWidget(m_panel, 1);
    layout->addWidget(buttons);

    connect(m_checkBoxUseClientGroupsRights, &QCheckBox::toggled, this, &TFormAppendObjectEx::ApplyEnabling);
    connect(m_buttonAdd, &QPushButton::clicked, this, &TFormAppendObjectEx::AddSelectedGroup);
    connect(m_buttonDelete, &QPushButton::clicked, this, &TFormAppendObjectEx::DeleteSelectedGroups);
}

bool TFormAppendObjectEx::Edit(QStringList& groups, bool& useRights)
{
    if (QWidget* owner = parentWidget()) {
        setWindowTitle(owner->windowTitle() + QStringLiteral(" - Erweiterte Optionen"));
        move(owner->pos() + QPoint(50, 50));
    }
    m_checkBoxUseClientGroupsRights->setChecked(useRights);
    m_groups->setStringList(groups);
    ApplyEnabling();
    if (exec() != QDialog::Accepted)
        return false;
    useRights = m_checkBoxUseClientGroupsRights->isChecked();
    groups = Groups();
    return true;
}

void TFormAppendObjectEx::showEvent(QShowEvent* event)
{
    if (!event->spontaneous())
        FillTree();
    QDialog::showEvent(event);
}

// The client-group tree as the client page shows it.
void TFormAppendObjectEx::FillTree()
{
    m_clientViews->BuildClientTree();
    m_treeViewClientGroups->expandAll();
}

void TFormAppendObjectEx::ApplyEnabling()
{
    const bool use = m_checkBoxUseClientGroupsRights->isChecked();
    m_panel->setEnabled(use);
    for (QAbstractItemView* view : {static_cast<QAbstractItemView*>(m_treeViewClientGroups),
                                    static_cast<QAbstractItemView*>(m_listBoxClientGroups)})
        ShowGreyBackground(*view, !use);
}

QStringList TFormAppendObjectEx::Groups() const
{
    return m_groups->stringList();
}

bool TFormAppendObjectEx::SelectGroup(const QString& path)
{
    const QStandardItem* node =
        m_clientViews->Tree().FindNode(NodeKey(path.split(QLatin1Char('\\'), Qt::SkipEmptyParts)));
    if (node == nullptr)
        return false;
    m_treeViewClientGroups->setCurrentIndex(node->index());
    return true;
}

void TFormAppendObjectEx::AddSelectedGroup()
{
    const QModelIndex current = m_treeViewClientGroups->currentIndex();
    if (!current.isValid())
        return;
    const QString path = TClientViews::GroupPathOf(m_clientViews->Tree().itemFromIndex(current));
    QStringList groups = Groups();
    if (const QString refusal = ClientGroupRefusal(groups, path); !refusal.isEmpty()) {
        ShowInformation(this, refusal);
        return;
    }
    groups.append(path);
    m_groups->setStringList(groups);
}

void TFormAppendObjectEx::DeleteSelectedGroups()
{
    QList<int> rows;
    for (const QModelIndex& index : m_listBoxClientGroups->selectionModel()->selectedIndexes())
        rows.append(index.row());
    std::sort(rows.begin(), rows.end(), std::greater<>());
    for (int row : rows)
        m_groups->removeRow(row);
}
