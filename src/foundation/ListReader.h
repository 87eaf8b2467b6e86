// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <atomic>
#include <functional>
#include <vector>

#include "base/WorkerThread.h"
#include "foundation/Quit.h"

/// The list reader: reads the lists at start one after the other on a thread
/// of its own, so that the window shows and answers however long the
/// catalogue is, and then hands over to the main thread. The shutdown waits
/// for it with the folder-structure imports, which start from the object
/// list it reads.
class TListReader : public TShutdownParticipant
{
public:
    TListReader();
    ~TListReader() override;
    TListReader(const TListReader&) = delete;
    TListReader& operator=(const TListReader&) = delete;

    /// Runs the loads in order on the reader's thread; done follows on the
    /// main thread, told whether every load ran (a shutdown stops the
    /// reading between two lists). A load that raises is reported and the
    /// next one runs.
    void Start(std::vector<std::function<void()>> loads, std::function<void(bool complete)> done);

    bool IsRunning() override;
    void RequestStop() override;

private:
    TWorkerThread m_thread;
    std::atomic<bool> m_stop{false};
};
