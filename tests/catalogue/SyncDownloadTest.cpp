// SPDX-License-Identifier: GPL-3.0-or-later
#include <memory>
#include <vector>

#include <sys/stat.h>

#include "base/TextFields.h"
#include "catalogue/CatalogueFixture.h"
#include "catalogue/CatalogueSetup.h"
#include "platform/ProgramPaths.h"

using DownloadListTest = TCatalogueTest;

TEST_F(DownloadListTest, ARepeatedConfirmationKeepsOneRecordWhichStaysUntilTheObjectChanges)
{
    TSyncObject* object = AppendObject(std::make_unique<TSyncObject>(QStringLiteral("a.exe"), QStringLiteral("?"), 1,
                                                                     SomeDate(), QStringLiteral("/t/")));
    TSyncClient client(QStringLiteral("10.0.0.1"), QStringLiteral("d"), SomeDate(), QStringLiteral("pc"));
    client.SetLocalComputerName(QStringLiteral("PC-ANNA"));
    EXPECT_FALSE(HasDownloaded(client, *object));

    EXPECT_TRUE(RecordDownload(QStringLiteral("10.0.0.1"), object->ComputeId(), QStringLiteral("PC-Anna")));
    // The same computer again, also from another address: nothing new.
    EXPECT_FALSE(RecordDownload(QStringLiteral("10.0.0.9"), object->ComputeId(), QStringLiteral("pc-anna")));
    EXPECT_TRUE(RecordDownload(QStringLiteral("10.0.0.1"), 12345, QStringLiteral("PC-Anna"))); // no such object
    const QString path = ProgramFile(QStringLiteral(".downloads"));
    const QString expected = QStringLiteral("10.0.0.1,pc-anna,") + NumberToText(object->ComputeId());
    // Every confirmation is on disk when it returns; cleaning waits for a change of the object list.
    EXPECT_EQ(SplitLines(ReadFile(path)), (QStringList{expected, QStringLiteral("10.0.0.1,pc-anna,12345")}));
    EXPECT_TRUE(HasDownloaded(client, *object));
    TidyDownloadList();
    EXPECT_TRUE(m_ui.HasMessage(QStringLiteral("Bereinige Downloads")));
    EXPECT_EQ(SplitLines(ReadFile(path)), QStringList{expected});

    // A file of an earlier version holds every confirmation: it loads as one
    // record per pair and is written back so.
    FreeAllDownloads();
    WriteFile(path, (QStringList{expected, expected, expected.toUpper()}.join(QStringLiteral("\r\n")) +
                     QStringLiteral("\r\n"))
                        .toUtf8());
    LoadDownloadList();
    EXPECT_EQ(DownloadCount(), 1);
    EXPECT_EQ(SplitLines(ReadFile(path)), QStringList{expected});

    object->SetSize(2);
    EXPECT_FALSE(HasDownloaded(client, *object));
    SaveDownloadList();
    EXPECT_TRUE(SplitLines(ReadFile(path)).isEmpty());
    EXPECT_EQ(DownloadCount(), 0);
}

TEST_F(DownloadListTest, LoadSkipsBadLinesKeepsTheOriginalAsideAndCleansOnlyAgainstARealList)
{
    const QString path = ProgramFile(QStringLiteral(".downloads"));
    WriteFile(path, "10.0.0.1,pc,18446744073709551615\r\nnur,zwei\r\n10.0.0.2,pc,12x\r\n10.0.0.3,Pc,7\r\n");
    // No object list (not read, or unreadable): nothing is cleaned away.
    LoadDownloadList();
    ASSERT_EQ(DownloadCount(), 2);
    EXPECT_EQ(DownloadAt(0).DownloadObjectId(), 18446744073709551615ull);
    EXPECT_EQ(DownloadAt(1).DownloadComputerName(), QStringLiteral("pc"));
    EXPECT_TRUE(m_ui.messageBoxes.isEmpty());
    EXPECT_TRUE(QFile::exists(path + ".bad"));
    EXPECT_EQ(SplitLines(ReadFile(path)), (QStringList{"10.0.0.1,pc,18446744073709551615", "10.0.0.3,pc,7"}));

    // With objects, the load cleans and rewrites the file.
    FreeAllDownloads();
    AppendObject(std::make_unique<TSyncObject>(QStringLiteral("a.exe"), QStringLiteral("?"), 7, kUnixEpochDays,
                                               QStringLiteral("/t/")));
    WriteFile(path, "10.0.0.1,pc,1\r\n10.0.0.3,pc," + QByteArray::number(FirstObject()->ComputeId()) + "\r\n");
    LoadDownloadList();
    EXPECT_EQ(DownloadCount(), 1);
    EXPECT_EQ(SplitLines(ReadFile(path)).size(), 1);
}

TEST_F(DownloadListTest, AConfirmationAppendsOneLineAndAChangeOfTheObjectListCleansTheFile)
{
    TSyncObject* kept = AppendObject(std::make_unique<TSyncObject>(QStringLiteral("a.exe"), QStringLiteral("?"), 1,
                                                                   SomeDate(), QStringLiteral("/t/")));
    TSyncObject* removed = AppendObject(std::make_unique<TSyncObject>(QStringLiteral("b.exe"), QStringLiteral("?"), 2,
                                                                      SomeDate(), QStringLiteral("/t/")));
    const QString path = ProgramFile(QStringLiteral(".downloads"));
    WriteFile(path, "10.0.0.1,pc1," + QByteArray::number(kept->ComputeId()) + "\r\n");
    LoadDownloadList();
    RecordDownload(QStringLiteral("10.0.0.2"), removed->ComputeId(), QStringLiteral("pc2"));
    const QStringList first{QStringLiteral("10.0.0.1,pc1,") + NumberToText(kept->ComputeId()),
                            QStringLiteral("10.0.0.2,pc2,") + NumberToText(removed->ComputeId())};
    EXPECT_EQ(SplitLines(ReadFile(path)), first);

    // The file is written to, never replaced, however many confirmations come.
    const auto inode = [&] {
        struct stat status = {};
        ::stat(QFile::encodeName(path).constData(), &status);
        return status.st_ino;
    };
    const ino_t before = inode();
    m_ui.Clear();
    for (int i = 0; i < 50; ++i)
        RecordDownload(QStringLiteral("10.0.0.3"), kept->ComputeId(), QStringLiteral("pc3-%1").arg(i));
    EXPECT_EQ(inode(), before);
    EXPECT_EQ(SplitLines(ReadFile(path)).size(), 52);
    EXPECT_FALSE(m_ui.HasMessage(QStringLiteral("SyncDownload-Liste wurde geschrieben")));

    // Removing an object is a change of the list: its records leave the file,
    // and later confirmations go on into the new one.
    InstallCatalogue();
    RemoveObject(removed);
    SaveObjectList();
    QStringList lines = SplitLines(ReadFile(path));
    EXPECT_EQ(lines.size(), 51);
    EXPECT_FALSE(lines.join(QLatin1Char('\n')).contains(QStringLiteral("pc2")));
    RecordDownload(QStringLiteral("10.0.0.4"), kept->ComputeId(), QStringLiteral("pc4"));
    lines = SplitLines(ReadFile(path));
    ASSERT_EQ(lines.size(), 52);
    EXPECT_EQ(lines.last(), QStringLiteral("10.0.0.4,pc4,") + NumberToText(kept->ComputeId()));
    FreeAllDownloads();
    LoadDownloadList();
    EXPECT_EQ(DownloadCount(), 52);
}

namespace {

/// The lookup as a walk over every record, to hold the indexed lookup against.
bool WalkFinds(const TSyncClient& client, const TSyncObject& object)
{
    for (int i = 0; i < DownloadCount(); ++i) {
        const TSyncDownload d = DownloadAt(i);
        if (d.DownloadObjectId() == object.ComputeId() &&
            d.DownloadComputerName().compare(client.LocalComputerName(), Qt::CaseInsensitive) == 0)
            return true;
    }
    return false;
}

} // namespace

class DownloadLookupTest : public DownloadListTest
{
protected:
    void SetUp() override
    {
        DownloadListTest::SetUp();
        for (const char* name : {"a.exe", "b.exe"})
            m_objects.append(AppendObject(std::make_unique<TSyncObject>(QLatin1String(name), QStringLiteral("?"), 1,
                                                                        SomeDate(), QStringLiteral("/t/"))));
        // Login names in other letter cases, beyond ASCII too; "STRASSE" folds to
        // no record's name, as a comparison ignoring case finds none either.
        for (const char* name : {"PC-ANNA", "pc-bert", "PC-ÄRGER", "PC-STRASSE", ""}) {
            m_clients.push_back(std::make_unique<TSyncClient>(QStringLiteral("10.0.0.1"), QStringLiteral("d"),
                                                              SomeDate(), QStringLiteral("host")));
            m_clients.back()->SetLocalComputerName(QString::fromUtf8(name));
        }
    }

    /// Every client against every object: the lookup agrees with the walk;
    /// returns how many pairs were found.
    int ExpectLookupMatchesWalk()
    {
        int found = 0;
        for (const auto& client : m_clients)
            for (const TSyncObject* object : m_objects) {
                const bool walk = WalkFinds(*client, *object);
                EXPECT_EQ(HasDownloaded(*client, *object), walk)
                    << client->LocalComputerName().toStdString() << " " << object->SourceName().toStdString();
                found += walk ? 1 : 0;
            }
        return found;
    }

    QList<TSyncObject*> m_objects;
    std::vector<std::unique_ptr<TSyncClient>> m_clients;
};

TEST_F(DownloadLookupTest, StaysExactThroughRecordCleanLoadAndFree)
{
    const quint64 a = m_objects[0]->ComputeId();
    const quint64 oldB = m_objects[1]->ComputeId();
    RecordDownload(QStringLiteral("10.0.0.1"), a, QStringLiteral("pc-anna"));
    RecordDownload(QStringLiteral("10.0.0.1"), a, QStringLiteral("PC-Anna")); // the same pair again: dropped
    RecordDownload(QStringLiteral("10.0.0.2"), oldB, QStringLiteral("PC-Bert"));
    RecordDownload(QStringLiteral("10.0.0.3"), oldB, QString::fromUtf8("pc-ärger"));
    RecordDownload(QStringLiteral("10.0.0.4"), a, QString::fromUtf8("pc-straße"));
    EXPECT_EQ(ExpectLookupMatchesWalk(), 3);

    // b changes: the save drops its records. In its old form again, it must not
    // be found through records that are gone.
    m_objects[1]->SetSize(2);
    SaveDownloadList();
    m_objects[1]->SetSize(1);
    ASSERT_EQ(m_objects[1]->ComputeId(), oldB);
    EXPECT_EQ(DownloadCount(), 2);
    EXPECT_EQ(ExpectLookupMatchesWalk(), 1);

    FreeAllDownloads();
    EXPECT_EQ(ExpectLookupMatchesWalk(), 0);

    LoadDownloadList(); // the saved file: the record of a, the one of "pc-straße"
    EXPECT_EQ(DownloadCount(), 2);
    EXPECT_EQ(ExpectLookupMatchesWalk(), 1);

    // Loading on top of a list adds no pair it holds; one clean takes the rest away.
    LoadDownloadList();
    EXPECT_EQ(DownloadCount(), 2);
    m_objects[0]->SetSize(5);
    SaveDownloadList();
    m_objects[0]->SetSize(1);
    EXPECT_EQ(DownloadCount(), 0);
    EXPECT_EQ(ExpectLookupMatchesWalk(), 0);
}

TEST_F(DownloadLookupTest, RemovedObjectLosesItsRecordsOnly)
{
    RecordDownload(QStringLiteral("10.0.0.1"), m_objects[0]->ComputeId(), QStringLiteral("pc-anna"));
    RecordDownload(QStringLiteral("10.0.0.1"), m_objects[1]->ComputeId(), QStringLiteral("pc-anna"));
    RemoveObject(m_objects[1]);
    m_objects.removeLast();
    SaveDownloadList();
    EXPECT_EQ(DownloadCount(), 1);
    EXPECT_EQ(ExpectLookupMatchesWalk(), 1);
    EXPECT_TRUE(HasDownloaded(*m_clients[0], *m_objects[0]));
}
