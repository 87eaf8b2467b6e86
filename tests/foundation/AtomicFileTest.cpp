// SPDX-License-Identifier: GPL-3.0-or-later
#include <sys/stat.h>

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
