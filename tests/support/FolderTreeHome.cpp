// SPDX-License-Identifier: GPL-3.0-or-later
#include "support/FolderTreeHome.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

#include "catalogue/ChangeNotifyBase.h"
#include "catalogue/ImportChilds.h"
#include "catalogue/SyncObject.h"
#include "platform/FileTimes.h"

void TFolderTreeHome::SetUp()
{
    TTestHome::SetUp();
    // Wired as the catalogue set-up does: the last import to end starts the
    // folder monitor.
    SetLastImportEndedHandler(&StartFolderMonitoring);
    m_tree = m_dir.path() + QStringLiteral("/tree/");
    QDir().mkpath(m_tree);
}

void TFolderTreeHome::TearDown()
{
    StopFolderThreads();
    // Posted status texts belong to this test's front-end.
    QCoreApplication::processEvents();
    FreeAllObjects();
    TTestHome::TearDown();
}

QString TFolderTreeHome::MakeFile(const QString& relative, const QByteArray& content, TDateTime date) const
{
    const QString path = m_tree + relative;
    QDir().mkpath(QFileInfo(path).path());
    WriteFile(path, content);
    SetFileLastWriteTime(path, date != 0 ? date : DateTimeNow() - 1);
    return path;
}

TSyncObject* TFolderTreeHome::AddObject(const QString& sourceName, bool distributeFolder, bool includeSubfolders)
{
    auto object = std::make_unique<TSyncObject>(sourceName, QString(), 0, 0, QStringLiteral("/opt/app/"));
    object->SetDistributeFolder(distributeFolder);
    object->SetIncludeSubfolders(includeSubfolders);
    object->RefreshFromSource();
    return AppendObject(std::move(object));
}

QStringList TFolderTreeHome::SourceNames() const
{
    QStringList names;
    for (const TSyncObject* object = FirstObject(); object != nullptr; object = object->Next())
        names.append(object->SourceName());
    return names;
}

bool TFolderTreeHome::WaitForMessage(const QString& message, int count, int timeoutMs)
{
    return RunEventsUntil([&] { return m_ui.Messages().count(message) >= count; }, timeoutMs);
}

bool TFolderTreeHome::WaitUntilWatching(int count)
{
    return RunEventsUntil([&] {
        int watching = 0;
        for (const QString& message : m_ui.Messages(QStringLiteral("ChangeNotifyThread")))
            if (message.startsWith(QStringLiteral("Veränderungen in ")))
                ++watching;
        return watching >= count && !IsImportRunning();
    });
}
