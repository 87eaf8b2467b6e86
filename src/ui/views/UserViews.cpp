// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/views/UserViews.h"

#include "catalogue/SyncUser.h"
#include "foundation/MainConfig.h"

namespace {

const QString kUserDrag = QStringLiteral("application/x-plenwick-users");

QString UserTip(const TListRow& row)
{
    return QStringLiteral("%1\nBeschreibung: %2").arg(row.texts.value(1), row.texts.value(2));
}

} // namespace

TUserViews::TUserViews(QObject* parent)
    : QObject(parent), m_tree(19, -1, kUserDrag),
      m_list({QStringLiteral("Benutzername"), QStringLiteral("Vollständiger Name"), QStringLiteral("Beschreibung")})
{
    m_list.SetTipMaker(&UserTip);
    m_list.SetDragType(kUserDrag);
    m_list.SetFilterFields({0, 1, 2});
    m_tree.onDrop = [this](const QStringList& names, QStandardItem* node) { MoveToGroup(names, node); };
    m_tree.onRenamed = [this](QStandardItem* node, const QString& oldText) { OnRenamed(oldText, node->text()); };
    m_tree.onRefused = [this](const QString& reason) {
        if (warning)
            warning(reason);
    };
}

void TUserViews::BuildUserTree()
{
    m_tree.BeginMerge();
    for (TSyncUser* user = FirstUser(); user != nullptr; user = user->Next())
        if (!user->UserGroup().isEmpty())
            m_tree.Need({user->UserGroup()});
    m_tree.EndMerge();
}

void TUserViews::BuildUserList()
{
    m_list.Clear();
    const int style = LayoutConfig().GetInteger(QStringLiteral("MainListViewUsersViewStyle"));
    m_list.SetViewStyle(style);
    if (listStyle)
        listStyle(style);
    const QString node = selectedNode ? selectedNode() : QString();
    std::vector<TListRow> rows;
    for (TSyncUser* user = FirstUser(); user != nullptr; user = user->Next()) {
        if (!node.isEmpty() && NodeKey({user->UserGroup()}) != node)
            continue;
        TListRow row;
        row.texts << user->UserName() << QStringLiteral("%1, %2").arg(user->LastName(), user->FirstName())
                  << user->UserDescription();
        row.image = style == kStyleDetails ? 20 : 6;
        rows.push_back(std::move(row));
    }
    const int count = static_cast<int>(rows.size());
    m_list.Append(std::move(rows));
    if (rowsComplete)
        rowsComplete();
    if (status)
        status(QStringLiteral("%1 Benutzer").arg(count));
}

void TUserViews::MoveToGroup(const QStringList& names, QStandardItem* node)
{
    if (node == nullptr)
        return;
    const QString group = node->text();
    bool moved = false;
    for (const QString& name : names) {
        if (TSyncUser* user = FindUserByName(name)) {
            user->SetUserGroup(group);
            moved = true;
        }
    }
    if (!moved)
        return;
    node->setData(false, kNodeAddedRole);
    SaveUserList();
    BuildUserTree();
    BuildUserList();
}

QStandardItem* TUserViews::AddNode()
{
    return m_tree.AddHandNode(nullptr);
}

void TUserViews::OnRenamed(const QString& oldText, const QString& newText)
{
    bool changed = false;
    for (TSyncUser* user = FirstUser(); user != nullptr; user = user->Next()) {
        if (user->UserGroup().compare(oldText, Qt::CaseInsensitive) == 0) {
            user->SetUserGroup(newText);
            changed = true;
        }
    }
    if (changed)
        SaveUserList();
    BuildUserList();
}
