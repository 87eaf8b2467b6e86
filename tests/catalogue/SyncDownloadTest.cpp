// SPDX-License-Identifier: GPL-3.0-or-later
#include "catalogue/CatalogueFixture.h"
#include "foundation/TextFields.h"
#include "platform/ProgramPaths.h"

using DownloadListTest = TCatalogueTest;

TEST_F(DownloadListTest, DuplicateConfirmationsStayUntilTheObjectChanges)
{
    TSyncObject* object = AppendObject(std::make_unique<TSyncObject>(QStringLiteral("a.exe"), QStringLiteral("?"), 1,
                                                                     SomeDate(), QStringLiteral("/t/")));
    TSyncClient client(QStringLiteral("10.0.0.1"), QStringLiteral("d"), SomeDate(), QStringLiteral("pc"));
    client.SetLocalComputerName(QStringLiteral("PC-ANNA"));
    EXPECT_FALSE(HasDownloaded(client, *object));

    RecordDownload(QStringLiteral("10.0.0.1"), object->ComputeId(), QStringLiteral("PC-Anna"));
    RecordDownload(QStringLiteral("10.0.0.1"), object->ComputeId(), QStringLiteral("PC-Anna"));
    RecordDownload(QStringLiteral("10.0.0.1"), 12345, QStringLiteral("PC-Anna")); // no such object
    const QString path = ProgramFile(QStringLiteral(".downloads"));
    const QString expected = QStringLiteral("10.0.0.1,pc-anna,") + NumberToText(object->ComputeId());
    EXPECT_EQ(SplitLines(ReadFile(path)), (QStringList{expected, expected}));
    EXPECT_TRUE(HasDownloaded(client, *object));
    EXPECT_TRUE(m_ui.HasMessage(QStringLiteral("Bereinige Downloads")));

    object->SetSize(2);
    EXPECT_FALSE(HasDownloaded(client, *object));
    SaveDownloadList();
    EXPECT_TRUE(SplitLines(ReadFile(path)).isEmpty());
    EXPECT_EQ(DownloadCount(), 0);
}

TEST_F(DownloadListTest, LoadSkipsBadLines)
{
    const QString path = ProgramFile(QStringLiteral(".downloads"));
    WriteFile(path, "10.0.0.1,pc,18446744073709551615\r\nnur,zwei\r\n10.0.0.2,pc,12x\r\n10.0.0.3,Pc,7\r\n");
    LoadDownloadList();
    ASSERT_EQ(DownloadCount(), 2);
    EXPECT_EQ(FirstDownload()->DownloadObjectId(), 18446744073709551615ull);
    EXPECT_EQ(FirstDownload()->Next()->DownloadComputerName(), QStringLiteral("pc"));
    EXPECT_TRUE(m_ui.messageBoxes.isEmpty());
    SaveDownloadList();
    EXPECT_TRUE(QFile::exists(path + ".bad"));
}
