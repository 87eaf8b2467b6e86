// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/dialogs/AppendObject.h"

#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QFileDialog>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QPushButton>
#include <QTabWidget>
#include <QToolButton>
#include <QUrl>
#include <QVBoxLayout>

#include "catalogue/ChangeNotifyBase.h"
#include "catalogue/ImportChilds.h"
#include "catalogue/SyncObject.h"
#include "foundation/MainConfig.h"
#include "platform/FileVersion.h"
#include "ui/dialogs/AppendObjectEx.h"
#include "ui/dialogs/DialogSupport.h"
#include "ui/views/MainViewsThread.h"

namespace {

const QString kCaption = QStringLiteral("Objekt hinzufügen oder bearbeiten");

QString ObjectFolder()
{
    return MainConfig().GetString(QStringLiteral("ServerObjectDir"));
}

QString ScriptusFolder()
{
    return MainConfig().GetString(QStringLiteral("ServerScriptusDir"));
}

QCheckBox* NewCheck(QWidget* parent, const QString& objectName, const QString& caption)
{
    auto* box = new QCheckBox(caption, parent);
    NameControl(box, objectName, caption);
    return box;
}

} // namespace

QString RelativeToFolder(const QString& path, const QString& folder)
{
    if (!folder.isEmpty() && path.startsWith(folder))
        return path.mid(folder.size());
    return path;
}

TFormAppendObject::TFormAppendObject(QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("FormAppendObject"));
    setWindowTitle(kCaption);
    setModal(true);

    auto* objectPage = new QWidget;
    objectPage->setObjectName(QStringLiteral("TabSheetObject"));
    auto* form = new QFormLayout(objectPage);

    m_editObjectSrc = AddEditRow(form, QStringLiteral("EditObjectSrc"), QStringLiteral("&Dateiname"));
    m_editObjectSrc->setReadOnly(true);
    m_editObjectSrc->setToolTip(QStringLiteral("Quellobjekt"));
    m_speedButtonObjectSource =
        AddChooser(m_editObjectSrc, QStringLiteral("SpeedButtonObjectSource"), QStringLiteral("Quellobjekt"));

    m_editObjectDesc = AddEditRow(form, QStringLiteral("EditObjectDesc"), QStringLiteral("&Beschreibung"));

    m_checkBoxWithChilds = NewCheck(objectPage, QStringLiteral("CheckBoxWithChilds"),
                                    QStringLiteral("Ordner dieses Quellobjekts &verteilen"));
    m_checkBoxWithSubChilds =
        NewCheck(objectPage, QStringLiteral("CheckBoxWithSubChilds"), QStringLiteral("Alle &Unterordner einschließen"));
    form->addRow(m_checkBoxWithChilds);
    form->addRow(m_checkBoxWithSubChilds);

    m_editObjectDstDir = AddEditRow(form, QStringLiteral("EditObjectDstDir"), QStringLiteral("Or&dner"));
    m_editObjectDstDir->setToolTip(QStringLiteral("Zielordner des Quellobjekts auf den Clients"));
    m_speedButtonObjectDstDir = AddChooser(m_editObjectDstDir, QStringLiteral("SpeedButtonObjectDstDir"),
                                           QStringLiteral("Zielordner des Objekts wählen"));

    m_checkBoxExchangeObject = NewCheck(objectPage, QStringLiteral("CheckBoxExchangeObject"),
                                        QStringLiteral("Zielobjekt nur &tauschen, niemals neu erstellen"));
    m_checkBoxStartObject = NewCheck(objectPage, QStringLiteral("CheckBoxStartObject"),
                                     QStringLiteral("Zielobjekt nach der Übertragung &starten"));
    m_checkBoxAutostartObject = NewCheck(objectPage, QStringLiteral("CheckBoxAutostartObject"),
                                         QStringLiteral("Zielobjekt bei Rechnerstart &automatisch ausführen"));
    m_checkBoxOCXControl = NewCheck(objectPage, QStringLiteral("CheckBoxOCXControl"),
                                    QStringLiteral("Zielobjekt als OC&X-Control registrieren"));
    m_checkBoxDeleteObject =
        NewCheck(objectPage, QStringLiteral("CheckBoxDeleteObject"), QStringLiteral("Zielobjekt löschen"));
    for (QCheckBox* box : {m_checkBoxExchangeObject, m_checkBoxStartObject, m_checkBoxAutostartObject,
                           m_checkBoxOCXControl, m_checkBoxDeleteObject})
        form->addRow(box);

    auto* scriptusPage = new QWidget;
    scriptusPage->setObjectName(QStringLiteral("TabSheetScriptus"));
    auto* scriptusForm = new QFormLayout(scriptusPage);
    m_editScriptusFilename =
        AddEditRow(scriptusForm, QStringLiteral("EditScriptusFilename"), QStringLiteral("&Kommandodatei"));
    m_speedButtonScriptusFileName = AddChooser(m_editScriptusFilename, QStringLiteral("SpeedButtonScriptusFileName"),
                                               QStringLiteral("Skriptus-Kommandodatei öffnen"));

    m_pages = new QTabWidget(this);
    m_pages->addTab(objectPage, QStringLiteral("Objekt"));
    m_pages->addTab(scriptusPage, QStringLiteral("Skriptus"));

    m_buttonExtended = new QPushButton(QStringLiteral("Erweitert..."), this);
    NameControl(m_buttonExtended, QStringLiteral("ButtonExtended"), QStringLiteral("Erweitert..."));
    m_buttonOk = new QPushButton(QStringLiteral("OK"), this);
    NameControl(m_buttonOk, QStringLiteral("ButtonOk"), QStringLiteral("OK"));
    m_buttonOk->setDefault(true);
    m_buttonCancel = new QPushButton(QStringLiteral("Abbrechen"), this);
    NameControl(m_buttonCancel, QStringLiteral("ButtonCancel"), QStringLiteral("Abbrechen"));
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(m_buttonExtended);
    buttons->addStretch(1);
    buttons->addWidget(m_buttonOk);
    buttons->addWidget(m_buttonCancel);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_pages);
    layout->addLayout(buttons);

    m_extended = new TFormAppendObjectEx(this);

    connect(m_speedButtonObjectSource, &QToolButton::clicked, this, &TFormAppendObject::ChooseSource);
    connect(m_speedButtonObjectDstDir, &QToolButton::clicked, this, &TFormAppendObject::ChooseTargetFolder);
    connect(m_speedButtonScriptusFileName, &QToolButton::clicked, this, &TFormAppendObject::ChooseScriptusFile);
    connect(m_editObjectDstDir, &QLineEdit::editingFinished, this,
            [this] { m_editObjectDstDir->setText(WithTrailingSeparator(m_editObjectDstDir->text())); });
    connect(m_checkBoxWithChilds, &QCheckBox::clicked, this, &TFormAppendObject::ApplyEnabling);
    connect(m_checkBoxDeleteObject, &QCheckBox::clicked, this, &TFormAppendObject::ApplyEnabling);
    connect(m_checkBoxStartObject, &QCheckBox::clicked, this, &TFormAppendObject::StartObjectClicked);
    connect(m_buttonExtended, &QPushButton::clicked, this, &TFormAppendObject::ShowExtended);
    connect(m_buttonOk, &QPushButton::clicked, this, &TFormAppendObject::accept);
    connect(m_buttonCancel, &QPushButton::clicked, this, &TFormAppendObject::reject);
    ApplyEnabling();
}

void TFormAppendObject::PrepareNew()
{
    m_newMode = true;
    m_clipboardMode = false;
    m_editObjectSrc->clear();
    m_editObjectDesc->clear();
    m_editScriptusFilename->clear();
    BeginEditing(nullptr);
}

// A pasted object starts without client groups, as a new one does, rather
// than with those of whichever object was edited last.
bool TFormAppendObject::PreparePaste()
{
    const QMimeData* data = QApplication::clipboard()->mimeData();
    QString file;
    if (data != nullptr) {
        for (const QUrl& url : data->urls()) {
            if (url.isLocalFile()) {
                file = url.toLocalFile();
                break;
            }
        }
    }
    if (file.isEmpty())
        return false;
    m_newMode = true;
    m_clipboardMode = true;
    m_editObjectDesc->clear();
    TakeSourceFile(file);
    BeginEditing(nullptr);
    return true;
}

bool TFormAppendObject::PrepareEdit(const QString& sourcePath)
{
    TObjectWalk walk;
    const TSyncObject* object = FindBySourcePath(sourcePath);
    if (object == nullptr)
        return false;
    if (const TSyncObject* parent = object->Parent()) {
        ShowWarning(this, QStringLiteral("Dieses Ordnerstrukturobjekt ist abhängig vom Objekt \"%1\".\r\nEs darf nicht "
                                         "bearbeitet werden.")
                              .arg(parent->SourceName()));
        return false;
    }
    m_newMode = false;
    m_clipboardMode = false;
    m_editObjectSrc->setText(object->SourceName());
    m_editObjectDesc->setText(object->Description());
    m_editScriptusFilename->setText(object->ScriptusFile());
    m_checkBoxWithChilds->setChecked(object->DistributeFolder());
    m_checkBoxWithSubChilds->setChecked(object->IncludeSubfolders());
    m_editObjectDstDir->setText(object->TargetFolder());
    m_checkBoxExchangeObject->setChecked(object->SwapOnly());
    m_checkBoxStartObject->setChecked(object->StartAfterTransfer());
    m_checkBoxAutostartObject->setChecked(object->Autostart());
    m_checkBoxOCXControl->setChecked(object->RegisterOcx());
    m_checkBoxDeleteObject->setChecked(object->DeleteTarget());
    BeginEditing(object);
    return true;
}

void TFormAppendObject::BeginEditing(const TSyncObject* object)
{
    m_editedSource = object != nullptr ? object->SourceName() : QString();
    m_groups = object != nullptr ? object->ClientGroups() : QStringList();
    m_useRights = object != nullptr && object->UseClientGroupRights();
    ApplyEnabling();
    m_pages->setCurrentIndex(0);
    if (m_showObjectsPage)
        m_showObjectsPage();
}

void TFormAppendObject::ApplyEnabling()
{
    m_editObjectSrc->setEnabled(m_newMode);
    m_speedButtonObjectSource->setEnabled(m_newMode);
    m_checkBoxWithSubChilds->setEnabled(m_checkBoxWithChilds->isChecked());
    const bool installing = !m_checkBoxDeleteObject->isChecked();
    for (QCheckBox* box :
         {m_checkBoxExchangeObject, m_checkBoxStartObject, m_checkBoxAutostartObject, m_checkBoxOCXControl})
        box->setEnabled(installing);
}

void TFormAppendObject::TakeSourceFile(const QString& path)
{
    m_editObjectSrc->setText(RelativeToFolder(path, ObjectFolder()));
    if (m_clipboardMode || m_editObjectDesc->text().isEmpty())
        m_editObjectDesc->setText(FileVersionString(path, QStringLiteral("FileDescription")));
}

void TFormAppendObject::TakeScriptusFile(const QString& path)
{
    m_editScriptusFilename->setText(RelativeToFolder(path, ScriptusFolder()));
    m_checkBoxStartObject->setChecked(true);
}

void TFormAppendObject::ChooseSource()
{
    // "*" rather than "*.*": Linux files often have no dot in their name.
    const QString file = QFileDialog::getOpenFileName(this, QStringLiteral("Objekt hinzufügen"), ObjectFolder(),
                                                      QStringLiteral("Alle Dateien (*)"));
    if (!file.isEmpty())
        TakeSourceFile(file);
}

void TFormAppendObject::ChooseTargetFolder()
{
    const QString folder =
        ChooseFolder(this, QStringLiteral("Zielordner des Objekts wählen"), m_editObjectDstDir->text());
    if (!folder.isEmpty())
        m_editObjectDstDir->setText(folder);
}

void TFormAppendObject::ChooseScriptusFile()
{
    const QString file =
        QFileDialog::getOpenFileName(this, QStringLiteral("Skriptus-Kommandodatei öffnen"), ScriptusFolder(),
                                     QStringLiteral("Kommandodateien (*.scriptus);;Alle Dateien (*)"));
    if (!file.isEmpty())
        TakeScriptusFile(file);
}

void TFormAppendObject::StartObjectClicked(bool checked)
{
    if (checked || m_editScriptusFilename->text().isEmpty())
        return;
    ShowWarning(this,
                QStringLiteral("Dieses Objekt soll skriptus-gesteuert installiert werden. Hierfür muss es nach der "
                               "Übertragung gestartet werden. Die jetzige Einstellung würde dazu führen, dass das "
                               "Objekt nicht installiert werden kann."));
}

void TFormAppendObject::ShowExtended()
{
    m_extended->Edit(m_groups, m_useRights);
}

void TFormAppendObject::accept()
{
    if (Confirm())
        QDialog::accept();
}

bool TFormAppendObject::Confirm()
{
    m_editObjectDstDir->setText(WithTrailingSeparator(m_editObjectDstDir->text().trimmed()));
    const QString source = m_editObjectSrc->text();
    if (source.isEmpty() || m_editObjectDstDir->text().isEmpty()) {
        ShowError(this, QStringLiteral("Es wurden keine gültigen Eingabedaten in die Maske eingetragen."));
        return false;
    }
    TSyncObject* object = nullptr;
    bool wasDistributing = false;
    if (m_newMode) {
        auto fresh = TSyncObject::FromSource(source, m_editObjectDstDir->text());
        // A second object of the same source could never be edited: the
        // look-up by source path always finds the first.
        if (FindBySourcePath(fresh->ResolvedSourcePath()) != nullptr) {
            ShowError(this, QStringLiteral("Das Objekt \"%1\" ist bereits vorhanden.").arg(source));
            return false;
        }
        try {
            object = AppendObject(std::move(fresh));
        } catch (const EObjectNameError& error) {
            ShowError(this, error.Message());
            return false;
        }
    } else {
        object = FindBySourcePath(m_editedSource);
        if (object == nullptr) {
            ShowError(this, QStringLiteral("Das Objekt \"%1\" ist nicht mehr vorhanden.").arg(m_editedSource));
            return false;
        }
        wasDistributing = object->DistributeFolder();
    }
    WriteFields(*object);
    try {
        SaveObjectList();
    } catch (const std::exception& error) {
        ShowError(this, QString::fromUtf8(error.what()));
    }
    AfterSave(object, m_newMode || wasDistributing);
    return true;
}

void TFormAppendObject::WriteFields(TSyncObject& object) const
{
    object.SetTargetFolder(m_editObjectDstDir->text());
    object.SetDescription(m_editObjectDesc->text());
    object.SetScriptusFile(m_editScriptusFilename->text());
    object.SetDistributeFolder(m_checkBoxWithChilds->isChecked());
    object.SetIncludeSubfolders(m_checkBoxWithSubChilds->isChecked());
    object.SetSwapOnly(m_checkBoxExchangeObject->isChecked());
    object.SetStartAfterTransfer(m_checkBoxStartObject->isChecked());
    object.SetAutostart(m_checkBoxAutostartObject->isChecked());
    object.SetRegisterOcx(m_checkBoxOCXControl->isChecked());
    object.SetDeleteTarget(m_checkBoxDeleteObject->isChecked());
    object.SetUseClientGroupRights(m_useRights);
    object.ClearClientGroups();
    for (const QString& group : m_groups)
        object.AddClientGroup(group);
}

// treeChanged: the object is new or its folder was or is distributed, so the
// folder trees and the monitored folders change with it.
void TFormAppendObject::AfterSave(TSyncObject* object, bool treeChanged)
{
    const bool distributes = object->DistributeFolder();
    treeChanged = treeChanged || distributes;
    CancelObjectViewBuilds();
    StopImport(object);
    if (treeChanged)
        StopFolderMonitoring();

    object->RefreshFromSource();
    if (treeChanged && !m_newMode)
        object->DeleteFolderStructureObjects();
    if (distributes)
        StartImport(object);

    StartViewBuild(TViewKind::ObjectList);
    if (treeChanged)
        StartViewBuild(TViewKind::ObjectTree);
    if (treeChanged)
        StartFolderMonitoring();

    if (ObjectListClientFilter() != nullptr)
        ShowInformation(this,
                        QStringLiteral("Ein Filter ist aktiviert! Es werden nur die aktuellen Objekte des "
                                       "ausgewählten Clients angezeigt. Das neue Dateiobjekt wird aus diesem Grund "
                                       "nicht angezeigt werden."));
}
