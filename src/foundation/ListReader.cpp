// SPDX-License-Identifier: GPL-3.0-or-later
#include "foundation/ListReader.h"

#include <exception>

#include "foundation/PoolInterlocked.h"

TListReader::TListReader()
{
    RegisterShutdownParticipant(TShutdownStep::FolderStructureThreads, this);
}

TListReader::~TListReader()
{
    UnregisterShutdownParticipant(this);
    m_thread.Join();
}

void TListReader::Start(std::vector<std::function<void()>> loads, std::function<void(bool complete)> done)
{
    // A reader of an earlier start (tests start the program more than once) has ended by now.
    m_thread.Join();
    m_stop = false;
    m_thread.Start("ListReader", [this, loads = std::move(loads), done = std::move(done)] {
        bool complete = true;
        for (const std::function<void()>& load : loads) {
            if (m_stop) {
                complete = false;
                break;
            }
            try {
                load();
            } catch (const std::exception& error) {
                Log(QStringLiteral("Main"), QStringLiteral("Beim Einlesen der Listen ") + ExceptionSuffix(error), 46);
            }
        }
        TPoolInterlocked::Post([done, complete] { done(complete); });
    });
}

bool TListReader::IsRunning()
{
    return m_thread.Started() && !m_thread.Finished();
}

void TListReader::RequestStop()
{
    m_stop = true;
}
