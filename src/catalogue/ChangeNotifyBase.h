// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QList>

class TSyncObject;

/// Starts the folder monitor anew, stopping a running one first. Does nothing
/// while a folder-structure import runs (the last one to end starts it) or
/// when this computer is not the master server, or in a monitor instance.
void StartFolderMonitoring();
/// Stops the running monitor and waits for its end (on the main thread the
/// event loop keeps running). The caller must not hold a lock the monitor
/// needs, such as the object lock.
void StopFolderMonitoring();
/// For the shutdown: true when no monitor thread is left; else asks it to end,
/// without waiting, and returns false.
bool RequestFolderMonitoringStop();

/// After the object list's load: an import for each folder-structure owner,
/// then the monitor (which the last import starts when one runs).
void StartFolderThreads(const QList<TSyncObject*>& owners);
/// Stops the monitor and every import and waits for all of them, so that the
/// object list may be freed.
void StopFolderThreads();
