// SPDX-License-Identifier: GPL-3.0-or-later
#include <cstdio>

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>

#include "catalogue/ChangeNotifyBase.h"
#include "catalogue/ImportChilds.h"
#include "catalogue/SyncObject.h"
#include "foundation/MainConfig.h"
#include "foundation/Quit.h"
#include "platform/FileTimes.h"
#include "platform/ProgramPaths.h"
#include "support/FolderTreeHome.h"

namespace {

const QString kCategory = QStringLiteral("ChangeNotifyThread");

class TChangeNotifyThreadTest : public TFolderTreeHome
{
protected:
    /// A distributed tree of setup.exe, a.txt and b.txt, imported and watched.
    TSyncObject* WatchTree()
    {
        for (const char* name : {"setup.exe", "a.txt", "b.txt"})
            MakeFile(QString::fromLatin1(name), "old");
        TSyncObject* owner = AddObject(m_tree + QStringLiteral("setup.exe"), true, true);
        SaveObjectList();
        StartImport(owner);
        EXPECT_TRUE(WaitUntilWatching());
        return owner;
    }
    QString Modified() const { return QStringLiteral("Ordner \"%1\" wurde modifiziert").arg(m_tree); }
};

TEST_F(TChangeNotifyThreadTest, WatchesEachFolderOnceAndSubfoldersDepthFirst)
{
    for (const char* name : {"f1/a", "f1/b", "f2/c", "g/e", "g/a/x/f", "g/b/h"})
        MakeFile(QString::fromLatin1(name));
    // Neighbours share a folder; f1 again after f2 is caught by the list check.
    for (const char* name : {"f1/a", "f1/b", "f2/c", "f1/a", "missing/m"})
        AddObject(m_tree + QLatin1String(name));
    AddObject(m_tree + QStringLiteral("g/e"), true, true);
    StartFolderMonitoring();
    ASSERT_TRUE(WaitUntilWatching());

    EXPECT_EQ(m_ui.Messages(kCategory), (QStringList{
                                            "ChangeNotifyThread wird gestartet",
                                            "1. Ordner \"" + m_tree + "f1/\" wird überwacht",
                                            "2. Ordner \"" + m_tree + "f2/\" wird überwacht",
                                            "3. Ordner \"" + m_tree + "g/\" wird überwacht",
                                            "4. Ordner \"" + m_tree + "g/a/\" wird überwacht",
                                            "5. Ordner \"" + m_tree + "g/a/x/\" wird überwacht",
                                            "6. Ordner \"" + m_tree + "g/b/\" wird überwacht",
                                            "Veränderungen in 6 Ordnern werden überwacht",
                                        }));
}

TEST_F(TChangeNotifyThreadTest, RefusesEveryFolderBeyondSixtyFour)
{
    for (int i = 0; i < 66; ++i)
        AddObject(MakeFile(QStringLiteral("f%1/file").arg(i, 2, 10, QLatin1Char('0'))));
    StartFolderMonitoring();
    ASSERT_TRUE(WaitUntilWatching());
    const QStringList messages = m_ui.Messages(kCategory);
    EXPECT_TRUE(messages.contains("64. Ordner \"" + m_tree + "f63/\" wird überwacht"));
    for (const char* refused : {"f64/", "f65/"})
        EXPECT_TRUE(messages.contains("Fehler in Ordnerüberwachung \"" + m_tree + refused +
                                      "\": es können maximal 64 Ordner überwacht werden"));
    EXPECT_TRUE(messages.contains(QStringLiteral("Veränderungen in 64 Ordnern werden überwacht")));
}

TEST_F(TChangeNotifyThreadTest, WithoutAWatchableFolderItStartsAndEnds)
{
    AddObject(m_tree + QStringLiteral("missing/file"));
    StartFolderMonitoring();
    ASSERT_TRUE(WaitForMessage(QStringLiteral("ChangeNotifyThread terminiert")));
    EXPECT_EQ(m_ui.Messages(kCategory),
              (QStringList{"ChangeNotifyThread wird gestartet", "Veränderungen in 0 Ordnern werden überwacht",
                           "ChangeNotifyThread terminiert"}));
    EXPECT_TRUE(RunEventsUntil([] { return RequestFolderMonitoringStop(); }));
}

TEST_F(TChangeNotifyThreadTest, AReplacedFileIsRefreshedWithoutRegeneratingTheTree)
{
    WatchTree();
    m_ui.Clear();
    // The newer copy is made outside the watched folder and moved in at once.
    const QString copy = m_dir.path() + QStringLiteral("/a.new");
    WriteFile(copy, "newer");
    SetFileLastWriteTime(copy, DateTimeNow());
    const QString file = m_tree + QStringLiteral("a.txt");
    // One atomic replacement, so the folder changes exactly once.
    ASSERT_EQ(std::rename(QFile::encodeName(copy).constData(), QFile::encodeName(file).constData()), 0);

    ASSERT_TRUE(WaitForMessage(QStringLiteral("Objektliste wird aktualisiert")));
    EXPECT_EQ(m_ui.Messages(),
              (QStringList{Modified(), "Modifikationsdatum wurde modifiziert", "Größe wurde modifiziert",
                           "Datei \"" + file + "\" wurde modifiziert", "Objekt \"" + file + "\" wurde modifiziert",
                           "Objektliste wird aktualisiert"}));
    EXPECT_EQ(FindBySourcePath(file)->Size(), 5);
    EXPECT_TRUE(RunEventsUntil([&] { return m_ui.objectViewRebuilds == 1; }));
}

TEST_F(TChangeNotifyThreadTest, FilesChangedUnderOneSignalAreAllRefreshed)
{
    const QString r = AddObject(MakeFile(QStringLiteral("r.txt"), "old"))->SourceName();
    const QString p = AddObject(MakeFile(QStringLiteral("p.txt"), "old"))->SourceName();
    const QString q = AddObject(MakeFile(QStringLiteral("q.txt"), "old"))->SourceName();
    StartFolderMonitoring();
    ASSERT_TRUE(WaitUntilWatching());
    const auto replace = [this](const QString& file, const QByteArray& content) {
        const QString copy = m_dir.path() + QStringLiteral("/new");
        WriteFile(copy, content);
        SetFileLastWriteTime(copy, DateTimeNow());
        return std::rename(QFile::encodeName(copy).constData(), QFile::encodeName(file).constData()) == 0;
    };
    ASSERT_TRUE(replace(r, "newer"));
    // The monitor now waits for its next log line: both changes below reach
    // it together, as one signal of the folder.
    ASSERT_TRUE(WaitForMessage("Objekt \"" + r + "\" wurde modifiziert"));
    ASSERT_TRUE(replace(p, "newer!"));
    ASSERT_TRUE(replace(q, "newest!"));
    EXPECT_TRUE(WaitForMessage("Objekt \"" + p + "\" wurde modifiziert", 1, 3000));
    EXPECT_TRUE(WaitForMessage("Objekt \"" + q + "\" wurde modifiziert", 1, 3000));
    EXPECT_EQ(FindBySourcePath(q)->Size(), 7);
}

TEST_F(TChangeNotifyThreadTest, ADeletedFileBecomesAStoredDeleteObjectAndTheTreeIsRegenerated)
{
    TSyncObject* owner = WatchTree();
    const QString gone = m_tree + QStringLiteral("a.txt");
    ASSERT_TRUE(QFile::remove(gone));

    ASSERT_TRUE(WaitUntilWatching(2));
    EXPECT_TRUE(m_ui.HasMessage("Suche fehlende Objekte im Ordner \"" + m_tree + "\""));
    EXPECT_TRUE(m_ui.HasMessage("Objekt \"" + gone + "\" fehlt und wird als gelöscht gekennzeichnet"));
    EXPECT_TRUE(m_ui.HasMessage("Lösche alle Ordnerstrukturobjekte von \"" + owner->SourceName() + "\""));
    EXPECT_EQ(m_ui.Messages().count("Generiere Ordnerstruktur für Objekt \"" + owner->SourceName() + "\""), 2);

    TSyncObject* deleted = FindBySourcePath(gone);
    ASSERT_NE(deleted, nullptr);
    EXPECT_TRUE(deleted->DeleteTarget());
    EXPECT_TRUE(deleted->Persistent());
    EXPECT_EQ(deleted->Parent(), nullptr);
    EXPECT_EQ(FindBySourcePath(m_tree + QStringLiteral("b.txt"))->Parent(), owner);
    const QByteArray stored = ReadFile(ProgramFile(QStringLiteral(".objects")));
    EXPECT_EQ(stored.count("\r\n"), 2);
    EXPECT_TRUE(stored.contains(gone.toUtf8()));
}

TEST_F(TChangeNotifyThreadTest, WithoutTheOptionADeletedFileJustDisappears)
{
    MainConfig().Set(QStringLiteral("ClientQueryMissingObjects"), false);
    TSyncObject* owner = WatchTree();
    ASSERT_TRUE(QFile::remove(m_tree + QStringLiteral("a.txt")));

    ASSERT_TRUE(WaitUntilWatching(2));
    EXPECT_EQ(SourceNames(), (QStringList{owner->SourceName(), m_tree + "b.txt"}));
    EXPECT_FALSE(m_ui.HasMessage("Suche fehlende Objekte im Ordner \"" + m_tree + "\""));
}

TEST_F(TChangeNotifyThreadTest, ANewFileBesideTheOwnerAloneIsImported)
{
    MakeFile(QStringLiteral("setup.exe"));
    TSyncObject* owner = AddObject(m_tree + QStringLiteral("setup.exe"), true, false);
    StartImport(owner);
    ASSERT_TRUE(WaitUntilWatching());
    const QString added = MakeFile(QStringLiteral("new.txt"));

    ASSERT_TRUE(WaitUntilWatching(2));
    ASSERT_NE(FindBySourcePath(added), nullptr);
    EXPECT_EQ(FindBySourcePath(added)->Parent(), owner);
}

TEST_F(TChangeNotifyThreadTest, StopsOnRequestAndJoinsTheShutdown)
{
    AddObject(MakeFile(QStringLiteral("f/file")));
    StartFolderMonitoring();
    ASSERT_TRUE(WaitUntilWatching());

    EXPECT_FALSE(RequestShutdown());
    EXPECT_TRUE(m_ui.HasMessage(QStringLiteral("ChangeNotify-Thread noch nicht terminiert...")));
    ASSERT_TRUE(WaitForMessage(QStringLiteral("ChangeNotifyThread terminiert")));
    EXPECT_TRUE(RunEventsUntil([] { return RequestFolderMonitoringStop(); }));
    // The shutdown's re-check finds nothing left and ends its waiting.
    EXPECT_TRUE(RunEventsUntil([] { return !ShutdownWaiting(); }));

    StartFolderMonitoring();
    ASSERT_TRUE(WaitUntilWatching(2));
    StopFolderMonitoring();
    EXPECT_TRUE(m_ui.HasMessage(QStringLiteral("terminateForced() im Haupt-Thread aufgerufen")));
    EXPECT_EQ(m_ui.Messages().count(QStringLiteral("ChangeNotifyThread terminiert")), 2);
}

} // namespace
