// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <memory>

#include <QDir>
#include <QTimer>

#include "base/ReentrantRWLock.h"
#include "catalogue/ChangeNotifyBase.h"
#include "catalogue/ImportChilds.h"
#include "catalogue/SyncObject.h"
#include "foundation/MainConfig.h"
#include "platform/ProgramPaths.h"
#include "support/FolderTreeHome.h"

namespace {

class TImportChildsTest : public TFolderTreeHome
{
protected:
    // setup.exe is the owner; an empty folder, a hidden one and two levels.
    void MakeTree()
    {
        for (const char* name :
             {"setup.exe", "b.txt", "a.txt", "z.txt", "sub/c.txt", "sub/deeper/d.txt", ".hidden/e.txt"})
            MakeFile(QString::fromLatin1(name), "x");
        QDir().mkpath(m_tree + QStringLiteral("empty"));
    }
    TSyncObject* MakeOwner(bool includeSubfolders)
    {
        TSyncObject* owner = AddObject(m_tree + QStringLiteral("setup.exe"), true, includeSubfolders);
        owner->SetDescription(QStringLiteral("Paket"));
        owner->SetSwapOnly(true);
        return owner;
    }
    void RunImport(TSyncObject* owner)
    {
        StartImport(owner);
        ASSERT_TRUE(WaitForMessage(
            QStringLiteral("Ordnerstruktur für Objekt \"%1\" vollständig generiert").arg(owner->SourceName())));
        ASSERT_TRUE(RunEventsUntil(
            [&] { return !m_ui.objectStatusTexts.isEmpty() && m_ui.objectStatusTexts.last().isEmpty(); }));
    }
};

TEST_F(TImportChildsTest, WalksOneFoldersFilesBeforeItsSubfoldersAndNeverListsTheOwner)
{
    MakeTree();
    TSyncObject* owner = MakeOwner(true);
    RunImport(owner);

    const QStringList relative{"a.txt", "b.txt", "z.txt", ".hidden/e.txt", "sub/c.txt", "sub/deeper/d.txt"};
    QStringList expected{owner->SourceName()};
    for (const QString& name : relative)
        expected.append(m_tree + name);
    EXPECT_EQ(SourceNames(), expected);
    for (const TSyncObject* child = owner->Next(); child != nullptr; child = child->Next()) {
        EXPECT_EQ(child->Parent(), owner);
        EXPECT_FALSE(child->Persistent());
        EXPECT_TRUE(child->SwapOnly());
        EXPECT_EQ(child->Description(), QStringLiteral("Paket"));
        EXPECT_EQ(child->Size(), 1);
    }
    EXPECT_EQ(FindBySourcePath(m_tree + QStringLiteral("sub/deeper/d.txt"))->TargetFolder(),
              QStringLiteral("/opt/app/sub/deeper/"));
    // The empty folder yields nothing but counts: tree, .hidden, empty, sub, deeper.
    EXPECT_TRUE(m_ui.objectStatusTexts.contains(QStringLiteral("5 Ordner importiert...")));
    EXPECT_FALSE(m_ui.objectStatusTexts.contains(QStringLiteral("6 Ordner importiert...")));
    EXPECT_EQ(ImportedFolderCount(), 0u);
    // The last import to end starts the monitoring.
    EXPECT_TRUE(WaitUntilWatching());
    EXPECT_TRUE(m_ui.HasMessage(QStringLiteral("Generiere Ordnerstruktur für Objekt \"%1\"").arg(owner->SourceName())));
}

TEST_F(TImportChildsTest, WithoutSubfoldersOnlyTheTopFolder)
{
    MakeTree();
    TSyncObject* owner = MakeOwner(false);
    RunImport(owner);
    EXPECT_EQ(SourceNames(), (QStringList{owner->SourceName(), m_tree + "a.txt", m_tree + "b.txt", m_tree + "z.txt"}));
    EXPECT_TRUE(m_ui.objectStatusTexts.contains(QStringLiteral("1 Ordner importiert...")));
    EXPECT_FALSE(m_ui.objectStatusTexts.contains(QStringLiteral("2 Ordner importiert...")));
}

TEST_F(TImportChildsTest, ASeparatelyAddedObjectIsTakenOverAndNoLongerStored)
{
    // Relative names below the object folder; the separate object comes after
    // the owner in the list file, so the import must not run before it is read.
    const QString objects = Home(QStringLiteral("Objects/pkg/"));
    QDir().mkpath(objects);
    for (const char* name : {"setup.exe", "readme.txt", "tool.dll"})
        WriteFile(objects + QLatin1String(name), "data");
    TSyncObject* owner = AddObject(QStringLiteral("pkg/setup.exe"), true, false);
    AddObject(QStringLiteral("pkg/tool.dll"));
    SaveObjectList();
    FreeAllObjects();
    m_ui.Clear();

    StartFolderThreads(LoadObjectList());
    ASSERT_TRUE(WaitUntilWatching());
    owner = FirstObject();
    EXPECT_EQ(SourceNames(), (QStringList{"pkg/setup.exe", "pkg/tool.dll", "pkg/readme.txt"}));
    EXPECT_TRUE(m_ui.HasMessage(QStringLiteral("Objekt \"pkg/tool.dll\" wird wiederverwendet")));
    TSyncObject* taken = FindBySourcePath(QStringLiteral("pkg/tool.dll"));
    EXPECT_EQ(taken->Parent(), owner);
    EXPECT_FALSE(taken->Persistent());

    SaveObjectList();
    const QByteArray file = ReadFile(ProgramFile(QStringLiteral(".objects")));
    EXPECT_EQ(file.count("\r\n"), 1);
    EXPECT_TRUE(file.contains("\"pkg/setup.exe\""));
}

TEST_F(TImportChildsTest, OnAClientTheTargetFolderIsImportedAndNoMonitorStarts)
{
    MainConfig().Set(QStringLiteral("NetServerName"), QStringLiteral("master"));
    const QString installed = m_dir.path() + QStringLiteral("/installed/");
    QDir().mkpath(installed + QStringLiteral("lib"));
    for (const char* name : {"setup.exe", "x.dll", "lib/y.dll"})
        WriteFile(installed + QLatin1String(name), "bin");
    TSyncObject* owner = AddObject(QStringLiteral("pkg/setup.exe"), true, true);
    owner->SetTargetFolder(installed);
    RunImport(owner);

    EXPECT_EQ(SourceNames(), (QStringList{"pkg/setup.exe", "pkg/x.dll", "pkg/lib/y.dll"}));
    EXPECT_EQ(FindBySourcePath(QStringLiteral("pkg/lib/y.dll"))->TargetFolder(), installed + QStringLiteral("lib/"));
    EXPECT_FALSE(m_ui.HasMessage(QStringLiteral("ChangeNotifyThread wird gestartet")));
}

TEST_F(TImportChildsTest, AStoppedImportEndsAtOnceAndLeavesTheMonitorOff)
{
    MakeTree();
    TSyncObject* owner = MakeOwner(true);
    // The thread first reads its owner's fields, whose lock this test holds
    // until events run (inside the stop), so the stop request is there
    // before it looks at any file.
    auto hold = std::make_shared<TWriteGuard>(ObjectLock());
    QTimer::singleShot(0, [hold]() mutable { hold.reset(); });
    hold.reset();
    StartImport(owner);
    StopImport(owner);

    EXPECT_FALSE(IsImportRunning());
    EXPECT_EQ(ObjectCount(), 1);
    EXPECT_TRUE(RequestAllImportsStop());
    const auto entries = m_ui.Entries();
    EXPECT_TRUE(std::any_of(entries.begin(), entries.end(), [](const TProtocolEntry& e) {
        return e.category == QStringLiteral("ImportChilds") && e.icon == -1 &&
               e.message == QStringLiteral("terminateForced() im Haupt-Thread aufgerufen");
    }));
    RunEventsFor(200);
    EXPECT_FALSE(m_ui.HasMessage(QStringLiteral("ChangeNotifyThread wird gestartet")));
}

} // namespace
