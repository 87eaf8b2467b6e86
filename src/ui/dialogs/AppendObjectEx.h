// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QDialog>
#include <QStringList>

class QCheckBox;
class QListView;
class QPushButton;
class QStringListModel;
class QTreeView;
class TClientViews;
class QWidget;

/// Why a client group cannot be added to the listed ones, or "" when it can:
/// rights inherit downwards, so a list never holds a group together with one
/// of its subgroups. Paths end in "\", so Verkauf and Verkaufsleitung differ.
QString ClientGroupRefusal(const QStringList& listed, const QString& path);

/// The client-group rights of an object: which groups may receive it.
/// Edits only the object dialog's working copy.
class TFormAppendObjectEx : public QDialog
{
    Q_OBJECT

public:
    explicit TFormAppendObjectEx(QWidget* parent = nullptr);

    /// Shows the dialog modally on the working copy; OK writes it back.
    bool Edit(QStringList& groups, bool& useRights);

    /// "Hinzufügen" for the node selected in the tree.
    void AddSelectedGroup();
    /// "Entfernen": every selected list entry.
    void DeleteSelectedGroups();

    QCheckBox* CheckBoxUseClientGroupsRights() const { return m_checkBoxUseClientGroupsRights; }
    QTreeView* TreeViewClientGroups() const { return m_treeViewClientGroups; }
    QListView* ListBoxClientGroups() const { return m_listBoxClientGroups; }
    QStringList Groups() const;
    /// Selects the tree node of a group path (tests and keyboard users alike
    /// end up here through the view's selection).
    bool SelectGroup(const QString& path);

protected:
    void showEvent(QShowEvent* event) override;

private:
    void FillTree();
    void ApplyEnabling();

    QCheckBox* m_checkBoxUseClientGroupsRights;
    QWidget* m_panel;
    QTreeView* m_treeViewClientGroups;
    QListView* m_listBoxClientGroups;
    QPushButton* m_buttonAdd;
    QPushButton* m_buttonDelete;
    TClientViews* m_clientViews;
    QStringListModel* m_groups;
};
