// SPDX-License-Identifier: GPL-3.0-or-later
#include <QCheckBox>
#include <QClipboard>
#include <QLineEdit>
#include <QListView>
#include <QMimeData>
#include <QPushButton>
#include <QTreeView>
#include <QUrl>

#include "catalogue/ChangeNotifyBase.h"
#include "platform/ProgramPaths.h"
#include "ui/DialogFixture.h"
#include "ui/dialogs/AppendObject.h"
#include "ui/dialogs/AppendObjectEx.h"
#include "ui/views/MainViewsThread.h"

namespace {

class AppendObjectTest : public TDialogTest
{
protected:
    void SetUp() override
    {
        TDialogTest::SetUp();
        WriteFile(Home("Objects/Tool.bin"), "tool");
        QDir().mkpath(Home("Objects/Tree"));
        WriteFile(Home("Objects/Tree/readme.txt"), "tree");
    }

    /// A new object for Tool.bin with the target folder typed in.
    void FillNew(TFormAppendObject& dialog, const QString& target = QStringLiteral("/opt/tool/"))
    {
        dialog.PrepareNew();
        dialog.TakeSourceFile(Home("Objects/Tool.bin"));
        dialog.EditObjectDstDir()->setText(target);
    }
};

TEST_F(AppendObjectTest, OkWritesTheObjectAndSavesTheList)
{
    RegisterClient(QStringLiteral("10.1.2.3"), QStringLiteral("pc1"));
    SetObjectListClientFilter(FindClientByName(QStringLiteral("pc1")));
    TFormAppendObject dialog;
    FillNew(dialog);
    EXPECT_EQ(dialog.EditObjectSrc()->text(), QStringLiteral("Tool.bin"));
    dialog.EditObjectDesc()->setText(QStringLiteral("Werkzeug"));
    dialog.CheckBoxAutostartObject()->setChecked(true);
    ASSERT_TRUE(dialog.Confirm());

    TSyncObject* object = FindBySourcePath(QStringLiteral("Tool.bin"));
    ASSERT_NE(object, nullptr);
    EXPECT_EQ(object->TargetFolder(), QStringLiteral("/opt/tool/"));
    EXPECT_EQ(object->Description(), QStringLiteral("Werkzeug"));
    EXPECT_TRUE(object->Autostart());
    EXPECT_EQ(object->Size(), 4);
    EXPECT_TRUE(ReadFile(ProgramFile(QStringLiteral(".objects"))).contains("Tool.bin"));
    SetObjectListClientFilter(nullptr);
    EXPECT_EQ(m_boxes.texts.size(), 1);
    EXPECT_TRUE(m_boxes.texts.value(0).startsWith(QStringLiteral("Ein Filter ist aktiviert!")));

    // The same source twice could never be edited again.
    FillNew(dialog);
    EXPECT_FALSE(dialog.Confirm());
    EXPECT_EQ(ObjectCount(), 1);

    // Editing takes the object's fields and writes them back in place.
    ASSERT_TRUE(dialog.PrepareEdit(QStringLiteral("Tool.bin")));
    EXPECT_FALSE(dialog.EditObjectSrc()->isEnabled());
    EXPECT_EQ(dialog.EditObjectDesc()->text(), QStringLiteral("Werkzeug"));
    dialog.CheckBoxDeleteObject()->setChecked(true);
    ASSERT_TRUE(dialog.Confirm());
    EXPECT_TRUE(object->DeleteTarget());
    EXPECT_EQ(ObjectCount(), 1);
}

TEST_F(AppendObjectTest, MissingInputAndLineBreaksAreRefused)
{
    TFormAppendObject dialog;
    FillNew(dialog, QString());
    EXPECT_FALSE(dialog.Confirm());
    EXPECT_EQ(m_boxes.texts,
              QStringList{QStringLiteral("Es wurden keine gültigen Eingabedaten in die Maske eingetragen.")});

    m_boxes.texts.clear();
    WriteFile(Home("Objects/bad\nname.bin"), "x");
    dialog.PrepareNew();
    dialog.TakeSourceFile(Home("Objects/bad\nname.bin"));
    dialog.EditObjectDstDir()->setText(QStringLiteral("/opt/"));
    EXPECT_FALSE(dialog.Confirm());
    ASSERT_EQ(m_boxes.texts.size(), 1);
    EXPECT_TRUE(m_boxes.texts[0].contains(QStringLiteral("Zeilenumbruch")));
    EXPECT_EQ(ObjectCount(), 0);
}

TEST_F(AppendObjectTest, EnablingRulesAndTheTrailingSeparator)
{
    TFormAppendObject dialog;
    FillNew(dialog, QStringLiteral("/opt/tool"));
    Q_EMIT dialog.EditObjectDstDir()->editingFinished();
    EXPECT_EQ(dialog.EditObjectDstDir()->text(), QStringLiteral("/opt/tool/"));

    const QList<QCheckBox*> installing = {dialog.CheckBoxExchangeObject(), dialog.CheckBoxStartObject(),
                                          dialog.CheckBoxAutostartObject(), dialog.CheckBoxOCXControl()};
    dialog.CheckBoxDeleteObject()->click();
    for (QCheckBox* box : installing)
        EXPECT_FALSE(box->isEnabled()) << box->objectName().toStdString();
    dialog.CheckBoxDeleteObject()->click();
    for (QCheckBox* box : installing)
        EXPECT_TRUE(box->isEnabled()) << box->objectName().toStdString();

    EXPECT_FALSE(dialog.CheckBoxWithSubChilds()->isEnabled());
    dialog.CheckBoxWithChilds()->click();
    EXPECT_TRUE(dialog.CheckBoxWithSubChilds()->isEnabled());
}

TEST_F(AppendObjectTest, AScriptusFileNeedsTheObjectStarted)
{
    TFormAppendObject dialog;
    FillNew(dialog);
    dialog.TakeScriptusFile(Home("Scriptus/Setup.scriptus"));
    EXPECT_EQ(dialog.EditScriptusFilename()->text(), QStringLiteral("Setup.scriptus"));
    EXPECT_TRUE(dialog.CheckBoxStartObject()->isChecked());
    dialog.CheckBoxStartObject()->click();
    EXPECT_FALSE(dialog.CheckBoxStartObject()->isChecked());
    ASSERT_EQ(m_boxes.texts.size(), 1);
    EXPECT_TRUE(
        m_boxes.texts[0].startsWith(QStringLiteral("Dieses Objekt soll skriptus-gesteuert installiert werden.")));
}

TEST_F(AppendObjectTest, PathsBecomeRelativeKeepingTheirCase)
{
    const QString folder = QStringLiteral("/srv/Objects/");
    EXPECT_EQ(RelativeToFolder(QStringLiteral("/srv/Objects/Sub/Setup.EXE"), folder), QStringLiteral("Sub/Setup.EXE"));
    EXPECT_EQ(RelativeToFolder(QStringLiteral("/srv/objects/Setup.exe"), folder),
              QStringLiteral("/srv/objects/Setup.exe"));
    EXPECT_EQ(RelativeToFolder(QStringLiteral("/other/Setup.exe"), folder), QStringLiteral("/other/Setup.exe"));
}

TEST_F(AppendObjectTest, PastedFileBecomesANewObject)
{
    auto* data = new QMimeData;
    data->setUrls({QUrl::fromLocalFile(Home("Objects/Tool.bin"))});
    QApplication::clipboard()->setMimeData(data);
    TFormAppendObject dialog;
    ASSERT_TRUE(dialog.PreparePaste());
    EXPECT_TRUE(dialog.NewMode());
    EXPECT_EQ(dialog.EditObjectSrc()->text(), QStringLiteral("Tool.bin"));
    EXPECT_TRUE(dialog.WorkingGroups().isEmpty());

    QApplication::clipboard()->setText(QStringLiteral("no file"));
    EXPECT_FALSE(dialog.PreparePaste());
}

TEST_F(AppendObjectTest, FolderStructureObjectsAreNotEdited)
{
    TFormAppendObject dialog;
    dialog.PrepareNew();
    dialog.TakeSourceFile(Home("Objects/Tree/readme.txt"));
    dialog.EditObjectDstDir()->setText(QStringLiteral("/opt/tree/"));
    dialog.CheckBoxWithChilds()->setChecked(true);
    WriteFile(Home("Objects/Tree/other.txt"), "other");
    ASSERT_TRUE(dialog.Confirm());
    ASSERT_TRUE(RunEventsUntil([] { return FindBySourcePath(QStringLiteral("Tree/other.txt")) != nullptr; }));
    StopFolderThreads();

    m_boxes.texts.clear();
    EXPECT_FALSE(dialog.PrepareEdit(QStringLiteral("Tree/other.txt")));
    EXPECT_EQ(m_boxes.texts, QStringList{QStringLiteral("Dieses Ordnerstrukturobjekt ist abhängig vom Objekt "
                                                        "\"Tree/readme.txt\".\r\nEs darf nicht bearbeitet werden.")});

    // No longer distributed: the generated objects go with the flag.
    ASSERT_TRUE(dialog.PrepareEdit(QStringLiteral("Tree/readme.txt")));
    dialog.CheckBoxWithChilds()->setChecked(false);
    ASSERT_TRUE(dialog.Confirm());
    StopFolderThreads();
    EXPECT_EQ(FindBySourcePath(QStringLiteral("Tree/other.txt")), nullptr);
}

TEST(ClientGroupRefusalTest, ListedGroupsNeverHoldAGroupAndItsSubgroup)
{
    const QStringList listed = {QStringLiteral("\\Verwaltung\\Buchhaltung\\"), QStringLiteral("\\Verkauf\\")};
    EXPECT_EQ(ClientGroupRefusal(listed, QStringLiteral("\\verkauf\\")),
              QStringLiteral("Diese Client-Gruppe wurde bereits berechtigt."));
    EXPECT_TRUE(ClientGroupRefusal(listed, QStringLiteral("\\Verwaltung\\"))
                    .startsWith(QStringLiteral("Die untergeordnete Client-Gruppe \"\\Verwaltung\\Buchhaltung\\\" ist "
                                               "bereits berechtigt.")));
    EXPECT_TRUE(ClientGroupRefusal(listed, QStringLiteral("\\Verkauf\\Nord\\"))
                    .startsWith(QStringLiteral("Das Berechtigen dieser Client-Gruppe ist nicht notwendig, da die "
                                               "Berechtigung der bereits zugeordneten übergeordneten Client-Gruppe "
                                               "\"\\Verkauf\\\"")));
    // Only a shared prefix within one level: a different group.
    EXPECT_EQ(ClientGroupRefusal(listed, QStringLiteral("\\Verkaufsleitung\\")), QString());
    EXPECT_EQ(ClientGroupRefusal({QStringLiteral("\\Verkaufsleitung\\")}, QStringLiteral("\\Verkauf\\")), QString());
}

TEST_F(AppendObjectTest, ExtendedDialogEditsOnlyTheWorkingCopy)
{
    RegisterClient(QStringLiteral("10.1.2.3"), QStringLiteral("pc1"));
    TFormAppendObject dialog;
    FillNew(dialog);
    TFormAppendObjectEx* extended = dialog.Extended();

    // Cancelled: the working copy stays as it was.
    WhenShown([&] {
        extended->CheckBoxUseClientGroupsRights()->setChecked(true);
        ASSERT_TRUE(extended->SelectGroup(QStringLiteral("\\10\\1\\2\\")));
        extended->AddSelectedGroup();
        extended->reject();
    });
    dialog.ButtonExtended()->click();
    EXPECT_TRUE(dialog.WorkingGroups().isEmpty());
    EXPECT_FALSE(dialog.WorkingUseRights());

    WhenShown([&] {
        extended->CheckBoxUseClientGroupsRights()->setChecked(true);
        ASSERT_TRUE(extended->SelectGroup(QStringLiteral("\\10\\1\\")));
        extended->AddSelectedGroup();
        ASSERT_TRUE(extended->SelectGroup(QStringLiteral("\\10\\1\\2\\")));
        extended->AddSelectedGroup(); // refused: the parent group is listed
        extended->accept();
    });
    dialog.ButtonExtended()->click();
    EXPECT_EQ(dialog.WorkingGroups(), QStringList{QStringLiteral("\\10\\1\\")});
    EXPECT_TRUE(dialog.WorkingUseRights());
    EXPECT_EQ(m_boxes.texts.size(), 1);
    EXPECT_EQ(extended->windowTitle(), QStringLiteral("Objekt hinzufügen oder bearbeiten - Erweiterte Optionen"));

    ASSERT_TRUE(dialog.Confirm());
    const TSyncObject* object = FindBySourcePath(QStringLiteral("Tool.bin"));
    ASSERT_NE(object, nullptr);
    EXPECT_TRUE(object->UseClientGroupRights());
    EXPECT_EQ(object->ClientGroups(), QStringList{QStringLiteral("\\10\\1\\")});
}

TEST_F(AppendObjectTest, RightsShowTheirTreeAndListInTheWindowColourWhileOn)
{
    TFormAppendObject dialog;
    FillNew(dialog);
    TFormAppendObjectEx* extended = dialog.Extended();
    const QColor window = QApplication::palette().color(QPalette::Base);
    QCheckBox* box = extended->CheckBoxUseClientGroupsRights();
    for (bool on : {true, false, true}) {
        box->setChecked(on);
        for (QWidget* view : {static_cast<QWidget*>(extended->TreeViewClientGroups()),
                              static_cast<QWidget*>(extended->ListBoxClientGroups())})
            EXPECT_EQ(view->palette().color(QPalette::Base) == window, on) << on;
    }
}

} // namespace
