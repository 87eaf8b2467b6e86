// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QDir>

#include "catalogue/ChangeNotifyBase.h"
#include "catalogue/SyncClient.h"
#include "catalogue/SyncDownload.h"
#include "catalogue/SyncObject.h"
#include "catalogue/SyncUser.h"
#include "foundation/MainConfig.h"
#include "foundation/ServiceMode.h"
#include "platform/FileTimes.h"
#include "support/TestHome.h"

/// A program folder with empty catalogue lists, an object folder and a
/// Scriptus folder; the lists are freed again after each test.
class TCatalogueTest : public TTestHome
{
protected:
    void SetUp() override
    {
        TTestHome::SetUp();
        FreeLists();
        QDir().mkpath(Home("Objects"));
        QDir().mkpath(Home("Scriptus"));
        QDir().mkpath(Home("Target"));
        MainConfig().Set(QStringLiteral("ServerObjectDir"), Home("Objects/"));
        MainConfig().Set(QStringLiteral("ServerScriptusDir"), Home("Scriptus/"));
        SetRunningAsService(false);
    }

    void TearDown() override
    {
        FreeLists();
        SetRunningAsService(false);
        TTestHome::TearDown();
    }

    static void FreeLists()
    {
        StopFolderThreads();
        FreeAllObjects();
        FreeAllClients();
        FreeAllDownloads();
        FreeAllUsers();
    }

    /// Makes this computer a client of another master server.
    static void BecomeClient() { MainConfig().Set(QStringLiteral("NetServerName"), QStringLiteral("master01")); }

    /// Writes a file with a given last-write time (even seconds).
    void MakeFile(const QString& path, const QByteArray& content, TDateTime date) const
    {
        WriteFile(path, content);
        ASSERT_TRUE(SetFileLastWriteTime(path, date));
    }

    /// 03.04.2025 10:20:30 local time.
    static TDateTime SomeDate() { return DateTimeFromText(QStringLiteral("03.04.25 10:20:30")); }
};
