// SPDX-License-Identifier: GPL-3.0-or-later
#include <QAction>
#include <QFile>
#include <QHeaderView>
#include <QLineEdit>
#include <QListView>
#include <QScrollBar>
#include <QStyle>
#include <QTabWidget>
#include <QTest>
#include <QTimer>
#include <QTreeView>

#include "UiFixture.h"
#include "catalogue/SyncClient.h"
#include "catalogue/SyncDownload.h"
#include "catalogue/SyncObject.h"
#include "catalogue/SyncUser.h"
#include "foundation/MainConfig.h"
#include "platform/ProgramPaths.h"
#include "ui/dialogs/MainEditText.h"
#include "ui/main/Main.h"
#include "ui/main/MainLayout.h"
#include "ui/pages/PageClients.h"
#include "ui/pages/PageObjects.h"
#include "ui/pages/PageUsers.h"
#include "ui/pages/StatusPanels.h"
#include "ui/views/MainViews.h"
#include "ui/views/MainViewsThread.h"

namespace {

class MainViewsTest : public TUiTest
{
protected:
    void SetUp() override
    {
        TUiTest::SetUp();
        FreeAllObjects();
        FreeAllClients();
        MainConfig().Set(QStringLiteral("ServerObjectDir"), Home("Objects/"));
    }

    void TearDown() override
    {
        m_form.reset();
        SetObjectListClientFilter(nullptr);
        SetClientListObjectFilter(nullptr);
        FreeAllObjects();
        FreeAllClients();
        FreeAllUsers();
        TUiTest::TearDown();
    }

    void Start()
    {
        m_form = std::make_unique<TFormMain>();
        new TMainViews(*m_form); // owned by the form
        m_form->show();
        m_form->ViewHooks().buildAll();
        Settled();
    }

    // Both object builds have ended and their rows are shown.
    void Settled()
    {
        ASSERT_TRUE(RunEventsUntil(
            [] { return !ViewBuildRunning(TViewKind::ObjectTree) && !ViewBuildRunning(TViewKind::ObjectList); }));
        Settle(30);
    }

    QAbstractItemView* List(TListPage* page) { return page->List(); }
    QTreeView* Tree(TListPage* page) { return qobject_cast<QTreeView*>(page->Tree()); }

    QModelIndex TreeIndex(TListPage* page, const QStringList& path)
    {
        QAbstractItemModel* model = Tree(page)->model();
        QModelIndex index;
        for (const QString& text : path) {
            const QModelIndexList found =
                model->match(model->index(0, 0, index), Qt::DisplayRole, text, 1, Qt::MatchExactly);
            if (found.isEmpty())
                return {};
            index = found.first();
        }
        return index;
    }

    static bool EditorOpen(QTreeView* tree)
    {
        for (const QLineEdit* editor : tree->viewport()->findChildren<QLineEdit*>())
            if (editor->isVisible())
                return true;
        return false;
    }

    void SelectRow(TListPage* page, int row)
    {
        QAbstractItemView* list = List(page);
        list->selectionModel()->select(list->model()->index(row, 0),
                                       QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    }

    TMainActions& Actions() { return m_form->Actions(); }

    // The object "a.exe" and the client "alpha" in the lists.
    void StartWithAnObjectAndAClient()
    {
        AppendObject(std::make_unique<TSyncObject>(QStringLiteral("a.exe"), QStringLiteral("?"), 1, 45000.0,
                                                   QStringLiteral("/opt/")));
        RegisterClient(QStringLiteral("192.0.2.5"), QStringLiteral("alpha"));
        Start();
    }

    std::unique_ptr<TFormMain> m_form;
};

TEST_F(MainViewsTest, ListStylesAreStoredAtOnceAndSwitchTheView)
{
    RegisterClient(QStringLiteral("192.0.2.5"), QStringLiteral("alpha"));
    Start();
    m_form->ShowPage(TPage::Clients);
    EXPECT_NE(qobject_cast<QListView*>(List(m_form->PageClients())), nullptr) << "symbols is the default";
    Actions().ViewDetails->trigger();
    EXPECT_EQ(LayoutConfig().GetInteger("MainListViewClientsViewStyle"), 3);
    EXPECT_TRUE(
        ReadFile(m_dir.path() + "/registry/user.reg").contains("\"MainListViewClientsViewStyle\"=dword:00000003"))
        << "saved, not only set";
    Settle(10);
    EXPECT_NE(qobject_cast<QTreeView*>(List(m_form->PageClients())), nullptr);
    EXPECT_EQ(List(m_form->PageClients())->model()->rowCount(), 1);
    EXPECT_TRUE(Actions().ViewDetails->isChecked());
}

TEST_F(MainViewsTest, ClientPropertiesEditTheDescriptionInTheTextDialog)
{
    RegisterClient(QStringLiteral("192.0.2.5"), QStringLiteral("alpha"));
    Start();
    m_form->ShowPage(TPage::Clients);
    SelectRow(m_form->PageClients(), 0);
    QString caption;
    QTimer::singleShot(50, [&caption] {
        for (QWidget* widget : QApplication::topLevelWidgets()) {
            if (auto* dialog = qobject_cast<TFormEditText*>(widget); dialog != nullptr && dialog->isVisible()) {
                caption = dialog->windowTitle();
                dialog->EditDesc()->setText(QStringLiteral("Drucker im Flur"));
                dialog->accept();
            }
        }
    });
    Actions().ClientProperties->trigger();
    EXPECT_EQ(caption, "Client-Beschreibung eingeben");
    EXPECT_EQ(FindClientByName("alpha")->ClientDescription(), "Drucker im Flur");
    EXPECT_TRUE(ReadFile(ProgramFile(".clients")).contains("\"Drucker im Flur\""));
    EXPECT_EQ(List(m_form->PageClients())->model()->index(0, 4).data().toString(), "Drucker im Flur");
}

TEST_F(MainViewsTest, TheSelectedObjectRowNamesItsSourceForTheObjectDialog)
{
    AppendObject(std::make_unique<TSyncObject>(QStringLiteral("a.exe"), QStringLiteral("?"), 1, 45000.0,
                                               QStringLiteral("/opt/")));
    Start();
    m_form->ShowPage(TPage::Objects);
    EXPECT_EQ(m_form->ViewHooks().selectedObject(), "");
    SelectRow(m_form->PageObjects(), 0);
    EXPECT_EQ(m_form->ViewHooks().selectedObject(), "a.exe");
}

TEST_F(MainViewsTest, FiltersMoveBetweenThePagesAndColourTheList)
{
    TSyncObject* object = AppendObject(std::make_unique<TSyncObject>(QStringLiteral("a.exe"), QStringLiteral("?"), 1,
                                                                     45000.0, QStringLiteral("/opt/")));
    RegisterClient(QStringLiteral("192.0.2.5"), QStringLiteral("alpha"));
    FindClientByName("alpha")->SetLocalComputerName(QStringLiteral("alpha"));
    RecordDownload(QStringLiteral("192.0.2.5"), object->ComputeId(), QStringLiteral("alpha"));
    Start();
    m_form->ShowPage(TPage::Objects);
    SelectRow(m_form->PageObjects(), 0);
    m_form->UpdateActionStates();
    ASSERT_TRUE(Actions().ObjectShowCurrentClients->isEnabled());
    Actions().ObjectShowCurrentClients->trigger();
    EXPECT_EQ(m_form->ActivePage(), TPage::Clients);
    EXPECT_EQ(ClientListObjectFilter(), object);
    EXPECT_TRUE(List(m_form->PageClients())->property("plenwickFiltered").toBool());
    EXPECT_EQ(m_form->PageClients()->Status()->Text(0),
              "Alle Clients mit aktuellem Quellobjekt \"a.exe\" werden gezeigt (1 von insgesamt 1 Clients)");
    m_form->UpdateActionStates();
    ASSERT_TRUE(Actions().ClientShowAll->isEnabled());
    Actions().ClientShowAll->trigger();
    EXPECT_EQ(ClientListObjectFilter(), nullptr);
    EXPECT_FALSE(List(m_form->PageClients())->property("plenwickFiltered").toBool());

    SelectRow(m_form->PageClients(), 0);
    Actions().ClientShowCurrentObjects->trigger();
    EXPECT_EQ(m_form->ActivePage(), TPage::Objects);
    Settled();
    EXPECT_EQ(m_form->PageObjects()->Status()->Text(0),
              "Alle aktuellen Objekte des Clients \"alpha\" werden gezeigt (1 von insgesamt 1 Objekten)");
    Actions().ObjectReverseSearch->trigger();
    Settled();
    EXPECT_EQ(List(m_form->PageObjects())->model()->rowCount(), 0);
    EXPECT_TRUE(List(m_form->PageObjects())->property("plenwickFiltered").toBool());
}

TEST_F(MainViewsTest, FolderUpSelectsTheParentAndShowsItsObjects)
{
    for (const char* name : {"top.exe", "a/one.exe"})
        AppendObject(std::make_unique<TSyncObject>(QString::fromUtf8(name), QStringLiteral("?"), 1, 45000.0,
                                                   QStringLiteral("/opt/")));
    Start();
    m_form->ShowPage(TPage::Objects);
    QTreeView* tree = Tree(m_form->PageObjects());
    tree->setCurrentIndex(TreeIndex(m_form->PageObjects(), {"Alle Ordner", "Standardordner", "a"}));
    Settled();
    EXPECT_EQ(List(m_form->PageObjects())->model()->rowCount(), 1);
    Actions().ViewUp->trigger();
    Settled();
    EXPECT_EQ(tree->currentIndex().data().toString(), "Standardordner");
    EXPECT_EQ(List(m_form->PageObjects())->model()->index(0, 0).data().toString(), "top.exe");

    // A rebuild keeps the folder selected, so tree and list agree.
    m_form->ViewHooks().rebuildObjects();
    Settled();
    EXPECT_EQ(tree->currentIndex().data().toString(), "Standardordner");
    EXPECT_EQ(List(m_form->PageObjects())->model()->rowCount(), 1);
}

TEST_F(MainViewsTest, NewNodeKeepsItsEditorWhileAClientRegisters)
{
    RegisterClient(QStringLiteral("192.0.2.5"), QStringLiteral("alpha"));
    Start();
    m_form->ShowPage(TPage::Clients);
    QTreeView* tree = Tree(m_form->PageClients());
    tree->setCurrentIndex(TreeIndex(m_form->PageClients(), {"192", "0", "2"}));
    Actions().TreeAddNode->trigger();
    Settle(10);
    EXPECT_EQ(tree->currentIndex().data().toString(), "Neuer Knoten");
    EXPECT_TRUE(EditorOpen(tree));
    RegisterClient(QStringLiteral("198.51.100.7"), QStringLiteral("beta"));
    m_form->ViewHooks().rebuildClients(); // what the window's front-end does on a new client
    Settle(10);
    EXPECT_TRUE(TreeIndex(m_form->PageClients(), {"198", "51", "100"}).isValid());
    EXPECT_EQ(tree->currentIndex().data().toString(), "Neuer Knoten");
    EXPECT_TRUE(EditorOpen(tree)) << "the rebuild keeps the open editor";
}

TEST_F(MainViewsTest, OpenAndExploreTakeTheInstalledTargetElseTheSource)
{
    QDir().mkpath(Home("Objects"));
    WriteFile(Home("Objects/readme.txt"), "text");
    const QString target = Home("Target/");
    AppendObject(std::make_unique<TSyncObject>(QStringLiteral("readme.txt"), QStringLiteral("?"), 1, 45000.0, target));
    const QString opened = Home("opened.txt");
    const QString standIn = Home("open.sh");
    WriteFile(standIn, QStringLiteral("#!/bin/sh\necho \"$1\" >> '%1'\n").arg(opened).toUtf8());
    QFile::setPermissions(standIn, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    qputenv("PLENWICK_OPEN", standIn.toUtf8());
    Start();
    m_form->ShowPage(TPage::Objects);
    SelectRow(m_form->PageObjects(), 0);
    auto openedLines = [&](int count) {
        EXPECT_TRUE(RunEventsUntil([&] { return ReadFile(opened).count('\n') == count; }, 5000));
        return QString::fromUtf8(ReadFile(opened)).split('\n').at(count - 1);
    };

    // Not installed: the source and its folder.
    Actions().FileOpenObject->trigger();
    EXPECT_EQ(openedLines(1), Home("Objects/readme.txt"));
    Actions().FileExploreObject->trigger();
    EXPECT_EQ(openedLines(2), Home("Objects"));

    // Installed: the target and its folder; a double click opens as well.
    QDir().mkpath(target);
    WriteFile(target + "readme.txt", "text");
    Actions().FileExploreObject->trigger();
    EXPECT_EQ(openedLines(3), Home("Target"));
    QAbstractItemView* list = List(m_form->PageObjects());
    const QRect cell = list->visualRect(list->model()->index(0, 0));
    // The view takes a double click as such only after a press on the same row.
    QTest::mousePress(list->viewport(), Qt::LeftButton, {}, cell.center());
    QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, cell.center());
    EXPECT_EQ(openedLines(4), target + "readme.txt");

    TBoxAnswerer boxes;
    qputenv("PLENWICK_OPEN", Home("no-such-opener").toUtf8());
    Actions().FileOpenObject->trigger();
    EXPECT_TRUE(RunEventsUntil([&] { return !boxes.texts.isEmpty(); }, 5000));
    qunsetenv("PLENWICK_OPEN");
    EXPECT_EQ(boxes.texts, QStringList{"Das Objekt konnte nicht geöffnet werden."});
}

TEST_F(MainViewsTest, DeleteAndF2MeanTheFocusedWidget)
{
    StartWithAnObjectAndAClient();
    TBoxAnswerer boxes(QStringLiteral("Nein"));
    auto pressIn = [this](QAbstractItemView* view, Qt::Key key) {
        // A box answered takes the activation with it.
        m_form->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(m_form.get()));
        view->setFocus();
        QTest::keyClick(view, key);
        Settle(30);
    };
    m_form->ShowPage(TPage::Objects);
    SelectRow(m_form->PageObjects(), 0);
    pressIn(Tree(m_form->PageObjects()), Qt::Key_Delete);
    EXPECT_TRUE(boxes.texts.isEmpty()) << "the folder tree deletes nothing";
    pressIn(List(m_form->PageObjects()), Qt::Key_Delete);
    EXPECT_EQ(boxes.texts.size(), 1);
    // A view made for another style keeps the keys.
    Actions().ViewDetails->trigger();
    Settled();
    SelectRow(m_form->PageObjects(), 0);
    pressIn(List(m_form->PageObjects()), Qt::Key_Delete);
    EXPECT_EQ(boxes.texts.size(), 2);
    EXPECT_NE(FindBySourcePath(QStringLiteral("a.exe")), nullptr);

    m_form->ShowPage(TPage::Clients);
    QStringList dialogs;
    QTimer closer;
    QObject::connect(&closer, &QTimer::timeout, [&dialogs] {
        for (QWidget* widget : QApplication::topLevelWidgets())
            if (auto* dialog = qobject_cast<TFormEditText*>(widget); dialog != nullptr && dialog->isVisible()) {
                dialogs.append(dialog->windowTitle());
                dialog->reject();
            }
    });
    closer.start(10);
    QTreeView* tree = Tree(m_form->PageClients());
    tree->setCurrentIndex(TreeIndex(m_form->PageClients(), {"192", "0", "2"}));
    pressIn(tree, Qt::Key_F2);
    EXPECT_TRUE(dialogs.isEmpty());
    EXPECT_TRUE(EditorOpen(tree)) << "F2 renames the group";
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape);
    SelectRow(m_form->PageClients(), 0);
    pressIn(List(m_form->PageClients()), Qt::Key_F2);
    EXPECT_EQ(dialogs, QStringList{"Client-Beschreibung eingeben"});
}

TEST_F(MainViewsTest, ActionStatesFollowARebuildThatDropsTheSelection)
{
    StartWithAnObjectAndAClient();
    TBoxAnswerer yes(QStringLiteral("Ja"));
    m_form->ShowPage(TPage::Objects);
    SelectRow(m_form->PageObjects(), 0);
    ASSERT_TRUE(Actions().ObjectProperties->isEnabled());
    Actions().ObjectDelete->trigger();
    Settled();
    EXPECT_EQ(List(m_form->PageObjects())->model()->rowCount(), 0);
    EXPECT_FALSE(Actions().ObjectProperties->isEnabled());
    EXPECT_FALSE(Actions().FileOpenObject->isEnabled());

    m_form->ShowPage(TPage::Clients);
    SelectRow(m_form->PageClients(), 0);
    ASSERT_TRUE(Actions().ClientProperties->isEnabled());
    Actions().ClientDelete->trigger();
    m_form->ViewHooks().rebuildClients(); // what the window's front-end does on the change
    Settle(30);
    EXPECT_EQ(List(m_form->PageClients())->model()->rowCount(), 0);
    EXPECT_FALSE(Actions().ClientProperties->isEnabled());
}

TEST_F(MainViewsTest, ColumnsFitTheirRowsAtFirstAndKeepTheUsersWidthsAfterwards)
{
    const QString longName = QStringLiteral("ein-recht-langer-objektname-fuer-die-spalte.exe");
    AppendObject(std::make_unique<TSyncObject>(longName, QStringLiteral("?"), 1, 45000.0, QStringLiteral("/opt/")));
    Start();
    m_form->ShowPage(TPage::Objects);
    auto* symbols = qobject_cast<QListView*>(List(m_form->PageObjects()));
    ASSERT_NE(symbols, nullptr);
    EXPECT_GE(symbols->gridSize().width(), symbols->fontMetrics().horizontalAdvance("druckertreiber64.msi"))
        << "a name of 20 characters fits";

    Actions().ViewDetails->trigger();
    Settled();
    auto details = [this] { return qobject_cast<QTreeView*>(List(m_form->PageObjects())); };
    ASSERT_NE(details(), nullptr);
    QHeaderView* header = details()->header();
    const int icon = details()->style()->pixelMetric(QStyle::PM_SmallIconSize, nullptr, details());
    EXPECT_GE(header->sectionSize(0), details()->fontMetrics().horizontalAdvance(longName) + icon)
        << "the name beside its picture";
    for (int column = 0; column < header->count(); ++column)
        EXPECT_GE(header->sectionSize(column), header->sectionSizeHint(column)) << column;
    EXPECT_GE(header->sectionSize(1), 60) << "design widths are minimums";

    header->resizeSection(1, 133);
    Actions().ViewSymbols->trigger();
    SaveMainLayout(*m_form);
    EXPECT_TRUE(LayoutConfig().GetString("MainListViewObjects").contains(",133,")) << "kept while symbols show";
    Actions().ViewDetails->trigger();
    Settled();
    EXPECT_EQ(details()->header()->sectionSize(1), 133);

    LayoutConfig().SaveAll();
    m_form.reset();
    Start();
    RestoreMainLayout(*m_form);
    Settled();
    ASSERT_NE(details(), nullptr);
    EXPECT_EQ(details()->header()->sectionSize(1), 133) << "and across a restart";
}

// The texts are measured a slice of rows at a time, up to the thousandth row.
TEST_F(MainViewsTest, ColumnsFitTheWidestOfTheFirstThousandRows)
{
    const QString counted = QStringLiteral("objekt-mit-einem-langen-namen-in-der-zeile-neunhundertneunzig.exe");
    const QString beyond = counted + counted + counted;
    for (int number = 0; number < 1200; ++number) {
        const QString name = number == 990    ? counted
                             : number == 1100 ? beyond
                                              : QStringLiteral("obj%1.exe").arg(number, 4, 10, QChar('0'));
        AppendObject(std::make_unique<TSyncObject>(name, QStringLiteral("?"), 1, 45000.0, QStringLiteral("/opt/")));
    }
    Start();
    m_form->ShowPage(TPage::Objects);
    Actions().ViewDetails->trigger();
    Settled();
    auto* details = qobject_cast<QTreeView*>(List(m_form->PageObjects()));
    ASSERT_NE(details, nullptr);
    ASSERT_EQ(details->model()->rowCount(), 1200);
    const int icon = details->style()->pixelMetric(QStyle::PM_SmallIconSize, nullptr, details);
    const int width = details->header()->sectionSize(0);
    EXPECT_GE(width, details->fontMetrics().horizontalAdvance(counted) + icon);
    EXPECT_LT(width, details->fontMetrics().horizontalAdvance(beyond)) << "row 1100 is not among the first 1000";
}

// Sorting by a column and narrowing by the filter field, on the real window.
class ListSortFilterTest : public MainViewsTest
{
protected:
    // Sizes and dates whose texts sort otherwise than their values.
    void StartWithThreeObjects()
    {
        AddObject("c.exe", 100, 44958.5); // 01.02.23
        AddObject("a.exe", 9, 44959.5);   // 02.02.23
        AddObject("b.exe", 10, 44957.5);  // 31.01.23
        Start();
        m_form->ShowPage(TPage::Objects);
    }

    static TSyncObject* AddObject(const char* name, int size, double date,
                                  const QString& target = QStringLiteral("/opt/"))
    {
        return AppendObject(
            std::make_unique<TSyncObject>(QString::fromUtf8(name), QStringLiteral("?"), size, date, target));
    }

    QHeaderView* Header(TListPage* page)
    {
        auto* details = qobject_cast<QTreeView*>(List(page));
        return details != nullptr ? details->header() : nullptr;
    }

    void ClickHeader(TListPage* page, int section)
    {
        QHeaderView* header = Header(page);
        ASSERT_NE(header, nullptr);
        const QPoint at(header->sectionViewportPosition(section) + header->sectionSize(section) / 2,
                        header->height() / 2);
        QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, at);
        Settle(10);
    }

    QStringList Captions(TListPage* page)
    {
        QStringList captions;
        const QAbstractItemModel* model = List(page)->model();
        for (int row = 0; row < model->rowCount(); ++row)
            captions.append(model->index(row, 0).data().toString());
        return captions;
    }

    void Type(QLineEdit* field, const QString& text)
    {
        field->clear();
        QTest::keyClicks(field, text);
        Settle(10);
    }

    void PressInWindow(QWidget* widget, const QKeySequence& keys)
    {
        m_form->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(m_form.get()));
        QTest::keySequence(widget, keys);
        Settle(10);
    }
};

TEST_F(ListSortFilterTest, HeaderClicksSortDatesAndSizesByValueAndTurnTheOrderRound)
{
    StartWithThreeObjects();
    Actions().ViewDetails->trigger();
    Settled();
    TListPage* page = m_form->PageObjects();
    ClickHeader(page, 5); // "Dateigröße"
    EXPECT_EQ(Captions(page), (QStringList{"a.exe", "b.exe", "c.exe"})) << "9, 10, 100 bytes";
    EXPECT_EQ(Header(page)->sortIndicatorSection(), 5);
    ClickHeader(page, 5);
    EXPECT_EQ(Captions(page), (QStringList{"c.exe", "b.exe", "a.exe"}));
    EXPECT_EQ(Header(page)->sortIndicatorOrder(), Qt::DescendingOrder);
    ClickHeader(page, 4); // "Dateidatum": another column starts ascending
    EXPECT_EQ(Captions(page), (QStringList{"b.exe", "c.exe", "a.exe"})) << "31.01. before 01.02. before 02.02.";

    // The selected row names its own object, not the one built at its place.
    SelectRow(page, 0);
    EXPECT_EQ(m_form->ViewHooks().selectedObject(), "b.exe");

    // The client list sorts its last contacts by time as well.
    RegisterClient(QStringLiteral("192.0.2.5"), QStringLiteral("alpha"));
    RegisterClient(QStringLiteral("192.0.2.6"), QStringLiteral("beta"));
    FindClientByName("alpha")->SetLastContact(44958.5);
    FindClientByName("beta")->SetLastContact(44957.5);
    m_form->ShowPage(TPage::Clients);
    Actions().ViewDetails->trigger();
    Settle(10);
    ClickHeader(m_form->PageClients(), 3); // "Letzter Kontakt"
    EXPECT_EQ(Captions(m_form->PageClients()), (QStringList{"beta", "alpha"}));
}

TEST_F(ListSortFilterTest, SortIsKeptAcrossARebuildAStyleSwitchAndARestart)
{
    StartWithThreeObjects();
    Actions().ViewDetails->trigger();
    Settled();
    ClickHeader(m_form->PageObjects(), 5);
    ClickHeader(m_form->PageObjects(), 5);
    ASSERT_EQ(Captions(m_form->PageObjects()), (QStringList{"c.exe", "b.exe", "a.exe"}));

    // Rows of a rebuild arrive in the order of the catalogue and are sorted in.
    AddObject("d.exe", 50, 45000.0);
    m_form->ViewHooks().rebuildObjects();
    Settled();
    EXPECT_EQ(Captions(m_form->PageObjects()), (QStringList{"c.exe", "d.exe", "b.exe", "a.exe"}));
    Actions().ViewSymbols->trigger();
    Settled();
    EXPECT_EQ(Captions(m_form->PageObjects()), (QStringList{"c.exe", "d.exe", "b.exe", "a.exe"}))
        << "the symbols show the same order";
    Actions().ViewDetails->trigger();
    Settled();
    ASSERT_NE(Header(m_form->PageObjects()), nullptr);
    EXPECT_EQ(Header(m_form->PageObjects())->sortIndicatorSection(), 5);

    SaveMainLayout(*m_form);
    LayoutConfig().SaveAll();
    m_form.reset();
    Start();
    RestoreMainLayout(*m_form);
    Settled();
    EXPECT_EQ(Captions(m_form->PageObjects()), (QStringList{"c.exe", "d.exe", "b.exe", "a.exe"}));
    ASSERT_NE(Header(m_form->PageObjects()), nullptr);
    EXPECT_EQ(Header(m_form->PageObjects())->sortIndicatorSection(), 5);
    EXPECT_EQ(Header(m_form->PageObjects())->sortIndicatorOrder(), Qt::DescendingOrder);
}

TEST_F(ListSortFilterTest, TypingNarrowsTheListByNameDescriptionAndFolderAndTheStatusCounts)
{
    AddObject("werkzeug.exe", 1, 45000.0)->SetDescription(QStringLiteral("Bohrmaschine"));
    AddObject("notiz.txt", 1, 45000.0, QStringLiteral("/opt/Buero/"));
    AddObject("readme.txt", 1, 45000.0);
    RegisterClient(QStringLiteral("192.0.2.5"), QStringLiteral("alpha"));
    RegisterClient(QStringLiteral("198.51.100.7"), QStringLiteral("beta"));
    Start();
    m_form->ShowPage(TPage::Objects);
    TListPage* objects = m_form->PageObjects();
    EXPECT_EQ(objects->Status()->Text(0), "3 Objekt(e)");

    Type(objects->FilterField(), QStringLiteral("bohr"));
    EXPECT_EQ(Captions(objects), QStringList{"werkzeug.exe"}) << "by description, whatever the case";
    EXPECT_EQ(objects->Status()->Text(0), "1 von 3 Objekt(e)");
    Type(objects->FilterField(), QStringLiteral("BUERO"));
    EXPECT_EQ(Captions(objects), QStringList{"notiz.txt"}) << "by target folder";
    Type(objects->FilterField(), QStringLiteral(".TXT"));
    EXPECT_EQ(Captions(objects), (QStringList{"notiz.txt", "readme.txt"})) << "by name";

    // A rebuild keeps the filter and the count follows it.
    AddObject("liste.txt", 1, 45000.0);
    m_form->ViewHooks().rebuildObjects();
    Settled();
    EXPECT_EQ(Captions(objects).size(), 3);
    EXPECT_EQ(objects->Status()->Text(0), "3 von 4 Objekt(e)");
    Type(objects->FilterField(), QString());
    EXPECT_EQ(Captions(objects).size(), 4);
    EXPECT_EQ(objects->Status()->Text(0), "4 Objekt(e)");

    m_form->ShowPage(TPage::Clients);
    Type(m_form->PageClients()->FilterField(), QStringLiteral("198.51"));
    EXPECT_EQ(Captions(m_form->PageClients()), QStringList{"beta"}) << "by address";
    EXPECT_EQ(m_form->PageClients()->Status()->Text(0), "1 von 2 Client(s)");
}

TEST_F(ListSortFilterTest, TheUsersPageCountsAsTheOtherListsDo)
{
    WriteFile(ProgramFile(".users"), "1,\"anna\",\"Anna\",\"Berg\",\"\",\"Technik\",\r\n"
                                     "2,\"bernd\",\"Bernd\",\"Claus\",\"\",\"Technik\",\r\n");
    LoadUserList();
    Start();
    m_form->ShowPage(TPage::Users);
    TListPage* users = m_form->PageUsers();
    ASSERT_NE(users->Status(), nullptr);
    EXPECT_EQ(users->Status()->Text(0), "2 Benutzer");
    Type(users->FilterField(), QStringLiteral("claus"));
    EXPECT_EQ(Captions(users), QStringList{"bernd"}) << "by full name";
    EXPECT_EQ(users->Status()->Text(0), "1 von 2 Benutzer");
}

TEST_F(ListSortFilterTest, CtrlFFocusesTheFilterOfThePageAndEscapeClearsIt)
{
    StartWithAnObjectAndAClient();
    m_form->ShowPage(TPage::Clients);
    PressInWindow(List(m_form->PageClients()), QKeySequence(Qt::CTRL | Qt::Key_F));
    EXPECT_EQ(QApplication::focusWidget(), m_form->PageClients()->FilterField());

    m_form->ShowPage(TPage::Objects);
    PressInWindow(List(m_form->PageObjects()), QKeySequence(Qt::CTRL | Qt::Key_F));
    QLineEdit* filter = m_form->PageObjects()->FilterField();
    ASSERT_EQ(QApplication::focusWidget(), filter);
    QTest::keyClicks(filter, QStringLiteral("nichts"));
    Settle(10);
    EXPECT_EQ(List(m_form->PageObjects())->model()->rowCount(), 0);
    QTest::keyClick(filter, Qt::Key_Escape);
    Settle(10);
    EXPECT_TRUE(filter->text().isEmpty());
    EXPECT_EQ(List(m_form->PageObjects())->model()->rowCount(), 1);

    m_form->ShowPage(TPage::Overview);
    EXPECT_FALSE(Actions().ViewFilter->isEnabled()) << "the overview has no list";
}

TEST_F(ListSortFilterTest, ActionsFollowTheRowsTheFilterLeaves)
{
    AddObject("a.exe", 1, 45000.0);
    AddObject("b.exe", 1, 45000.0);
    Start();
    m_form->ShowPage(TPage::Objects);
    TListPage* page = m_form->PageObjects();
    SelectRow(page, 0);
    ASSERT_TRUE(Actions().ObjectProperties->isEnabled());

    Type(page->FilterField(), QStringLiteral("b."));
    EXPECT_EQ(Captions(page), QStringList{"b.exe"});
    EXPECT_FALSE(Actions().ObjectProperties->isEnabled()) << "the selected row was filtered away";
    EXPECT_FALSE(Actions().FileOpenObject->isEnabled());
    EXPECT_EQ(m_form->ViewHooks().selectedObject(), "");

    SelectRow(page, 0);
    EXPECT_TRUE(Actions().ObjectProperties->isEnabled());
    EXPECT_EQ(m_form->ViewHooks().selectedObject(), "b.exe") << "the shown row, not the first one built";
}

// A rebuild (F5, an option, a dialog's OK, an update session) gives back
// what the person was doing, found by the rows' keys rather than their places.
class RebuildKeepsStateTest : public ListSortFilterTest
{
protected:
    static QStringList SelectedKeys(QAbstractItemView* list)
    {
        QStringList keys;
        for (const QModelIndex& index : list->selectionModel()->selectedRows())
            keys.append(index.data(Qt::UserRole).toString());
        keys.sort();
        return keys;
    }

    static QString TopKey(QAbstractItemView* list) { return list->indexAt(QPoint(1, 1)).data(Qt::UserRole).toString(); }

    static QModelIndex RowOf(QAbstractItemView* list, const QString& key)
    {
        const QModelIndexList found =
            list->model()->match(list->model()->index(0, 0), Qt::UserRole, key, 1, Qt::MatchExactly);
        return found.isEmpty() ? QModelIndex() : found.first();
    }

    void Select(QAbstractItemView* list, const QStringList& keys)
    {
        list->selectionModel()->clearSelection();
        for (const QString& key : keys)
            list->selectionModel()->setCurrentIndex(RowOf(list, key),
                                                    QItemSelectionModel::Select | QItemSelectionModel::Rows);
    }
};

TEST_F(RebuildKeepsStateTest, ObjectTreeAndListKeepSelectionCurrentRowScrollAndExpansion)
{
    for (int number = 0; number < 300; ++number)
        AppendObject(std::make_unique<TSyncObject>(QStringLiteral("a/obj%1.exe").arg(number + 100), QStringLiteral("?"),
                                                   1, 45000.0, QStringLiteral("/opt/")));
    for (const char* name : {"a/x/deep.exe", "b/y/other.exe"})
        AppendObject(std::make_unique<TSyncObject>(QString::fromUtf8(name), QStringLiteral("?"), 1, 45000.0,
                                                   QStringLiteral("/opt/")));
    Start();
    m_form->ShowPage(TPage::Objects);
    Actions().ViewDetails->trigger();
    Settled();
    TListPage* page = m_form->PageObjects();
    QTreeView* tree = Tree(page);
    tree->expand(TreeIndex(page, {"Alle Ordner", "Standardordner"}));
    tree->expand(TreeIndex(page, {"Alle Ordner", "Standardordner", "a"}));
    tree->setCurrentIndex(TreeIndex(page, {"Alle Ordner", "Standardordner", "a"}));
    Settled();
    QAbstractItemView* list = List(page);
    ASSERT_EQ(list->model()->rowCount(), 300);
    Select(list, {"a/obj150.exe", "a/obj250.exe"});
    list->scrollTo(RowOf(list, "a/obj200.exe"), QAbstractItemView::PositionAtTop);
    ASSERT_EQ(TopKey(list), "a/obj200.exe");

    auto expectKept = [&](const char* after) {
        list = List(page);
        EXPECT_EQ(SelectedKeys(list), (QStringList{"a/obj150.exe", "a/obj250.exe"})) << after;
        EXPECT_EQ(list->currentIndex().data(Qt::UserRole).toString(), "a/obj250.exe") << after;
        EXPECT_EQ(TopKey(list), "a/obj200.exe") << after;
        EXPECT_TRUE(tree->isExpanded(TreeIndex(page, {"Alle Ordner", "Standardordner"}))) << after;
        EXPECT_TRUE(tree->isExpanded(TreeIndex(page, {"Alle Ordner", "Standardordner", "a"}))) << after;
        EXPECT_FALSE(tree->isExpanded(TreeIndex(page, {"Alle Ordner", "Standardordner", "b"}))) << after;
        EXPECT_EQ(tree->currentIndex(), TreeIndex(page, {"Alle Ordner", "Standardordner", "a"})) << after;
        EXPECT_TRUE(Actions().ObjectProperties->isEnabled()) << after << ": the action states follow";
    };
    Actions().ViewRefresh->trigger();
    Settled();
    expectKept("F5");

    // Sorted by name, a new object takes a place above: the same rows stay
    // selected and at the top, not the same places.
    ClickHeader(page, 0);
    list->scrollTo(RowOf(list, "a/obj200.exe"), QAbstractItemView::PositionAtTop);
    AppendObject(std::make_unique<TSyncObject>(QStringLiteral("a/obj0.exe"), QStringLiteral("?"), 1, 45000.0,
                                               QStringLiteral("/opt/")));
    m_form->ViewHooks().rebuildObjects(); // what an update session and the object dialog's OK do
    Settled();
    EXPECT_EQ(list->model()->rowCount(), 301);
    expectKept("a new object");

    // Two rebuilds in a row: the second must not take the half-restored
    // state of the first for the person's.
    m_form->ViewHooks().rebuildObjects();
    m_form->ViewHooks().rebuildObjects();
    Settled();
    expectKept("two rebuilds");

    // A switch of the style keeps the rows as well, and the symbols their place.
    Actions().ViewSymbols->trigger();
    Settled();
    list = List(page);
    EXPECT_EQ(SelectedKeys(list), (QStringList{"a/obj150.exe", "a/obj250.exe"}));
    list->scrollTo(RowOf(list, "a/obj200.exe"), QAbstractItemView::PositionAtTop);
    const int place = list->visualRect(RowOf(list, "a/obj200.exe")).top();
    ASSERT_GT(list->verticalScrollBar()->value(), 0);
    for (int number = 0; number < 40; ++number)
        AppendObject(std::make_unique<TSyncObject>(QStringLiteral("a/obj1%1.exe").arg(number), QStringLiteral("?"), 1,
                                                   45000.0, QStringLiteral("/opt/")));
    Actions().ViewRefresh->trigger();
    Settled();
    EXPECT_EQ(list->visualRect(RowOf(list, "a/obj200.exe")).top(), place) << "40 new symbols above it";
}

TEST_F(RebuildKeepsStateTest, ARowThatIsGoneLeavesNothingSelected)
{
    for (const char* name : {"a.exe", "b.exe", "c.exe"})
        AddObject(name, 1, 45000.0);
    Start();
    m_form->ShowPage(TPage::Objects);
    QAbstractItemView* list = List(m_form->PageObjects());
    Select(list, {"b.exe"});
    CancelObjectViewBuilds(); // a builder may hold any object
    RemoveObject(FindBySourcePath(QStringLiteral("b.exe")));
    m_form->ViewHooks().rebuildObjects();
    Settled();
    EXPECT_EQ(list->model()->rowCount(), 2);
    EXPECT_TRUE(SelectedKeys(list).isEmpty());
    EXPECT_FALSE(Actions().ObjectProperties->isEnabled());
}

TEST_F(RebuildKeepsStateTest, ClientListAndGroupTreeKeepTheirState)
{
    for (const char* name : {"alpha", "beta", "gamma"})
        RegisterClient(QStringLiteral("192.0.2.%1").arg(int(name[0])), QString::fromUtf8(name));
    Start();
    m_form->ShowPage(TPage::Clients);
    TListPage* page = m_form->PageClients();
    QTreeView* tree = Tree(page);
    tree->expand(TreeIndex(page, {"192"}));
    Select(List(page), {"beta", "gamma"});
    RegisterClient(QStringLiteral("198.51.100.7"), QStringLiteral("delta"));
    m_form->ViewHooks().rebuildClients(); // what a registration does
    Settle(10);
    EXPECT_EQ(SelectedKeys(List(page)), (QStringList{"beta", "gamma"}));
    EXPECT_EQ(List(page)->currentIndex().data(Qt::UserRole).toString(), "gamma");
    EXPECT_TRUE(tree->isExpanded(TreeIndex(page, {"192"})));
    EXPECT_TRUE(Actions().ClientProperties->isEnabled());
}

} // namespace
