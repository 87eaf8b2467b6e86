// SPDX-License-Identifier: GPL-3.0-or-later
#include "replication/ReplicationSetup.h"

#include "foundation/PoolInterlocked.h"
#include "foundation/Quit.h"
#include "foundation/Startup.h"
#include "replication/ClientBase.h"
#include "replication/RemoteCommands.h"
#include "replication/ServerBase.h"

namespace {

class TServerThreadsParticipant : public TShutdownParticipant
{
public:
    bool IsRunning() override { return !TServerBase::Instance().MayQuit(); }
    void RequestStop() override { TServerBase::Instance().MayQuit(); }
};

class TClientThreadsParticipant : public TShutdownParticipant
{
public:
    bool IsRunning() override { return AnyClientThreadRunning(); }
    void RequestStop() override { TerminateAllClientThreads(); }
};

} // namespace

void InstallReplication()
{
    static TServerThreadsParticipant servers;
    static TClientThreadsParticipant clients;
    SetListenerControl(&TServerBase::Instance());
    RegisterShutdownParticipant(TShutdownStep::ServerThreads, &servers);
    RegisterShutdownParticipant(TShutdownStep::ClientThreads, &clients);
    InstallRemoteCommandSequences();
    SetUpdateSessionStarter([](const QString& host, int port) {
        auto info = std::make_unique<TConnectInfo>();
        info->host = host;
        info->port = port;
        info->kind = TConnectKind::Update;
        StartClientThread(std::move(info));
    });
}

void AskApplicationEnd()
{
    TPoolInterlocked::Synchronize([] {
        if (RequestShutdown())
            EndApplication();
    });
}
