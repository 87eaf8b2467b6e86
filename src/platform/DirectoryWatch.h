// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <vector>

#include <QHash>
#include <QString>

/// Change notifications for a set of folders, each watched on its own and not
/// with its subfolders, for created, deleted, moved and written files. Every
/// folder gets a handle (its index here); a handle stays signalled after a
/// change until it is re-armed, and changes that arrive meanwhile signal it
/// again on the next wait. Used by one thread at a time.
class TDirectoryWatch
{
public:
    TDirectoryWatch();
    ~TDirectoryWatch();
    TDirectoryWatch(const TDirectoryWatch&) = delete;
    TDirectoryWatch& operator=(const TDirectoryWatch&) = delete;

    /// Starts watching a folder; the new handle, or -1 with the system error
    /// code in error.
    int Add(const QString& folder, int& error);
    /// Ends watching; false with the system error code when the system refused.
    bool Close(int handle, int& error);

    enum class TResult {
        Signalled,
        Timeout,
        Failed
    };
    struct TWait {
        TResult result = TResult::Timeout;
        int handle = -1; ///< the lowest signalled handle
        int error = 0;   ///< system error code of a failed wait
    };
    /// Waits until any handle is signalled or the timeout (ms) has passed.
    TWait Wait(int timeoutMs);
    /// Clears the signal of a handle.
    void Rearm(int handle);

private:
    bool Drain(int& error);

    int m_fd = -1;
    int m_initError = 0;
    struct THandle {
        int descriptor = -1; ///< -1 once closed
        bool signalled = false;
    };
    std::vector<THandle> m_handles;
    // Two handles of one folder share the system's descriptor.
    QHash<int, int> m_users;
    QHash<int, bool> m_gone; // descriptors the system dropped (folder deleted)
};
