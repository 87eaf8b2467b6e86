// SPDX-License-Identifier: GPL-3.0-or-later
#include <sys/stat.h>

#include <functional>
#include <utility>
#include <vector>

#include "catalogue/CatalogueFixture.h"
#include "catalogue/ListFile.h"
#include "platform/ProgramPaths.h"

namespace {

mode_t ModeOf(const QString& path)
{
    struct stat status = {};
    ::stat(QFile::encodeName(path).constData(), &status);
    return status.st_mode & 07777;
}

} // namespace

using ListFileTest = TCatalogueTest;

// The lists name restricted objects and every client: nobody but the owner
// and the group may read them, whatever the umask and the mode they had.
TEST_F(ListFileTest, EveryListIsWrittenForOwnerAndGroupOnly)
{
    AppendObject(std::make_unique<TSyncObject>(QStringLiteral("a.exe"), QStringLiteral("?"), 1, SomeDate(),
                                               QStringLiteral("/t/")));
    const std::vector<std::pair<const char*, std::function<void()>>> lists = {
        {".objects", &SaveObjectList},
        {".clients", &SaveClientList},
        {".users", &SaveUserList},
        {".downloads", &SaveDownloadList},
    };
    const mode_t umask = ::umask(022);
    for (const auto& [extension, save] : lists) {
        const QString path = ProgramFile(QLatin1String(extension));
        save();
        EXPECT_EQ(ModeOf(path), 0660u) << extension;
        // A file an earlier version left readable for everyone.
        ASSERT_EQ(::chmod(QFile::encodeName(path).constData(), 0664), 0);
        save();
        EXPECT_EQ(ModeOf(path), 0660u) << extension;
    }
    // The download list grows by appends to the file as it found it.
    const QString downloads = ProgramFile(QStringLiteral(".downloads"));
    FreeAllDownloads();
    ASSERT_EQ(::chmod(QFile::encodeName(downloads).constData(), 0664), 0);
    RecordDownload(QStringLiteral("10.0.0.1"), FirstObject()->ComputeId(), QStringLiteral("pc"));
    EXPECT_EQ(ModeOf(downloads), 0660u);
    ::umask(umask);
}
