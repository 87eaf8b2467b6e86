// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <functional>
#include <memory>
#include <vector>

#include <QStringList>
#include <QThread>

#include "platform/DirectoryWatch.h"

class TSyncObject;

/// The folder monitor of the master server: watches the folders of the
/// source objects, refreshes objects whose files changed, regenerates the
/// folder-structure objects of a changed tree and turns objects whose files
/// vanished into delete objects. At most one runs; ChangeNotifyBase starts
/// and stops it.
class TChangeNotifyThread : public QThread
{
public:
    /// The most folders one monitor watches.
    static constexpr quint32 kMaxWatchCount = 64;

    /// ended: called on this thread as its work ends, by whoever keeps track
    /// of the running monitor.
    explicit TChangeNotifyThread(std::function<void(TChangeNotifyThread*)> ended) : m_ended(std::move(ended)) {}

protected:
    void run() override;

private:
    void BuildWatchSet();
    void AddFolder(const QString& folder);
    void AddSubfolders(const QString& folder);
    void WatchLoop();
    void HandleChange(int index);
    /// Whether the object's file changed; a file that cannot be read counts
    /// as unchanged, so one locked file does not end the monitoring.
    bool Refresh(TSyncObject* object);
    void MarkMissingObjects(const QString& folder);
    void CloseAll();

    QStringList m_watchedFolders;
    std::vector<int> m_watchHandles;
    quint32 m_watchCount = 0;
    std::unique_ptr<TDirectoryWatch> m_watch;
    std::function<void(TChangeNotifyThread*)> m_ended;
};
