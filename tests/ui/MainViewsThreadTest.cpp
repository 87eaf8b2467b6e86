// SPDX-License-Identifier: GPL-3.0-or-later
#include <memory>

#include <QElapsedTimer>
#include <QThread>
#include <QTimer>

#include "base/ReentrantRWLock.h"
#include "catalogue/SyncObject.h"
#include "platform/FileTimes.h"
#include "ui/ViewsFixture.h"

namespace {

class TObjectViewsTest : public TViewsTest
{
protected:
    /// A distributed folder "<name>/" with an owner file, a file beside it
    /// and one in a subfolder; the owner object is appended, not imported.
    TSyncObject* AddTree(const QString& name)
    {
        for (const QString& file :
             {QStringLiteral("owner.exe"), QStringLiteral("a.txt"), QStringLiteral("sub/b.txt")}) {
            const QString path = Home(QStringLiteral("Objects/%1/%2").arg(name, file));
            QDir().mkpath(QFileInfo(path).path());
            WriteFile(path, "x");
        }
        TSyncObject* owner = Add(name + QStringLiteral("/owner.exe"));
        owner->SetDistributeFolder(true);
        owner->SetIncludeSubfolders(true);
        return owner;
    }

    /// One imported tree, and a second whose import is started but held: the
    /// import first reads its owner's fields, whose lock this test holds until
    /// it runs events again, or, when told to keep it, until it resets m_hold.
    void HoldSecondImport(bool keep = false)
    {
        MainConfig().Set(QStringLiteral("MiscShowNonPersistent"), true);
        StartImport(AddTree(QStringLiteral("first")));
        ASSERT_TRUE(RunEventsUntil([] { return !IsImportRunning(); }));
        StopFolderThreads();
        auto hold = std::make_shared<TWriteGuard>(ObjectLock());
        if (keep)
            m_hold = hold;
        else
            QTimer::singleShot(0, [hold]() mutable { hold.reset(); });
        StartImport(AddTree(QStringLiteral("second")));
        StartViewBuild(TViewKind::ObjectList);
        QThread::msleep(300);
        ASSERT_TRUE(IsImportRunning());
        ASSERT_TRUE(ViewBuildRunning(TViewKind::ObjectList)) << "the build must wait for the import";
    }

    QStringList AllKeys() const
    {
        return {QStringLiteral("first/owner.exe"),  QStringLiteral("first/a.txt"),  QStringLiteral("first/sub/b.txt"),
                QStringLiteral("second/owner.exe"), QStringLiteral("second/a.txt"), QStringLiteral("second/sub/b.txt")};
    }

    std::shared_ptr<TWriteGuard> m_hold;
};

TEST_F(TObjectViewsTest, TreeFilesObjectsByFolderAndANodeShowsOnlyItsOwnObjects)
{
    Add(QStringLiteral("top.exe"));
    Add(QStringLiteral("a/one.exe"));
    Add(QStringLiteral("a/b/two.exe"));
    Add(QStringLiteral("A/three.exe"));
    Add(QStringLiteral("/srv/share/abs.exe"));
    Add(QStringLiteral("gen.txt"))->SetPersistent(false);

    ASSERT_TRUE(Build(TViewKind::ObjectTree));
    EXPECT_EQ(TreeLines(), (QStringList{"Alle Ordner", "  Standardordner", "    a", "      b", "  srv", "    share"}));

    ASSERT_TRUE(Build(TViewKind::ObjectList));
    EXPECT_EQ(ListKeys(), (QStringList{"top.exe", "a/one.exe", "a/b/two.exe", "A/three.exe", "/srv/share/abs.exe"}));
    EXPECT_EQ(m_status[0], "5 Objekt(e)");

    m_selectedNode = TreeNode({"Alle Ordner"})->data(kNodeKeyRole).toString();
    ASSERT_TRUE(Build(TViewKind::ObjectList));
    EXPECT_EQ(m_list.Count(), 5) << "\"Alle Ordner\" shows everything";

    m_selectedNode = TreeNode({"Alle Ordner", "Standardordner", "a"})->data(kNodeKeyRole).toString();
    ASSERT_TRUE(Build(TViewKind::ObjectList));
    EXPECT_EQ(ListKeys(), (QStringList{"a/one.exe", "A/three.exe"})) << "not the objects of the subfolder";

    m_selectedNode = TreeNode({"Alle Ordner", "Standardordner"})->data(kNodeKeyRole).toString();
    ASSERT_TRUE(Build(TViewKind::ObjectList));
    EXPECT_EQ(ListKeys(), QStringList{"top.exe"});

    MainConfig().Set(QStringLiteral("MiscShowNonPersistent"), true);
    ASSERT_TRUE(Build(TViewKind::ObjectList));
    EXPECT_EQ(ListKeys(), (QStringList{"top.exe", "gen.txt"}));
    EXPECT_TRUE(m_ui.HasMessage("TreeView wurde aufgebaut"));
    EXPECT_TRUE(m_ui.HasMessage("ListView wurde aufgebaut"));
}

TEST_F(TObjectViewsTest, RowsShowColumnsImagesAndTipsOfTheListStyle)
{
    const QString file = Home("Objects/tools/app.exe");
    QDir().mkpath(QFileInfo(file).path());
    WriteFile(file, "0123456789");
    ASSERT_TRUE(SetFileLastWriteTime(file, 45000.5));
    TSyncObject* current = Add(QStringLiteral("tools/app.exe"));
    current->SetModifiedDate(45000.5);
    current->SetSwapOnly(true);
    current->SetAutostart(true);
    TSyncObject* missing = Add(QStringLiteral("tools/gone.exe"));
    missing->SetDeleteTarget(true);
    missing->SetDescription(QStringLiteral("Alt"));

    LayoutConfig().Set(QStringLiteral("MainListViewObjectsViewStyle"), kStyleDetails);
    ASSERT_TRUE(Build(TViewKind::ObjectList));
    ASSERT_EQ(m_list.Count(), 2);
    EXPECT_EQ(m_list.Row(0).texts, (QStringList{"app.exe", "Ja", "Nein", "CA", current->ModifiedDateText(), "10", "?",
                                                "tools/", "/opt/app/"}));
    EXPECT_EQ(m_list.Row(0).image, 52);
    EXPECT_EQ(m_list.Row(1).texts.mid(1, 3), (QStringList{"Nein", "Nein", "D"}));
    EXPECT_TRUE(m_list.data(m_list.index(0, 0), Qt::ToolTipRole).isNull()) << "no tips in the details style";

    LayoutConfig().Set(QStringLiteral("MainListViewObjectsViewStyle"), kStyleSymbols);
    ASSERT_TRUE(Build(TViewKind::ObjectList));
    EXPECT_EQ(m_list.Row(0).texts.mid(1, 2), (QStringList{"", ""}));
    EXPECT_EQ(m_list.Row(0).image, 2);
    EXPECT_EQ(m_list.Row(1).image, 11);
    const QString tip = m_list.data(m_list.index(1, 0), Qt::ToolTipRole).toString();
    EXPECT_TRUE(tip.startsWith("tools/gone.exe\nBeschreibung: Alt\nGröße: 10 Bytes\n")) << qPrintable(tip);
    EXPECT_TRUE(tip.endsWith(QStringLiteral("Objekt-Id: %1").arg(missing->ComputeId()))) << qPrintable(tip);
    EXPECT_EQ(m_list.Key(0), "tools/app.exe");
}

TEST_F(TObjectViewsTest, ListBuiltDuringAnImportWaitsAndShowsTheGeneratedObjects)
{
    HoldSecondImport();
    ASSERT_TRUE(RunEventsUntil([] { return !ViewBuildRunning(TViewKind::ObjectList); }));
    RunEventsFor(30);
    QStringList keys = ListKeys();
    keys.sort();
    QStringList expected = AllKeys();
    expected.sort();
    EXPECT_EQ(keys, expected);
    const QStringList messages = m_ui.Messages();
    const qsizetype imported =
        messages.indexOf(QStringLiteral("Ordnerstruktur für Objekt \"second/owner.exe\" vollständig generiert"));
    ASSERT_GE(imported, 0);
    EXPECT_GT(messages.indexOf(QStringLiteral("ListView wurde aufgebaut")), imported);
    EXPECT_EQ(m_status[0], "6 Objekt(e)");
}

TEST_F(TObjectViewsTest, CancellingAWaitingBuildEndsTheWaitAtOnce)
{
    HoldSecondImport();
    QElapsedTimer timer;
    timer.start();
    CancelViewBuild(TViewKind::ObjectList);
    EXPECT_LT(timer.elapsed(), 900) << "the wait for the import must end with the cancel, not at its next poll";
    EXPECT_FALSE(ViewBuildRunning(TViewKind::ObjectList));
    ASSERT_TRUE(RunEventsUntil([this] { return m_ui.HasMessage("ListView wurde abgebrochen"); }));
    const QStringList messages = m_ui.Messages(kViewsCategory);
    const qsizetype asked = messages.indexOf(QStringLiteral("ListView: Abbruchanforderung generiert"));
    ASSERT_GE(asked, 0);
    EXPECT_EQ(messages.value(asked + 1), "terminateForced() im Haupt-Thread aufgerufen");
    EXPECT_TRUE(m_ui.HasMessage("ListView: Abbruchanforderung vollständig ausgeführt"));
    EXPECT_FALSE(m_ui.HasMessage("ListView wurde aufgebaut"));
    const int shown = m_list.Count();
    RunEventsUntil([] { return !IsImportRunning(); });
    RunEventsFor(50);
    EXPECT_EQ(m_list.Count(), shown) << "a cancelled build adds nothing more";
}

TEST_F(TObjectViewsTest, ASecondBuildStopsTheFirstAndLeavesOnlyItsOwnRows)
{
    HoldSecondImport(true);
    StartViewBuild(TViewKind::ObjectList);
    // The import goes on only once the second build is stopping the first.
    ASSERT_TRUE(
        RunEventsUntil([this] { return m_ui.HasMessage("Warte auf Beendigung des bisherigen View-Threads..."); }));
    m_hold.reset();
    ASSERT_TRUE(RunEventsUntil([] { return !ViewBuildRunning(TViewKind::ObjectList) && !IsImportRunning(); }));
    RunEventsFor(50);
    QStringList keys = ListKeys();
    keys.sort();
    QStringList expected = AllKeys();
    expected.sort();
    EXPECT_EQ(keys, expected) << "every object once";
    const QStringList messages = m_ui.Messages(kViewsCategory);
    const qsizetype waiting = messages.indexOf(QStringLiteral("Warte auf Beendigung des bisherigen View-Threads..."));
    ASSERT_GE(waiting, 0);
    EXPECT_GT(messages.indexOf(QStringLiteral("Bisheriger View-Thread wurde beendet")), waiting);
    EXPECT_EQ(messages.count(QStringLiteral("ListView wurde abgebrochen")), 1);
    EXPECT_EQ(messages.count(QStringLiteral("ListView wurde aufgebaut")), 1);
}

TEST_F(TObjectViewsTest, TreeBuiltDuringAnImportWaitsForTheGeneratedFolders)
{
    MainConfig().Set(QStringLiteral("MiscShowNonPersistent"), true);
    StartImport(AddTree(QStringLiteral("first")));
    StartViewBuild(TViewKind::ObjectTree);
    ASSERT_TRUE(RunEventsUntil([] { return !ViewBuildRunning(TViewKind::ObjectTree); }));
    RunEventsFor(30);
    EXPECT_NE(TreeNode({"Alle Ordner", "Standardordner", "first", "sub"}), nullptr)
        << "the subfolder only comes with the import";
    EXPECT_EQ(m_status[1], "") << "the folder count is cleared at the end";
}

TEST_F(TObjectViewsTest, ClientFilterShowsTheClientsObjectsEitherWay)
{
    TSyncObject* a = Add(QStringLiteral("a.exe"));
    Add(QStringLiteral("b.exe"))->SetSize(20); // ids differ by size, not by name
    Add(QStringLiteral("c.exe"))->SetSize(30);
    RegisterClient(QStringLiteral("10.0.0.7"), QStringLiteral("pc7"));
    TSyncClient* client = FindClientByName(QStringLiteral("pc7"));
    ASSERT_NE(client, nullptr);
    SetObjectListClientFilter(client);

    ASSERT_TRUE(Build(TViewKind::ObjectList));
    EXPECT_EQ(m_list.Count(), 0);
    EXPECT_EQ(m_information, QStringList{NoDownloadsText()}) << "without downloads only the box shows";
    EXPECT_TRUE(m_filtered);

    client->SetLocalComputerName(QStringLiteral("PC7-LOCAL"));
    RecordDownload(QStringLiteral("10.0.0.7"), a->ComputeId(), QStringLiteral("pc7-local"));
    ASSERT_TRUE(Build(TViewKind::ObjectList));
    EXPECT_EQ(ListKeys(), QStringList{"a.exe"});
    EXPECT_EQ(m_status[0], "Alle aktuellen Objekte des Clients \"pc7\" werden gezeigt (1 von insgesamt 3 Objekten)");

    SetObjectListFilterNegated(true);
    ASSERT_TRUE(Build(TViewKind::ObjectList));
    EXPECT_EQ(ListKeys(), (QStringList{"b.exe", "c.exe"}));
    EXPECT_EQ(m_status[0],
              "Alle nicht-aktuellen Objekte des Clients \"pc7\" werden gezeigt (2 von insgesamt 3 Objekten)");

    // The filter names its client; a removed client leaves no dangling filter.
    DeleteClient(client);
    ASSERT_TRUE(Build(TViewKind::ObjectList));
    EXPECT_EQ(m_list.Count(), 3);
    EXPECT_FALSE(m_filtered);
}

TEST_F(TObjectViewsTest, ShutdownRequestEndsARunningBuildWhichDisposesOfItself)
{
    HoldSecondImport();
    EXPECT_FALSE(RequestViewStop(TViewKind::ObjectList));
    EXPECT_TRUE(RequestViewStop(TViewKind::ObjectTree));
    ASSERT_TRUE(RunEventsUntil([] { return !ViewBuildRunning(TViewKind::ObjectList); }));
    EXPECT_TRUE(RequestViewStop(TViewKind::ObjectList));
}

} // namespace
