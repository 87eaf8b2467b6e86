// SPDX-License-Identifier: GPL-3.0-or-later
#include <arpa/inet.h>
#include <atomic>
#include <mutex>
#include <netinet/in.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>

#include "catalogue/SyncObject.h"
#include "foundation/MainConfig.h"
#include "foundation/ObjectUpdateTimer.h"
#include "replication/LoopbackServer.h"
#include "replication/StagingFile.h"
#include "replication/Transfer.h"
#include "support/TestHome.h"

namespace {

// A real server on a free loopback port, and client threads run against it.
class TClientThreadTest : public TTestHome
{
protected:
    void SetUp() override
    {
        TTestHome::SetUp();
        m_server = StartLoopbackServer(250);
        ASSERT_GT(m_server->Port(), 0);
    }
    void TearDown() override
    {
        m_server.reset();
        if (m_scripted.joinable())
            m_scripted.join();
        TTestHome::TearDown();
    }

    // A server as older versions were: it answers the login with the line
    // given, keeps the login request, and then waits for the client to close.
    int StartOldServer(const QString& loginReply)
    {
        int port = 0;
        m_scripted = StartScriptedPeer(port, [this, loginReply](TLineConnection& connection) {
            const QString request = connection.ReadLine();
            {
                std::lock_guard guard(m_requestLock);
                m_loginRequest = request;
            }
            connection.WriteLine(loginReply);
            while (!connection.ReadLine().isEmpty()) {
            }
        });
        return port;
    }
    // Fetches the object of 5 bytes from the provider on 127.0.0.1 at
    // NetServerPort, on an installing thread of its own; gives whether it
    // delivered bytes the digest vouches for.
    bool FetchFromProvider(const QString& name)
    {
        TSyncObject object(name, QString(), 5, 0, Home(QStringLiteral("Target/")));
        object.AddProvider(QStringLiteral("127.0.0.1"));
        std::atomic<int> result{-1};
        QDir().mkpath(Home(QStringLiteral("Target/")));
        std::thread installer([&] {
            TStagingFile staging(Home(QStringLiteral("Target/")) + name);
            result = FetchFromProviders(object, staging, TContentDigest{5, QByteArray(32, 'x')}) ==
                             TProviderOutcome::Delivered
                         ? 1
                         : 0;
        });
        EXPECT_TRUE(RunEventsUntil([&] { return result != -1; }));
        installer.join();
        return result == 1;
    }
    QString LoginRequest()
    {
        std::lock_guard guard(m_requestLock);
        return m_loginRequest;
    }

    // Runs one client thread of the kind to the end.
    void RunClient(TConnectKind kind = TConnectKind::Update, int port = 0)
    {
        m_ui.Clear();
        StartLoopbackClient(port != 0 ? port : m_server->Port(), kind, m_sequence);
        ASSERT_TRUE(RunEventsUntil([&] { return m_ui.Messages(QStringLiteral("Client")).contains("Beende Thread"); }));
        EXPECT_FALSE(AnyClientThreadRunning());
    }
    bool ClientLogged(const QString& message) const
    {
        return m_ui.Messages(QStringLiteral("Client")).contains(message);
    }
    void PlugUpdateSequence()
    {
        m_sequenceRuns = 0;
        m_sequence = [this](TClientBase& client) {
            ++m_sequenceRuns;
            EXPECT_TRUE(client.Connection().IsOpen());
        };
    }

    std::unique_ptr<TServerBase> m_server;
    std::atomic<int> m_sequenceRuns{0};
    // Without one a conversation logs in and disconnects.
    TConversationSequence m_sequence;
    std::thread m_scripted;
    std::mutex m_requestLock;
    QString m_loginRequest;
};

TEST_F(TClientThreadTest, DefaultLoginIsAcceptedAndRunsTheSequence)
{
    PlugUpdateSequence();
    RunClient();
    EXPECT_EQ(m_sequenceRuns, 1);
    const QStringList client = m_ui.Messages(QStringLiteral("Client"));
    EXPECT_EQ(client.front(), QStringLiteral("Verbinde mit Server 127.0.0.1:%1").arg(m_server->Port()));
    EXPECT_TRUE(ClientLogged(QStringLiteral("Beginn der Anmeldung")));
    EXPECT_TRUE(ClientLogged(QStringLiteral("Antwort \"LOGIN ok noelevate  \" empfangen")));
    EXPECT_TRUE(ClientLogged(QStringLiteral("Keine weiteren Kommandos anstehend, beende Verbindung")));
    const auto sent = std::find_if(client.begin(), client.end(),
                                   [](const QString& m) { return m.startsWith(QStringLiteral("Anfrage \"LOGIN ")); });
    ASSERT_NE(sent, client.end());
    // The credentials are masked in the protocol.
    EXPECT_TRUE(sent->startsWith(QStringLiteral("Anfrage \"LOGIN *** ")));
    EXPECT_TRUE(sent->endsWith(QStringLiteral(" testhost\" gesendet")));
    EXPECT_EQ(m_ui.objectViewRebuilds, 1);
    EXPECT_GE(m_ui.clientViewRebuilds, 1);
    EXPECT_TRUE(
        m_ui.clientPane.front().contains(QStringLiteral("Synchronisation mit Server erfolgreich abgeschlossen")));
}

TEST_F(TClientThreadTest, NamedUserIsRefusedAndRunsNoCommand)
{
    PlugUpdateSequence();
    MainConfig().Set(QStringLiteral("ClientAnonymousLogin"), false);
    MainConfig().Set(QStringLiteral("ClientUsername"), QStringLiteral("maria"));
    MainConfig().Set(QStringLiteral("ClientPassword"), QStringLiteral("geheim"));
    RunClient();
    EXPECT_EQ(m_sequenceRuns, 0);
    EXPECT_TRUE(m_ui.HasMessage(QStringLiteral("Anmeldung durch Benutzer \"maria\", Ergebnis: fail noelevate")));
    // Neither side's protocol or overview shows the password, plain or in Base64.
    const QString shown = m_ui.Messages().join('\n') + m_ui.serverPane.join('\n') + m_ui.clientPane.join('\n');
    EXPECT_FALSE(shown.contains(QStringLiteral("geheim")));
    EXPECT_FALSE(shown.contains(QStringLiteral("Z2VoZWlt")));
    EXPECT_EQ(m_ui.objectViewRebuilds, 0);
    EXPECT_TRUE(
        m_ui.clientPane.front().contains(QStringLiteral("Synchronisation mit Server erfolgreich abgeschlossen")));
}

TEST_F(TClientThreadTest, FailedElevationIsLoggedAndTheConnectionGoesOn)
{
    PlugUpdateSequence();
    RunClient(TConnectKind::Update, StartOldServer(QStringLiteral("LOGIN ok elevate elsewhere\\root eA==")));
    EXPECT_TRUE(m_ui.HasMessage(
        QStringLiteral("Anhebung der Anwendungsrechte durch Benutzer \"elsewhere\\root\" ist gescheitert")));
    EXPECT_EQ(m_sequenceRuns, 1);
    // The account's password does not reach the protocol.
    EXPECT_TRUE(ClientLogged(QStringLiteral("Antwort \"LOGIN ok elevate ***\" empfangen")));
}

TEST_F(TClientThreadTest, UnparsableElevationReplyStillCountsAsAccepted)
{
    PlugUpdateSequence();
    // An account name with a space: the password word is missing.
    RunClient(TConnectKind::Update, StartOldServer(QStringLiteral("LOGIN ok elevate two words")));
    EXPECT_EQ(m_sequenceRuns, 1);
    const QStringList client = m_ui.Messages(QStringLiteral("Client"));
    EXPECT_TRUE(std::any_of(client.begin(), client.end(), [](const QString& m) {
        return m.startsWith(QStringLiteral("Bei der Anmeldung ist eine Ausnahme des Typs"));
    }));
    EXPECT_FALSE(std::any_of(client.begin(), client.end(),
                             [](const QString& m) { return m.startsWith(QStringLiteral("Anhebung")); }));
}

TEST_F(TClientThreadTest, AProviderGetsAnAnonymousLoginAndCannotHandOverAnAccount)
{
    MainConfig().Set(QStringLiteral("ClientAnonymousLogin"), false);
    MainConfig().Set(QStringLiteral("ClientUsername"), QStringLiteral("maria"));
    MainConfig().Set(QStringLiteral("ClientPassword"), QStringLiteral("geheim"));
    // A hostile provider offers the administrator account of this computer.
    MainConfig().Set(QStringLiteral("NetServerPort"), StartOldServer(QStringLiteral("LOGIN ok elevate root cm9vdA==")));
    EXPECT_FALSE(FetchFromProvider(QStringLiteral("fremd.txt")));
    m_scripted.join();
    EXPECT_TRUE(LoginRequest().startsWith(QStringLiteral("LOGIN YW5vbnltb3Vz,Ymx1ZWhlcm9u ")));
    EXPECT_FALSE(m_ui.Messages().join('\n').contains(QStringLiteral("Anhebung")));
    EXPECT_FALSE(m_ui.Messages().join('\n').contains(QStringLiteral("cm9vdA==")));
}

TEST_F(TClientThreadTest, UnreachableServerIsReportedAndTheTimerResumes)
{
    const int closedPort = m_server->Port();
    m_server->StopListeners();
    TObjectUpdateTimer::SetEnabled(true);
    RunClient(TConnectKind::Update, closedPort);
    const QStringList client = m_ui.Messages(QStringLiteral("Client"));
    EXPECT_TRUE(std::any_of(client.begin(), client.end(), [](const QString& m) {
        return m.startsWith(QStringLiteral("Beim Verbindungsaufbau ist eine Ausnahme des Typs"));
    }));
    ASSERT_FALSE(m_ui.clientPane.isEmpty());
    EXPECT_TRUE(m_ui.clientPane.front().contains(QStringLiteral("Socket-Fehler")));
    EXPECT_TRUE(RunEventsUntil([] { return TObjectUpdateTimer::IsEnabled(); }, 1000));
    TObjectUpdateTimer::SetEnabled(false);
}

TEST_F(TClientThreadTest, AnUpdateThatStartsDuringATimedOneAndEndsLastLeavesTheTimerRunning)
{
    TObjectUpdateTimer::SetEnabled(true);
    ASSERT_TRUE(RunEventsUntil([] { return TObjectUpdateTimer::IsEnabled(); }, 1000));
    std::atomic<int> started{0};
    std::atomic<bool> secondRuns{false};
    std::atomic<bool> firstEnded{false};
    const auto waitFor = [](const std::atomic<bool>& flag) {
        while (!flag)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
    };
    const TConversationSequence sequence = [&](TClientBase&) {
        if (++started == 1) { // the timed update
            waitFor(secondRuns);
            firstEnded = true;
        } else { // the one a PHONEHOME started meanwhile, ending last
            secondRuns = true;
            waitFor(firstEnded);
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
    };
    StartLoopbackClient(m_server->Port(), TConnectKind::Update, sequence);
    ASSERT_TRUE(RunEventsUntil([&] { return started == 1; }));
    EXPECT_FALSE(TObjectUpdateTimer::IsEnabled());
    StartLoopbackClient(m_server->Port(), TConnectKind::Update, sequence);
    ASSERT_TRUE(RunEventsUntil([] { return !AnyClientThreadRunning(); }, 20000));
    EXPECT_TRUE(RunEventsUntil([] { return TObjectUpdateTimer::IsEnabled(); }, 1000));
    TObjectUpdateTimer::SetEnabled(false);
}

TEST_F(TClientThreadTest, SilentServerMeansNoReplyAndARefusedLogin)
{
    // A listener that accepts and never answers.
    const int listener = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(::bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    ASSERT_EQ(::listen(listener, 1), 0);
    socklen_t length = sizeof address;
    ::getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length);
    PlugUpdateSequence();
    RunClient(TConnectKind::Update, ntohs(address.sin_port));
    ::close(listener);
    // The handshake is the first thing a silent server does not answer.
    EXPECT_TRUE(m_ui.Messages(QStringLiteral("Client"))
                    .join('|')
                    .contains(QStringLiteral("Zeitüberschreitung beim TLS-Handshake")));
    EXPECT_EQ(m_sequenceRuns, 0);
}

TEST_F(TClientThreadTest, AProviderThatDoesNotDeliverGivesNothingAndLeavesNoClientThread)
{
    // The provider is this loopback server, which does not offer the object.
    MainConfig().Set(QStringLiteral("NetServerPort"), m_server->Port());
    EXPECT_FALSE(FetchFromProvider(QStringLiteral("fehlt.txt")));
    EXPECT_TRUE(ClientLogged(QStringLiteral("Provider \"127.0.0.1\" bietet das Objekt \"fehlt.txt\" an")));
    // The provider is told the version wanted, and that the asker may come back.
    const quint64 id = TSyncObject(QStringLiteral("fehlt.txt"), QString(), 5, 0, QString()).ComputeId();
    EXPECT_TRUE(ClientLogged(QStringLiteral("Anfrage \"DOWNLOAD \"fehlt.txt\" %1 wait\" gesendet").arg(id)));
    EXPECT_FALSE(QFile::exists(Home(QStringLiteral("Target/~$fehlt.txt"))));
    EXPECT_FALSE(AnyClientThreadRunning());
    EXPECT_FALSE(ClientLogged(QStringLiteral("Beende Thread")));
}

} // namespace
