// SPDX-License-Identifier: GPL-3.0-or-later
#include "replication/ClientThread.h"

#include <array>
#include <mutex>

#include "catalogue/ImportChilds.h"
#include "foundation/ObjectUpdateTimer.h"
#include "foundation/PoolInterlocked.h"
#include "foundation/UiAdapter.h"
#include "replication/Login.h"

namespace {

struct TSequenceTable {
    std::mutex lock;
    std::array<TConnectSequence, 8> sequences; // by kind value, 0 unused
};

TSequenceTable& Sequences()
{
    static TSequenceTable table;
    return table;
}


} // namespace

void SetConnectSequence(TConnectKind kind, TConnectSequence sequence)
{
    TSequenceTable& table = Sequences();
    std::lock_guard guard(table.lock);
    table.sequences[static_cast<int>(kind)] = std::move(sequence);
}

TConnectSequence ConnectSequence(TConnectKind kind)
{
    TSequenceTable& table = Sequences();
    std::lock_guard guard(table.lock);
    return table.sequences[static_cast<int>(kind)];
}

TClientThread::TClientThread(std::unique_ptr<TConnectInfo> info) : TClientBase(std::move(info)) {}

TClientThread::~TClientThread() = default;

void TClientThread::Start()
{
    m_thread.Start("ClientThread", [this] { Execute(); });
}

void TClientThread::WaitFor()
{
    m_thread.Join();
}

void TClientThread::AskRestart()
{
    m_restartConfirmed = TUiAdapter::AskRestart();
}

void TClientThread::Execute()
{
    try {
        RunConnection();
        m_connection.reset();
        // The refresh reads the list itself: only after its lock is released.
        if (RemoveClientThread(this) && !TerminateRequested())
            TUiAdapter::UpdateActionStates();
    } catch (const std::exception& error) {
        Log(QStringLiteral("Im Thread ") + ExceptionSuffix(error));
    }
    Log(QStringLiteral("Beende Thread"));
}

void TClientThread::RunConnection()
{
    // Paused while this conversation runs; resumed at its end, also after a
    // failed connection or a refused login (one unreachable moment of the
    // server must not end periodic updates), whatever ran beside it.
    TObjectUpdateTimer::UpdateStarted();
    struct TResume {
        ~TResume() { TObjectUpdateTimer::UpdateEnded(); }
    } resume;
    // The imports started with the object list take over any object of their
    // tree with the owner's flags as they read them: merged beside them, the
    // server's list could lose its delete marks or gain a second object of a
    // name. Waited for before connecting, as the server waits for the next
    // request only so long.
    if (m_info->kind == TConnectKind::Update && IsImportRunning()) {
        Log(QStringLiteral("Warte auf das Ende des Ordnerstruktur-Imports"));
        if (!WaitForImportsEnd([this] { return TerminateRequested(); }))
            return;
    }
    try {
        Log(QStringLiteral("Verbinde mit Server %1:%2").arg(m_info->host).arg(m_info->port));
        m_connection = TLineConnection::Connect(m_info->host, m_info->port);
        Log(QStringLiteral("Verbindung hergestellt"));
        if (!TerminateRequested())
            TUiAdapter::UpdateActionStates();
        if (ClientLogin(*this)) {
            if (const TConnectSequence sequence = ConnectSequence(m_info->kind))
                sequence(*this);
            if (!TerminateRequested()) {
                TUiAdapter::RebuildObjectViews();
                TUiAdapter::RebuildClientViews();
                TUiAdapter::UpdateActionStates();
            }
        }
        Log(QStringLiteral("Keine weiteren Kommandos anstehend, beende Verbindung"));
        // The end of an installation run may have closed it already.
        if (m_connection->IsOpen() && !m_connection->Disconnect())
            Log(QStringLiteral("Die Client-Verbindung konnte nicht ordentlich geschlossen werden"));
        ClientMessage(QStringLiteral("Synchronisation mit Server erfolgreich abgeschlossen"));
    } catch (const std::exception& error) {
        Log(QStringLiteral("Beim Verbindungsaufbau ") + ExceptionSuffix(error));
        ClientMessage(ExceptionText(error));
    }
}
