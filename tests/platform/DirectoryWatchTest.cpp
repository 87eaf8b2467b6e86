// SPDX-License-Identifier: GPL-3.0-or-later
#include <cerrno>

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include "platform/DirectoryWatch.h"

namespace {

class TDirectoryWatchTest : public ::testing::Test
{
protected:
    QString Folder(const char* name)
    {
        const QString path = m_dir.path() + QLatin1Char('/') + QLatin1String(name) + QLatin1Char('/');
        QDir().mkpath(path);
        return path;
    }
    static void Touch(const QString& path)
    {
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("x");
    }
    int Add(const QString& folder)
    {
        int error = 0;
        return m_watch.Add(folder, error);
    }

    QTemporaryDir m_dir;
    TDirectoryWatch m_watch;
};

TEST_F(TDirectoryWatchTest, AMissingFolderGivesNoHandleButTheSystemsError)
{
    int error = 0;
    EXPECT_EQ(m_watch.Add(m_dir.path() + QStringLiteral("/missing/"), error), -1);
    EXPECT_EQ(error, ENOENT);
}

TEST_F(TDirectoryWatchTest, ASignalStaysUntilRearmedAndLaterChangesSignalAgain)
{
    const int first = Add(Folder("first"));
    const int second = Add(Folder("second"));
    EXPECT_EQ(m_watch.Wait(10).result, TDirectoryWatch::TResult::Timeout);

    Touch(m_dir.path() + QStringLiteral("/second/file"));
    TDirectoryWatch::TWait wait = m_watch.Wait(1000);
    ASSERT_EQ(wait.result, TDirectoryWatch::TResult::Signalled);
    EXPECT_EQ(wait.handle, second);
    EXPECT_EQ(m_watch.Wait(10).handle, second);

    m_watch.Rearm(second);
    EXPECT_EQ(m_watch.Wait(10).result, TDirectoryWatch::TResult::Timeout);
    Touch(m_dir.path() + QStringLiteral("/first/file"));
    Touch(m_dir.path() + QStringLiteral("/second/other"));
    wait = m_watch.Wait(1000);
    EXPECT_EQ(wait.handle, first); // the lowest signalled handle first
    m_watch.Rearm(first);
    EXPECT_EQ(m_watch.Wait(1000).handle, second);
}

TEST_F(TDirectoryWatchTest, HandlesOfOneFolderShareItAndADeletedFolderClosesQuietly)
{
    const QString folder = Folder("shared");
    const int one = Add(folder);
    const int two = Add(folder);
    Touch(folder + QStringLiteral("file"));
    ASSERT_EQ(m_watch.Wait(1000).handle, one);
    m_watch.Rearm(one);
    EXPECT_EQ(m_watch.Wait(10).handle, two);

    ASSERT_TRUE(QDir(folder).removeRecursively());
    m_watch.Wait(100);
    int error = 0;
    EXPECT_TRUE(m_watch.Close(one, error));
    EXPECT_TRUE(m_watch.Close(two, error));
    EXPECT_EQ(error, 0);
}

} // namespace
