// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <QFileInfo>

#include "base/ContentDigest.h"
#include "foundation/PendingMoves.h"
#include "platform/RegistryStore.h"
#include "support/TestHome.h"

namespace {

class PendingMovesTest : public TTestHome
{
protected:
    QStringList Pending() const { return TRegistryStore::ValueNames(TRegistryHive::LocalMachine, RunOnceKey()); }
};

} // namespace

TEST(PendingMovesNames, BackupReplacesTheExtension)
{
    EXPECT_EQ(BackupFilePath(QStringLiteral("/a/b/tool.dll")), QStringLiteral("/a/b/tool.backup"));
    EXPECT_EQ(BackupFilePath(QStringLiteral("/a/b.d/tool")), QStringLiteral("/a/b.d/tool.backup"));
    EXPECT_EQ(BackupFilePath(QStringLiteral("/a/.profile")), QStringLiteral("/a/.profile.backup"));
}

TEST_F(PendingMovesTest, StagingFileReplacesTargetAndOldVersionIsKept)
{
    const QString target = Home("tool.dll"), staging = Home("~$tool.dll");
    WriteFile(target, "old");
    WriteFile(staging, "new");
    WriteFile(Home("tool.backup"), "older");
    ASSERT_TRUE(RecordPendingMove(target, staging, DigestOfFile(staging)));

    const QString fresh = Home("fresh.txt"), freshStaging = Home("~$fresh.txt");
    WriteFile(freshStaging, "first");
    ASSERT_TRUE(RecordPendingMove(fresh, freshStaging, DigestOfFile(freshStaging)));

    CarryOutPendingMoves();
    EXPECT_EQ(ReadFile(target), QByteArray("new"));
    EXPECT_EQ(ReadFile(Home("tool.backup")), QByteArray("old"));
    EXPECT_FALSE(QFileInfo::exists(staging));
    EXPECT_EQ(ReadFile(fresh), QByteArray("first"));
    EXPECT_FALSE(QFileInfo::exists(Home("fresh.backup")));
    EXPECT_TRUE(Pending().isEmpty());
    EXPECT_EQ(m_ui.Messages(QStringLiteral("PendingMoves")).size(), 2);
}

TEST_F(PendingMovesTest, MoveThatFailsStaysForTheNextStart)
{
    // The target folder is gone: nothing can be put there.
    const QString target = Home("missing/tool.dll"), staging = Home("~$tool.dll");
    WriteFile(staging, "new");
    ASSERT_TRUE(RecordPendingMove(target, staging, DigestOfFile(staging)));
    CarryOutPendingMoves();
    EXPECT_EQ(ReadFile(staging), QByteArray("new"));
    EXPECT_EQ(Pending(), QStringList{target});

    // A staging file that vanished leaves nothing to do: the entry goes.
    QFile::remove(staging);
    CarryOutPendingMoves();
    EXPECT_TRUE(Pending().isEmpty());
}

TEST_F(PendingMovesTest, StagingFileChangedOrSwappedForALinkSinceItsCheckIsRemovedNotMoved)
{
    const QString target = Home("tool.sh"), staging = Home("~$tool.sh");
    WriteFile(target, "alt");
    WriteFile(staging, "geprüft");
    ASSERT_TRUE(RecordPendingMove(target, staging, DigestOfFile(staging)));
    WriteFile(staging, "fremd!!"); // same size, other bytes

    const QString other = Home("other.txt"), otherStaging = Home("~$other.txt");
    WriteFile(otherStaging, "geprüft");
    ASSERT_TRUE(RecordPendingMove(other, otherStaging, DigestOfFile(otherStaging)));
    const QString victim = Home("victim.txt");
    WriteFile(victim, "geprüft");
    QFile::remove(otherStaging);
    ASSERT_TRUE(QFile::link(victim, otherStaging));

    CarryOutPendingMoves();
    EXPECT_EQ(ReadFile(target), QByteArray("alt"));
    EXPECT_FALSE(QFileInfo::exists(staging));
    EXPECT_FALSE(QFileInfo::exists(other));
    EXPECT_EQ(ReadFile(victim), QByteArray("geprüft"));
    EXPECT_TRUE(Pending().isEmpty());
    EXPECT_EQ(m_ui.Messages(QStringLiteral("PendingMoves")).filter(QStringLiteral("verändert")).size(), 2);
}

TEST_F(PendingMovesTest, DamagedHiveIsLoggedOnceAndTheMoveStillRecorded)
{
    const QString hive = TRegistryStore::HiveFile(TRegistryHive::LocalMachine);
    WriteFile(hive, "REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\Software\\X]\r\n\"Broken\"=dword:zz\r\n");
    const QString target = Home("tool.dll");
    EXPECT_FALSE(HasPendingMove(target));
    EXPECT_EQ(m_ui.Messages("RegistryStore").size(), 1);
    ASSERT_TRUE(RecordPendingMove(target, Home("~$tool.dll"), TContentDigest{}));
    EXPECT_TRUE(HasPendingMove(target));
    EXPECT_EQ(m_ui.Messages("RegistryStore").size(), 1);
}
