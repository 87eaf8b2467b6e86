// SPDX-License-Identifier: GPL-3.0-or-later
// The Scriptus page on a made-up desktop: the control tree, the panel of the
// selected control, the two command lists with their menu and the enabled
// rules, opening and saving command files.
#include <QAction>
#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QTabWidget>
#include <QTimer>
#include <QTreeView>

#include "UiFixture.h"
#include "foundation/MainConfig.h"
#include "scriptus/ScriptusBase.h"
#include "scriptus/ScriptusThread.h"
#include "scriptus/SyncControl.h"
#include "ui/dialogs/MainEditText.h"
#include "ui/main/Main.h"
#include "ui/pages/PageScriptus.h"
#include "ui/pages/StatusPanels.h"
#include "ui/views/ControlTree.h"
#include "ui/views/MainViews.h"

namespace {

constexpr quint64 kControl = quint64(1) << 32;

TDesktopControl Made(quint64 handle, quint64 parent, quint64 window, const char* name, const char* className,
                     const char* file, bool visible, int id = 0, qint64 pid = 111)
{
    TDesktopControl c;
    c.handle = handle;
    c.parent = parent;
    c.window = window;
    c.name = QString::fromUtf8(name);
    c.className = QString::fromUtf8(className);
    c.fileName = QString::fromUtf8(file);
    c.visible = visible;
    c.controlId = id;
    c.pid = pid;
    return c;
}

// An installer window with a button and a hidden field, its hidden dialog
// holding a visible button, a second program, a hidden program and a
// window of this very process.
std::vector<TDesktopControl> MadeUpDesktop()
{
    return {Made(0x100, 0, 0x100, "Installation", "frame", "setup.exe", true),
            Made(kControl + 1, 0x100, 0x100, "OK", "push button", "setup.exe", true, 1),
            Made(kControl + 2, 0x100, 0x100, "", "text", "setup.exe", false, 2),
            Made(0x200, 0x100, 0x200, "Setup", "dialog", "setup.exe", false),
            Made(kControl + 3, 0x200, 0x200, "Weiter", "push button", "setup.exe", true, 1),
            Made(0x300, 0, 0x300, "Alpha", "frame", "Beta", true),
            Made(0x400, 0, 0x400, "Plenwick", "frame", "plenwick", true, 0, QCoreApplication::applicationPid()),
            Made(0x500, 0, 0x500, "", "frame", "aardvark", false)};
}

TScriptusRow Row(qint32 kind, const QString& title, const QString& text = {})
{
    TScriptusRow row;
    row.Command.Kind = kind;
    row.Command.Title = title;
    row.Command.Text = text;
    return row;
}

// The texts of a node's children, in order.
QStringList Children(const QAbstractItemModel* model, const QModelIndex& parent = {})
{
    QStringList texts;
    for (int row = 0; row < model->rowCount(parent); ++row)
        texts.append(model->index(row, 0, parent).data().toString());
    return texts;
}

QModelIndex Child(const QAbstractItemModel* model, const QModelIndex& parent, const QString& text)
{
    for (int row = 0; row < model->rowCount(parent); ++row)
        if (model->index(row, 0, parent).data().toString() == text)
            return model->index(row, 0, parent);
    return {};
}

// Answers the next text dialog with this text (or cancels it), noting its caption.
void AnswerTextDialog(QString* caption, const std::optional<QString>& text)
{
    QTimer::singleShot(30, [caption, text] {
        auto* dialog = qobject_cast<TFormEditText*>(QApplication::activeModalWidget());
        if (!dialog)
            return;
        *caption = dialog->windowTitle();
        if (text) {
            dialog->EditDesc()->setText(*text);
            dialog->accept();
        } else {
            dialog->reject();
        }
    });
}

// Answers the next file dialog with this file, noting its title.
void AnswerFileDialog(QString* title, const QString& file)
{
    QTimer::singleShot(50, [title, file] {
        if (auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget())) {
            *title = dialog->windowTitle();
            // Typed as a user would: the dialog reads its folder in the background.
            if (auto* name = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit")))
                name->setText(file);
            static_cast<QDialog*>(dialog)->accept();
            // A name the dialog refuses must not leave the test waiting.
            if (dialog->isVisible())
                dialog->reject();
        }
    });
}

class ScriptusPageTest : public TUiTest
{
protected:
    void SetUp() override
    {
        TUiTest::SetUp();
        MainConfig().Set(QStringLiteral("ScriptusExcludeFilenameFromPath"), false);
        QDir().mkpath(Home("Scriptus"));
        ScriptusSequence().Clear();
        ScriptusEvents().Clear();
        SetControlList(MadeUpDesktop());
        m_form = std::make_unique<TFormMain>();
        new TMainViews(*m_form); // owned by the form
        m_form->show();
        m_form->ShowPage(TPage::Scriptus);
        m_form->ViewHooks().rebuildControlTree();
    }
    void TearDown() override
    {
        RequestScriptusTermination();
        RunEventsUntil([] { return !ScriptusRunning(); });
        m_form.reset();
        FreeControlList();
        ScriptusSequence().Clear();
        ScriptusEvents().Clear();
        TUiTest::TearDown();
    }

    TPageScriptus* Page() const { return m_form->PageScriptus(); }
    QTreeView* Tree() const { return qobject_cast<QTreeView*>(Page()->Tree()); }
    const QAbstractItemModel* TreeModel() const { return Tree()->model(); }
    TMainActions& Actions() { return m_form->Actions(); }
    QString Info(int row) const { return Page()->InfoLabel(row)->text(); }

    QModelIndex Node(const QStringList& path) const
    {
        QModelIndex node;
        for (const QString& text : path)
            node = Child(TreeModel(), node, text);
        return node;
    }
    void SelectNode(const QStringList& path)
    {
        Tree()->setCurrentIndex(Node(path));
        m_form->UpdateActionStates();
    }
    void SelectListRow(QAbstractItemView* list, int row)
    {
        list->setCurrentIndex(list->model()->index(row, 0));
        m_form->UpdateActionStates();
    }
    QStringList Titles(const TScriptusList& list) const
    {
        QStringList titles;
        for (const TScriptusRow& row : list.Rows())
            titles.append(row.Command.Title);
        return titles;
    }

    std::unique_ptr<TFormMain> m_form;
};

TEST_F(ScriptusPageTest, TreeGroupsByProgramNestsControlsAndSortsIgnoringCase)
{
    // Visible only (the default): the hidden program and the hidden field are
    // left out, the hidden dialog stays for its visible button; this
    // program's own window never shows.
    EXPECT_EQ(Children(TreeModel()), QStringList({"Beta", "setup.exe"}));
    const QModelIndex installation = Node({"setup.exe", "Installation [frame]"});
    ASSERT_TRUE(installation.isValid());
    EXPECT_EQ(Children(TreeModel(), installation), QStringList({"OK [push button]", "Setup [dialog]"}));
    EXPECT_EQ(Children(TreeModel(), Node({"setup.exe", "Installation [frame]", "Setup [dialog]"})),
              QStringList({"Weiter [push button]"}));
    EXPECT_EQ(Node({"setup.exe"}).data(TControlTree::kImageRole).toInt(), 23);
    EXPECT_EQ(Node({"setup.exe", "Installation [frame]", "Setup [dialog]"}).data(TControlTree::kImageRole).toInt(), 24);

    Actions().ScriptusVisibleOnly->trigger();
    EXPECT_FALSE(Actions().ScriptusVisibleOnly->isChecked());
    EXPECT_EQ(Children(TreeModel()), QStringList({"aardvark", "Beta", "setup.exe"}));
    EXPECT_EQ(Node({"aardvark"}).data(TControlTree::kImageRole).toInt(), 24);
    EXPECT_EQ(Children(TreeModel(), Node({"aardvark"})), QStringList({"[frame]"}));
    // An untitled field is named after its window.
    EXPECT_TRUE(Node({"setup.exe", "Installation [frame]", "Installation [text]"}).isValid());
    // The switch was saved.
    Restart();
    EXPECT_FALSE(MainConfig().GetBoolean(QStringLiteral("MiscShowVisibleControlsOnly")));
}

TEST_F(ScriptusPageTest, SelectedNodeFillsThePanelAndTheStatusBar)
{
    SelectNode({"setup.exe", "Installation [frame]", "OK [push button]"});
    EXPECT_EQ(Info(0), QStringLiteral("0x100 / Control Id=1"));
    EXPECT_EQ(Info(1), QStringLiteral("OK (in \"setup.exe\")"));
    EXPECT_EQ(Info(2), QStringLiteral("push button"));
    EXPECT_EQ(Info(3), QStringLiteral("Nicht anwendbar"));
    EXPECT_EQ(Page()->Status()->Text(0), QStringLiteral("\\\\setup.exe\\Installation [frame]\\OK [push button]"));

    SelectNode({"Beta"});
    for (int row = 0; row < 4; ++row)
        EXPECT_EQ(Info(row), QStringLiteral("Information nicht verfügbar"));
    EXPECT_EQ(Page()->Status()->Text(0), QString());
}

TEST_F(ScriptusPageTest, CommandActionsNeedTheScriptusPageAndAControlNode)
{
    const std::vector<QAction*> controlActions = {
        Actions().ScriptusLeftClick,    Actions().ScriptusLeftDoubleClick, Actions().ScriptusRightClick,
        Actions().ScriptusCheck,        Actions().ScriptusUncheck,         Actions().ScriptusSetText,
        Actions().ScriptusSelectString, Actions().ScriptusBringToTop,      Actions().ScriptusClose};
    SelectNode({"setup.exe"});
    for (QAction* action : controlActions)
        EXPECT_FALSE(action->isEnabled()) << action->text().toStdString();
    EXPECT_TRUE(Actions().ScriptusStartProgram->isEnabled());
    EXPECT_TRUE(Actions().ScriptusWait->isEnabled());

    SelectNode({"setup.exe", "Installation [frame]"});
    for (QAction* action : controlActions)
        EXPECT_TRUE(action->isEnabled()) << action->text().toStdString();
    // "Sichtbar machen" only while hidden controls show.
    EXPECT_FALSE(Actions().ScriptusShow->isEnabled());
    MainConfig().Set(QStringLiteral("MiscShowVisibleControlsOnly"), false);
    m_form->UpdateActionStates();
    EXPECT_TRUE(Actions().ScriptusShow->isEnabled());

    m_form->ShowPage(TPage::Objects);
    EXPECT_FALSE(Actions().ScriptusLeftClick->isEnabled());
    EXPECT_FALSE(Actions().ScriptusWait->isEnabled());
}

TEST_F(ScriptusPageTest, AControlActionOnAProgramNodeWarnsAndAppendsNothing)
{
    SelectNode({"Beta"});
    TBoxAnswerer boxes;
    m_form->Actions().ScriptusLeftClick->setEnabled(true);
    m_form->Actions().ScriptusLeftClick->trigger();
    ASSERT_EQ(boxes.texts.size(), 1);
    EXPECT_EQ(boxes.texts[0], QStringLiteral("Das Kontrollelement kann nicht gefunden werden!"));
    EXPECT_EQ(ScriptusSequence().rowCount(), 0);
}

TEST_F(ScriptusPageTest, WaitAndStartPromptForTheirTextAndAppendToTheListInFront)
{
    QString caption;
    AnswerTextDialog(&caption, QStringLiteral("3"));
    Actions().ScriptusWait->trigger();
    EXPECT_EQ(caption, QStringLiteral("Skriptus-Ereignistext eingeben"));
    ASSERT_EQ(ScriptusSequence().rowCount(), 1);
    EXPECT_EQ(ScriptusSequence().Row(0).Command.Kind, WaitForTime);
    EXPECT_EQ(ScriptusSequence().Row(0).Command.Text, QStringLiteral("3"));
    EXPECT_TRUE(ScriptusSequence().Row(0).Command.ControlPath.isEmpty());
    EXPECT_TRUE(Actions().ScriptusRun->isEnabled());

    // Cancelled: nothing appended. On "Ereignisse" the event list takes it.
    AnswerTextDialog(&caption, std::nullopt);
    Actions().ScriptusWait->trigger();
    EXPECT_EQ(ScriptusSequence().rowCount(), 1);
    Page()->InnerPages()->setCurrentIndex(1);
    AnswerTextDialog(&caption, QStringLiteral("7"));
    Actions().ScriptusWait->trigger();
    ASSERT_EQ(ScriptusEvents().rowCount(), 1);
    EXPECT_EQ(ScriptusEvents().Row(0).Command.Text, QStringLiteral("7"));
}

TEST_F(ScriptusPageTest, ListsShowTheirColumnsImagesAndPathTooltip)
{
    TScriptusRow click = Row(ClickLeft, QStringLiteral("OK"));
    click.Command.ClassName = QStringLiteral("push button");
    click.Command.ControlPath = QStringLiteral("\\\\setup.exe\\OK [push button]");
    click.Command.HasPosition = true;
    click.Command.X = 4;
    click.Command.Y = 9;
    ScriptusSequence().Append(click);
    const QAbstractItemModel* list = Page()->SequenceList()->model();
    const QStringList headers = {"Titel", "Klasse", "Kommando", "Parameter", "Beschreibung"};
    for (int column = 0; column < headers.size(); ++column)
        EXPECT_EQ(list->headerData(column, Qt::Horizontal).toString(), headers[column]);
    auto* view = qobject_cast<QTreeView*>(Page()->SequenceList());
    EXPECT_EQ(view->columnWidth(0), 120);
    EXPECT_EQ(view->columnWidth(2), 150);
    EXPECT_EQ(list->index(0, 2).data().toString(), QStringLiteral("Linke Maustaste klicken"));
    EXPECT_EQ(list->index(0, 3).data().toString(), QStringLiteral("4,9"));
    EXPECT_EQ(list->index(0, 0).data(Qt::CheckStateRole).toInt(), Qt::Checked);
    EXPECT_FALSE(list->index(0, 0).data(Qt::DecorationRole).value<QIcon>().isNull());
    EXPECT_EQ(list->index(0, 1).data(Qt::ToolTipRole).toString(),
              QStringLiteral("Pfad: \\\\setup.exe\\OK [push button]"));
}

TEST_F(ScriptusPageTest, ListMenuMovesDeletesAndClearsTheSelectedRow)
{
    for (const char* title : {"a", "b", "c", "d"})
        ScriptusSequence().Append(Row(WaitForTime, QString::fromLatin1(title), QStringLiteral("1")));
    QAbstractItemView* list = Page()->SequenceList();
    // Nothing selected: only "Liste löschen".
    m_form->UpdateActionStates();
    EXPECT_FALSE(Actions().ScriptusEntryUp->isEnabled());
    EXPECT_FALSE(Actions().ScriptusEntryDelete->isEnabled());
    EXPECT_TRUE(Actions().ScriptusListClear->isEnabled());

    SelectListRow(list, 2);
    EXPECT_TRUE(Actions().ScriptusEntryUp->isEnabled());
    Actions().ScriptusEntryFirst->trigger();
    EXPECT_EQ(Titles(ScriptusSequence()), QStringList({"c", "a", "b", "d"}));
    Actions().ScriptusEntryUp->trigger(); // already first
    EXPECT_EQ(Titles(ScriptusSequence()), QStringList({"c", "a", "b", "d"}));
    Actions().ScriptusEntryDown->trigger();
    EXPECT_EQ(Titles(ScriptusSequence()), QStringList({"a", "c", "b", "d"}));
    Actions().ScriptusEntryLast->trigger();
    Actions().ScriptusEntryDown->trigger(); // stays last
    EXPECT_EQ(Titles(ScriptusSequence()), QStringList({"a", "b", "d", "c"}));
    EXPECT_EQ(list->currentIndex().row(), 3);

    // Moved to the other list with its check box, and selected there.
    ScriptusSequence().setData(ScriptusSequence().index(3, 0), Qt::Unchecked, Qt::CheckStateRole);
    Actions().ScriptusEntryMove->trigger();
    EXPECT_EQ(Titles(ScriptusSequence()), QStringList({"a", "b", "d"}));
    ASSERT_EQ(Titles(ScriptusEvents()), QStringList({"c"}));
    EXPECT_FALSE(ScriptusEvents().Row(0).Active);
    EXPECT_EQ(Page()->EventList()->currentIndex().row(), 0);

    SelectListRow(list, 0);
    Actions().ScriptusEntryDelete->trigger();
    EXPECT_EQ(Titles(ScriptusSequence()), QStringList({"b", "d"}));
    // One row left: no reordering.
    SelectListRow(list, 0);
    Actions().ScriptusEntryDelete->trigger();
    SelectListRow(list, 0);
    EXPECT_FALSE(Actions().ScriptusEntryFirst->isEnabled());
    EXPECT_TRUE(Actions().ScriptusEntryMove->isEnabled());
    Actions().ScriptusListClear->trigger();
    EXPECT_EQ(ScriptusSequence().rowCount(), 0);
    EXPECT_EQ(ScriptusEvents().rowCount(), 1);
    EXPECT_FALSE(Actions().ScriptusListClear->isEnabled());
}

TEST_F(ScriptusPageTest, PropertiesEditTheDescriptionOfTheSelectedRow)
{
    ScriptusSequence().Append(Row(WaitForTime, QStringLiteral("a"), QStringLiteral("1")));
    SelectListRow(Page()->SequenceList(), 0);
    QString caption;
    AnswerTextDialog(&caption, QStringLiteral("Erst warten"));
    Actions().ScriptusEntryProperties->trigger();
    EXPECT_EQ(caption, QStringLiteral("Skriptus-Beschreibung eingeben"));
    EXPECT_EQ(ScriptusSequence().Row(0).Command.Description, QStringLiteral("Erst warten"));
    EXPECT_EQ(Page()->SequenceList()->model()->index(0, 4).data().toString(), QStringLiteral("Erst warten"));
}

TEST_F(ScriptusPageTest, RunAsksWhetherToEndTheRunningScript)
{
    // A script that only waits needs no desktop.
    ScriptusSequence().Append(Row(WaitForTime, QString(), QStringLiteral("30")));
    m_form->UpdateActionStates();
    ASSERT_TRUE(Actions().ScriptusRun->isEnabled());
    Actions().ScriptusRun->trigger();
    ASSERT_TRUE(ScriptusRunning());

    {
        TBoxAnswerer no(QStringLiteral("Nein"));
        Actions().ScriptusRun->trigger();
        ASSERT_EQ(no.texts.size(), 1);
        EXPECT_EQ(no.texts[0], QStringLiteral("Die Skriptus-Ausführung läuft bereits. Möchten Sie diese beenden?"));
        EXPECT_TRUE(ScriptusRunning());
    }
    TBoxAnswerer yes(QStringLiteral("Ja"));
    Actions().ScriptusRun->trigger();
    EXPECT_TRUE(RunEventsUntil([] { return !ScriptusRunning(); }, 3000));
}

TEST_F(ScriptusPageTest, OpenShowsThePageAndSaveWritesToTheOpenedFile)
{
    const QString file = Home("Scriptus/Setup.scriptus");
    WriteFile(file,
              "0,True:1026,\"\",\"a\",\"\",\"2\",0,0,False,False,\"\"\r\n"
              "1,False:2,\"\\\\setup.exe\\OK [push button]\",\"OK\",\"push button\",\"\",3,4,True,False,\"\"\r\n");
    m_form->ShowPage(TPage::Objects);
    QString title;
    AnswerFileDialog(&title, file);
    Actions().FileOpenScriptus->trigger();
    EXPECT_EQ(title, QStringLiteral("Skriptus-Kommandodatei öffnen"));
    EXPECT_EQ(m_form->ActivePage(), TPage::Scriptus);
    ASSERT_EQ(ScriptusSequence().rowCount(), 1);
    ASSERT_EQ(ScriptusEvents().rowCount(), 1);
    EXPECT_FALSE(ScriptusEvents().Row(0).Active);

    SelectListRow(Page()->SequenceList(), 0);
    Actions().ScriptusEntryDelete->trigger();
    Actions().FileSaveScriptus->trigger(); // no dialog: the opened file is remembered
    EXPECT_EQ(ReadFile(file),
              "1,False:2,\"\\\\setup.exe\\OK [push button]\",\"OK\",\"push button\",\"\",3,4,True,False,\"\"\r\n");

    // The folder has become a file: the failure is shown, not thrown.
    ASSERT_TRUE(QDir(Home("Scriptus")).removeRecursively());
    WriteFile(Home("Scriptus"), "kein Ordner");
    TBoxAnswerer boxes;
    Actions().FileSaveScriptus->trigger();
    ASSERT_EQ(boxes.texts.size(), 1);
    EXPECT_TRUE(boxes.texts[0].startsWith(
        QStringLiteral("Die Skriptus-Datei \"%1\" konnte nicht gespeichert werden: ").arg(file)))
        << boxes.texts[0].toStdString();
}

TEST_F(ScriptusPageTest, SaveWithoutAnOpenedFileAsksForANameAndAddsTheExtension)
{
    ScriptusSequence().Append(Row(WaitForTime, QStringLiteral("a"), QStringLiteral("1")));
    const QString base = Home("Scriptus/Neu");
    QString title;
    AnswerFileDialog(&title, base);
    Actions().FileSaveScriptus->trigger();
    EXPECT_EQ(title, QStringLiteral("Skriptus-Kommandodatei speichern"));
    EXPECT_TRUE(ReadFile(base + ".scriptus").startsWith("0,True:1026,"));
}

} // namespace
