// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <functional>

#include <QDialog>
#include <QStringList>

class QCheckBox;
class QLineEdit;
class QPushButton;
class QTabWidget;
class QToolButton;
class TFormAppendObjectEx;
class TSyncObject;

/// Registers a new source object on the master server or edits one: which
/// file goes to which folder on the clients, with which installation
/// attributes, Scriptus command file and client-group rights.
class TFormAppendObject : public QDialog
{
    Q_OBJECT

public:
    explicit TFormAppendObject(QWidget* parent = nullptr);

    /// The main window shows its objects page whenever the dialog opens.
    void SetShowObjectsPage(std::function<void()> show) { m_showObjectsPage = std::move(show); }

    /// "Neu...": a new object; source, description and Scriptus file emptied.
    void PrepareNew();
    /// Paste: a new object for the first file on the clipboard; false when
    /// the clipboard holds no file.
    bool PreparePaste();
    /// "Eigenschaften...": the object with this source path; false (after the
    /// warning for a folder-structure object) when it cannot be edited.
    bool PrepareEdit(const QString& sourcePath);

    /// A file chosen for the source, or one from the clipboard.
    void TakeSourceFile(const QString& path);
    /// A command file chosen for the Scriptus field.
    void TakeScriptusFile(const QString& path);

    /// The OK sequence; false when the dialog stays open.
    bool Confirm();
    void accept() override;

    bool NewMode() const { return m_newMode; }
    QStringList WorkingGroups() const { return m_groups; }
    bool WorkingUseRights() const { return m_useRights; }
    TFormAppendObjectEx* Extended() const { return m_extended; }

    QLineEdit* EditObjectSrc() const { return m_editObjectSrc; }
    QLineEdit* EditObjectDesc() const { return m_editObjectDesc; }
    QLineEdit* EditObjectDstDir() const { return m_editObjectDstDir; }
    QLineEdit* EditScriptusFilename() const { return m_editScriptusFilename; }
    QCheckBox* CheckBoxWithChilds() const { return m_checkBoxWithChilds; }
    QCheckBox* CheckBoxWithSubChilds() const { return m_checkBoxWithSubChilds; }
    QCheckBox* CheckBoxExchangeObject() const { return m_checkBoxExchangeObject; }
    QCheckBox* CheckBoxStartObject() const { return m_checkBoxStartObject; }
    QCheckBox* CheckBoxAutostartObject() const { return m_checkBoxAutostartObject; }
    QCheckBox* CheckBoxOCXControl() const { return m_checkBoxOCXControl; }
    QCheckBox* CheckBoxDeleteObject() const { return m_checkBoxDeleteObject; }
    QPushButton* ButtonExtended() const { return m_buttonExtended; }

private:
    void BeginEditing(const TSyncObject* object);
    void ApplyEnabling();
    void ChooseSource();
    void ChooseTargetFolder();
    void ChooseScriptusFile();
    void StartObjectClicked(bool checked);
    void ShowExtended();
    /// Writes the fields into the object, in the order the object list and
    /// the clients expect them.
    void WriteFields(TSyncObject& object) const;
    void AfterSave(TSyncObject* object, bool isNew);

    bool m_newMode = true;
    bool m_clipboardMode = false;
    QString m_editedSource;
    QStringList m_groups;
    bool m_useRights = false;
    std::function<void()> m_showObjectsPage;

    QTabWidget* m_pages;
    QLineEdit* m_editObjectSrc;
    QToolButton* m_speedButtonObjectSource;
    QLineEdit* m_editObjectDesc;
    QCheckBox* m_checkBoxWithChilds;
    QCheckBox* m_checkBoxWithSubChilds;
    QLineEdit* m_editScriptusFilename;
    QToolButton* m_speedButtonScriptusFileName;
    QLineEdit* m_editObjectDstDir;
    QToolButton* m_speedButtonObjectDstDir;
    QCheckBox* m_checkBoxExchangeObject;
    QCheckBox* m_checkBoxStartObject;
    QCheckBox* m_checkBoxAutostartObject;
    QCheckBox* m_checkBoxOCXControl;
    QCheckBox* m_checkBoxDeleteObject;
    QPushButton* m_buttonExtended;
    QPushButton* m_buttonOk;
    QPushButton* m_buttonCancel;
    TFormAppendObjectEx* m_extended;
};

/// A path relative to a folder when it lies inside it, else unchanged; the
/// letter case stays, since Linux file names depend on it.
QString RelativeToFolder(const QString& path, const QString& folder);
