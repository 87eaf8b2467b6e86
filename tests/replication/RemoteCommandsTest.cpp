// SPDX-License-Identifier: GPL-3.0-or-later
#include <future>

#include <gtest/gtest.h>

#include "catalogue/SyncClient.h"
#include "foundation/MainConfig.h"
#include "foundation/PoolSystem.h"
#include "foundation/Startup.h"
#include "platform/ProgramPaths.h"
#include "replication/HostKey.h"
#include "replication/LoopbackServer.h"
#include "replication/MasterKey.h"
#include "replication/Protocol.h"
#include "replication/RemoteCommands.h"
#include "support/TestHome.h"

namespace {

// A real server on a free loopback port; the remote commands are sent to it
// by client threads of this process, as the master server sends them.
class TRemoteCommandsTest : public TTestHome
{
protected:
    void SetUp() override
    {
        TTestHome::SetUp();
        FreeAllClients();
        m_updateStarts = std::make_shared<QStringList>();
        SetUpdateSessionStarter([starts = m_updateStarts](const QString& host, int) { *starts << host; });
        m_server = StartLoopbackServer(300);
        ASSERT_GT(m_server->Port(), 0);
        ASSERT_GT(SetAutostart(ExecutablePath(), true), 0);
    }
    void TearDown() override
    {
        m_server.reset();
        SetUpdateSessionStarter({});
        TTestHome::TearDown();
    }

    void Send(TConnectKind kind)
    {
        m_ui.Clear();
        StartLoopbackClient(m_server->Port(), kind);
        ASSERT_TRUE(RunEventsUntil([&] {
            return m_ui.Messages(QStringLiteral("Client")).contains("Beende Thread") &&
                   m_ui.Messages(QStringLiteral("ServerBase")).contains("Beende Thread");
        }));
    }
    bool ServerLogged(const QString& message) const
    {
        return m_ui.Messages(QStringLiteral("Server")).contains(message);
    }
    bool ClientLogged(const QString& message) const
    {
        return m_ui.Messages(QStringLiteral("Client")).contains(message);
    }

    // Logs in over a raw connection and sends the lines; gives what came back
    // before the server closed or went quiet.
    QStringList Raw(const QStringList& lines)
    {
        auto done = std::async(std::launch::async, [port = m_server->Port(), lines] {
            QStringList replies;
            auto connection = TLineConnection::Connect(QStringLiteral("127.0.0.1"), port);
            connection->SetReadTimeout(1000);
            connection->StartTls(TTlsRole::Client, 1000);
            connection->WriteLine(QStringLiteral("LOGIN YW5vbnltb3Vz,Ymx1ZWhlcm9u 08.12.26 pc7"));
            try {
                replies << connection->ReadLine();
                for (const QString& line : lines)
                    connection->WriteLine(line);
                for (QString reply = connection->ReadLine(); !reply.isEmpty(); reply = connection->ReadLine())
                    replies << reply;
            } catch (const ESocketError&) {
                replies << QStringLiteral("(closed)");
            }
            return replies;
        });
        EXPECT_TRUE(
            RunEventsUntil([&] { return done.wait_for(std::chrono::seconds(0)) == std::future_status::ready; }));
        return done.get();
    }

    std::unique_ptr<TServerBase> m_server;
    std::shared_ptr<QStringList> m_updateStarts;
};

TEST_F(TRemoteCommandsTest, MasterServerRepliesButDoesNotAct)
{
    ASSERT_TRUE(IsMasterServer());
    Send(TConnectKind::Terminate);
    EXPECT_TRUE(ServerLogged(QStringLiteral("Terminierungskommando empfangen")));
    EXPECT_TRUE(ClientLogged(QStringLiteral("Anfrage \"TERMINATE\" gesendet")));
    EXPECT_TRUE(ClientLogged(QStringLiteral("Antwort \"TERMINATE_OK\" empfangen")));
    Send(TConnectKind::Deinstall);
    EXPECT_TRUE(ServerLogged(QStringLiteral("Deinstallationskommando empfangen")));
    EXPECT_TRUE(ClientLogged(QStringLiteral("Antwort \"DEINSTALL_OK\" empfangen")));
    Send(TConnectKind::PhoneHome);
    EXPECT_TRUE(ClientLogged(QStringLiteral("Antwort \"PHONEHOME_OK\" empfangen")));
    EXPECT_TRUE(AutostartState(ExecutablePath()).registered);
    EXPECT_TRUE(m_updateStarts->isEmpty());
}

TEST_F(TRemoteCommandsTest, ClientRepliesThenActs)
{
    MainConfig().Set(QStringLiteral("NetServerName"), QStringLiteral("master01"));
    Send(TConnectKind::Deinstall);
    EXPECT_TRUE(ClientLogged(QStringLiteral("Antwort \"DEINSTALL_OK\" empfangen")));
    EXPECT_FALSE(AutostartState(ExecutablePath()).registered);

    Send(TConnectKind::PhoneHome);
    EXPECT_TRUE(ServerLogged(QStringLiteral("Rückrufaufforderung empfangen")));
    EXPECT_TRUE(ClientLogged(QStringLiteral("Antwort \"PHONEHOME_OK\" empfangen")));
    ASSERT_EQ(m_updateStarts->size(), 1);
    EXPECT_EQ(m_updateStarts->front(), QStringLiteral("master01")); // its own master, not the sender
    EXPECT_EQ(m_ui.serverPane.filter(QStringLiteral("Rückrufaufforderung empfangen")).size(), 1)
        << m_ui.serverPane.join('|').toStdString();
}

TEST_F(TRemoteCommandsTest, SetServerStoresANewNameWithoutReply)
{
    // The master's key comes as the second word and is pinned at once.
    const QString own = OwnIdentity()->Fingerprint();
    const QStringList replies = Raw({QStringLiteral("SETSERVER localhost ") + own.toUpper()});
    EXPECT_EQ(replies.size(), 2) << replies.join('|').toStdString(); // the login reply, then the idle close
    EXPECT_TRUE(ServerLogged(QStringLiteral("Der Master-Server \"localhost\" wurde konfiguriert")));
    EXPECT_TRUE(ReadFile(ProgramFile(QStringLiteral(".config"))).contains("NetServerName=localhost"));
    EXPECT_EQ(PinnedMasterKey(), own);

    // The sending side sends its own setting and the key it trusts: now the
    // same name, from the computer that key stands for.
    Send(TConnectKind::SetServer);
    EXPECT_TRUE(ClientLogged(QStringLiteral("Anfrage \"SETSERVER localhost %1\" gesendet").arg(own)));
    EXPECT_TRUE(ServerLogged(QStringLiteral("Der Master-Server \"localhost\" war bereits bekannt")));

    m_ui.Clear();
    Raw({QStringLiteral("SETSERVER")});
    // The request ends without being completed.
    EXPECT_TRUE(RunEventsUntil([&] { return m_ui.Messages(QStringLiteral("ServerBase")).contains("Beende Thread"); }));
    EXPECT_TRUE(ServerLogged(QStringLiteral("Beende Thread")));
    EXPECT_EQ(m_ui.Messages(QStringLiteral("Server")).count(QStringLiteral("Kommandobearbeitung abgeschlossen")), 1);
    EXPECT_EQ(MainConfig().GetString(QStringLiteral("NetServerName")), QStringLiteral("localhost"));
}

} // namespace
