// SPDX-License-Identifier: GPL-3.0-or-later
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include "base/AtomicFile.h"

namespace {

mode_t ModeOf(const QString& path)
{
    struct stat info = {};
    ::stat(QFile::encodeName(path).constData(), &info);
    return info.st_mode & 07777;
}

gid_t GroupOf(const QString& path)
{
    struct stat info = {};
    ::stat(QFile::encodeName(path).constData(), &info);
    return info.st_gid;
}

} // namespace

TEST(AtomicFile, SavesInASharedFolderStayGroupWritableWhateverTheUmask)
{
    QTemporaryDir dir;
    const QString shared = dir.path() + "/shared";
    const QString plain = dir.path() + "/plain";
    QDir().mkpath(shared);
    QDir().mkpath(plain);
    ASSERT_EQ(::chmod(QFile::encodeName(shared).constData(), 02775), 0);
    const mode_t umask = ::umask(022);

    WriteFileAtomically(shared + "/new.objects", "a");
    EXPECT_EQ(ModeOf(shared + "/new.objects"), 0664u);
    // A file the group could not write before becomes writable with the next save.
    ASSERT_EQ(::chmod(QFile::encodeName(shared + "/new.objects").constData(), 0640), 0);
    WriteFileAtomically(shared + "/new.objects", "b");
    EXPECT_EQ(ModeOf(shared + "/new.objects"), 0660u);

    WriteFileAtomically(plain + "/new.objects", "a");
    EXPECT_EQ(ModeOf(plain + "/new.objects"), 0644u);
    ASSERT_EQ(::chmod(QFile::encodeName(plain + "/new.objects").constData(), 0600), 0);
    WriteFileAtomically(plain + "/new.objects", "b");
    EXPECT_EQ(ModeOf(plain + "/new.objects"), 0600u);
    ::umask(umask);
}

TEST(AtomicFile, GroupAccessShutsOthersOutAndASetgidFolderGivesItsGroupDownToTheCacheFolder)
{
    QTemporaryDir dir;
    const QString shared = dir.path() + "/shared";
    QDir().mkpath(shared);
    const QByteArray name = QFile::encodeName(shared);
    ASSERT_EQ(::chmod(name.constData(), 02775), 0);
    // As root the folder can belong to a group the writer is not in.
    const gid_t group = ::geteuid() == 0 ? 4242 : ::getegid();
    ASSERT_EQ(::chown(name.constData(), static_cast<uid_t>(-1), group), 0);
    const mode_t umask = ::umask(022);

    WriteFileAtomically(shared + "/plenwick.config", "a", TFileAccess::Group);
    EXPECT_EQ(ModeOf(shared + "/plenwick.config"), 0660u);
    EXPECT_EQ(GroupOf(shared + "/plenwick.config"), group);

    ASSERT_TRUE(MakeGroupFolder(shared + "/Cache/"));
    EXPECT_EQ(ModeOf(shared + "/Cache"), 02770u);
    EXPECT_EQ(GroupOf(shared + "/Cache"), group);
    TAppendFile file;
    file.Open(shared + "/Cache/entry");
    EXPECT_EQ(ModeOf(shared + "/Cache/entry"), 0660u);
    EXPECT_EQ(GroupOf(shared + "/Cache/entry"), group);
    ::umask(umask);
}

TEST(AtomicFile, AnAppendFileCutsATornLastLineAndAppendsWholeLines)
{
    QTemporaryDir dir;
    const QString path = dir.path() + "/list.downloads";
    const auto content = [&] {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("(missing)");
    };
    const auto make = [&](const QByteArray& bytes) {
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(bytes);
    };
    TAppendFile file;
    file.Open(path); // a new file
    file.Append("a\r\n");
    file.Append("b\r\n");
    EXPECT_EQ(content(), "a\r\nb\r\n");

    make("a\r\nb\r\nhalf a li");
    file.Open(path);
    file.Append("c\r\n");
    EXPECT_EQ(content(), "a\r\nb\r\nc\r\n");

    // A CR alone is no line end; nothing whole is left of a file without any.
    make("a\r\nb\r");
    file.Open(path);
    EXPECT_EQ(content(), "a\r\n");
    make("no line end at all");
    file.Open(path);
    EXPECT_EQ(content(), "");

    // A CR LF across the boundary of the backward reads is found.
    QByteArray big(200 * 1024, 'x');
    const qsizetype lineFeed = big.size() - 64 * 1024;
    big[lineFeed - 1] = '\r';
    big[lineFeed] = '\n';
    make(big);
    file.Open(path);
    EXPECT_EQ(content().size(), lineFeed + 1);
    file.Close();
    EXPECT_FALSE(file.IsOpen());
}

// A long list goes to the file in blocks: what arrives is every byte in order,
// and only at the commit; a write that ends without it leaves the old file.
TEST(AtomicFile, AFileWrittenInBlocksArrivesWholeAndOnlyWithTheCommit)
{
    QTemporaryDir dir;
    const QString path = dir.path() + "/list.objects";
    WriteFileAtomically(path, "old\r\n");
    const auto content = [&] {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("(missing)");
    };
    QByteArray expected;
    {
        TAtomicFile file(path, TFileAccess::Group);
        for (int i = 0; i < 40000; ++i) {
            const QByteArray line = "Zeile " + QByteArray::number(i) + " \xc3\xbc\r\n";
            file.Buffer().append(line);
            file.Appended();
            expected += line;
        }
        EXPECT_EQ(content(), "old\r\n");
        file.Commit();
    }
    EXPECT_GT(expected.size(), 512 * 1024);
    EXPECT_EQ(content(), expected);
    EXPECT_EQ(ModeOf(path), 0660u);

    {
        TAtomicFile file(path, TFileAccess::Group);
        file.Buffer().append(QByteArray(600 * 1024, 'x'));
        file.Appended();
    }
    EXPECT_EQ(content(), expected);
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files), QStringList{"list.objects"});
}
