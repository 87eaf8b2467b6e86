// SPDX-License-Identifier: GPL-3.0-or-later
#include <arpa/inet.h>
#include <future>
#include <mutex>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <QThread>

#include "base/TextFields.h"
#include "catalogue/CatalogueFixture.h"
#include "catalogue/SyncClient.h"
#include "catalogue/SyncObject.h"
#include "foundation/MainConfig.h"
#include "platform/HostNames.h"
#include "platform/ProgramPaths.h"
#include "replication/Broadcast.h"
#include "replication/Protocol.h"
#include "replication/ServerBase.h"
#include "replication/TransferPacing.h"

namespace {

int LoopbackSocket()
{
    const int s = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    EXPECT_EQ(::bind(s, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    return s;
}

int BoundPort(int socket)
{
    sockaddr_in address{};
    socklen_t length = sizeof address;
    ::getsockname(socket, reinterpret_cast<sockaddr*>(&address), &length);
    return ntohs(address.sin_port);
}

void SendTo(int socket, int port, const QByteArray& datagram)
{
    sockaddr_in target{};
    target.sin_family = AF_INET;
    target.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    target.sin_port = htons(static_cast<quint16>(port));
    ::sendto(socket, datagram.constData(), static_cast<size_t>(datagram.size()), 0,
             reinterpret_cast<sockaddr*>(&target), sizeof target);
}

// A real server on free loopback ports; what the handlers broadcast goes to a
// loopback socket of the test instead of the network.
class TBroadcastTest : public TCatalogueTest
{
protected:
    void SetUp() override
    {
        TCatalogueTest::SetUp();
        MainConfig().Set(QStringLiteral("NetServerPort"), 0);
        ClearBroadcastFilter();
        StopProviderCollection();
        m_capture = LoopbackSocket();
        m_sender = LoopbackSocket();
        const int port = BoundPort(m_capture);
        const int sender = m_sender;
        SetDatagramSender([this, sender, port](const QByteArray& datagram, const QString& address) {
            {
                std::lock_guard guard(m_addressLock);
                m_addresses << address;
            }
            SendTo(sender, port, datagram);
        });
        m_server = std::make_unique<TServerBase>();
        m_server->StartListeners();
        ASSERT_GT(m_server->UdpPort(), 0);
    }
    void TearDown() override
    {
        m_server.reset();
        SetDatagramSender({});
        ::close(m_capture);
        ::close(m_sender);
        TCatalogueTest::TearDown();
    }

    // The options file names the master server, as on a configured computer.
    void ConfigureServer(const QString& name)
    {
        WriteFile(ProgramFile(QStringLiteral(".config")),
                  QStringLiteral("[Options]\r\nNetServerName=%1\r\n").arg(name).toUtf8());
        Restart();
        MainConfig().Set(QStringLiteral("ServerObjectDir"), Home("Objects/"));
    }

    // A sender the client list knows under its address, so no name lookup
    // leaves the machine.
    static QString Peer(int lastOctet)
    {
        const QString address = QStringLiteral("127.0.0.%1").arg(lastOctet);
        RegisterClient(address, address);
        return address;
    }

    void Datagram(const QString& text, const QString& address)
    {
        OnDatagram(text.toUtf8(), address, [this](const QString& name) { return m_server->IsClientConnected(name); });
    }

    // Every datagram the handlers sent within the wait.
    QStringList Sent(int waitMs = 200)
    {
        QStringList result;
        char buffer[2048];
        pollfd p{m_capture, POLLIN, 0};
        while (RunEventsUntil([&] { return ::poll(&p, 1, 0) > 0; }, waitMs)) {
            const ssize_t n = ::recv(m_capture, buffer, sizeof buffer, 0);
            result << QString::fromUtf8(buffer, static_cast<qsizetype>(n));
        }
        return result;
    }

    TSyncObject& CurrentObject(const QString& name)
    {
        MakeFile(Home("Objects/") + name, "content", SomeDate());
        return *AppendObject(std::make_unique<TSyncObject>(name, QStringLiteral("?"), 7, SomeDate(), Home("Target/")));
    }

    bool Logged(const QString& message) const { return m_ui.Messages(QStringLiteral("Broadcast")).contains(message); }

    QStringList Addresses()
    {
        std::lock_guard guard(m_addressLock);
        return m_addresses;
    }

    std::unique_ptr<TServerBase> m_server;
    std::mutex m_addressLock;
    QStringList m_addresses; // of every datagram sent, empty for a broadcast
    int m_capture = -1;
    int m_sender = -1;
};

TEST_F(TBroadcastTest, ListenerDropsNonTextAndAnswersTheNextQuery)
{
    ConfigureServer(QStringLiteral("testhost"));
    SendTo(m_sender, m_server->UdpPort(), QByteArray("\xff\x00QUERYSERVER", 13));
    SendTo(m_sender, m_server->UdpPort(), "QUERYSERVER");
    EXPECT_EQ(Sent(2000), QStringList{QStringLiteral("SETSERVER testhost")});
    EXPECT_TRUE(Logged(QStringLiteral("Broadcast von \"127.0.0.1\" ist kein Text und wird verworfen")));
    EXPECT_TRUE(Logged(QStringLiteral("Sende Broadcast \"SETSERVER testhost\"")));
    const QStringList received =
        m_ui.Messages(QStringLiteral("Broadcast")).filter(QStringLiteral("Empfange Broadcast"));
    ASSERT_EQ(received.size(), 1);
    EXPECT_TRUE(received.front().startsWith(QStringLiteral("Empfange Broadcast \"QUERYSERVER\" von \"")));
}

TEST_F(TBroadcastTest, FilterDropsWhatFollowsWithin800MsAndRefreshesTheTime)
{
    ConfigureServer(QStringLiteral("testhost"));
    const QString peer = Peer(5);
    const QString other = Peer(6);
    Datagram(QStringLiteral("QUERYSERVER"), peer);
    QThread::msleep(500);
    Datagram(QStringLiteral("QUERYSERVER"), peer);
    Datagram(QStringLiteral("QUERYSERVER"), other); // another sender is not held back
    QThread::msleep(500);
    Datagram(QStringLiteral("QUERYSERVER"), peer); // 1000 ms after the first, 500 after the last
    QThread::msleep(850);
    Datagram(QStringLiteral("QUERYSERVER"), peer);
    EXPECT_EQ(Sent().size(), 3);
    EXPECT_EQ(m_ui.Messages(QStringLiteral("Broadcast"))
                  .count(QStringLiteral("Broadcast \"QUERYSERVER\" von \"127.0.0.5\" gefiltert")),
              2);
    EXPECT_EQ(m_ui.Messages(QStringLiteral("Broadcast"))
                  .count(QStringLiteral("Empfange Broadcast \"QUERYSERVER\" von \"127.0.0.5\"")),
              2);
}

TEST_F(TBroadcastTest, UnconfiguredComputerDoesNotAnswerQueryServer)
{
    Datagram(QStringLiteral("QUERYSERVER"), Peer(5));
    EXPECT_TRUE(Sent().isEmpty());
}

TEST_F(TBroadcastTest, OnlyTheFirstAnswerToAPendingQueryIsTaken)
{
    Datagram(QStringLiteral("SETSERVER master06"), Peer(5));
    EXPECT_EQ(MainConfig().GetString(QStringLiteral("NetServerName")), QStringLiteral("testhost"));

    QueryServer(false);
    EXPECT_EQ(Sent(), QStringList{QStringLiteral("QUERYSERVER")});
    Datagram(QStringLiteral("SETSERVER"), Peer(6));
    EXPECT_TRUE(Logged(QStringLiteral("Unvollständiger Broadcast \"SETSERVER\" verworfen")));
    EXPECT_TRUE(ServerQueryPending());
    Datagram(QStringLiteral("setserver master07"), Peer(7));
    EXPECT_TRUE(Logged(QStringLiteral("Unbekanntes Broadcast-Kommando \"setserver\" empfangen")));
    Datagram(QStringLiteral("SETSERVER master08"), Peer(8));
    Datagram(QStringLiteral("SETSERVER master09"), Peer(9));
    EXPECT_FALSE(ServerQueryPending());
    EXPECT_EQ(MainConfig().GetString(QStringLiteral("NetServerName")), QStringLiteral("master08"));
    EXPECT_TRUE(ReadFile(ProgramFile(QStringLiteral(".config"))).contains("NetServerName=master08"));
    EXPECT_TRUE(Logged(QStringLiteral("Der Master-Server \"master08\" wurde konfiguriert")));
    ASSERT_EQ(m_ui.messageBoxes.size(), 1);
    EXPECT_TRUE(m_ui.messageBoxes.front().contains(QStringLiteral("\"master08\" wurde automatisch")));

    QueryServer(true); // quiet, and the name is already known: neither box nor log entry
    Datagram(QStringLiteral("SETSERVER MASTER08"), Peer(10));
    QueryServer(true);
    Datagram(QStringLiteral("SETSERVER master11"), Peer(11));
    EXPECT_EQ(MainConfig().GetString(QStringLiteral("NetServerName")), QStringLiteral("master11"));
    EXPECT_EQ(m_ui.messageBoxes.size(), 1);
    EXPECT_EQ(m_ui.Messages(QStringLiteral("Broadcast")).filter(QStringLiteral("wurde konfiguriert")).size(), 2);
}

TEST_F(TBroadcastTest, QueryDownloadIsAnsweredOnlyForACurrentObjectWithThatId)
{
    const TSyncObject& object = CurrentObject(QStringLiteral("my app.bin"));
    const QString id = NumberToText(object.ComputeId());
    Datagram(QStringLiteral("QUERYDOWNLOAD \"my app.bin\" %1").arg(id), Peer(5));
    EXPECT_EQ(Sent(), QStringList{QStringLiteral("SETDOWNLOAD \"my app.bin\" %1").arg(id)});

    Datagram(QStringLiteral("QUERYDOWNLOAD \"my app.bin\" %1").arg(object.ComputeId() + 1), Peer(6));
    Datagram(QStringLiteral("QUERYDOWNLOAD \"other.bin\" %1").arg(id), Peer(7));
    Datagram(QStringLiteral("QUERYDOWNLOAD \"my app.bin\""), Peer(8));
    Datagram(QStringLiteral("QUERYDOWNLOAD \"my app.bin\" 12x"), Peer(9));
    WriteFile(Home("Objects/my app.bin"), "changed"); // no longer current
    Datagram(QStringLiteral("QUERYDOWNLOAD \"my app.bin\" %1").arg(id), Peer(10));
    EXPECT_TRUE(Sent().isEmpty());
    EXPECT_TRUE(Logged(QStringLiteral("Unvollständiger Broadcast \"QUERYDOWNLOAD \"my app.bin\"\" verworfen")));
    const QStringList failures =
        m_ui.Messages(QStringLiteral("Broadcast")).filter(QStringLiteral("Bei der Bearbeitung des Broadcasts"));
    ASSERT_EQ(failures.size(), 1);
    EXPECT_TRUE(failures.front().contains(QStringLiteral("12x")));
}

// A holder answers the asker alone, also while it runs its own update, and
// says so while it sends that object to another; the asker then counts a
// busy provider instead of one to fetch from.
TEST_F(TBroadcastTest, AHolderAnswersTheAskerAloneAndSaysWhenItIsBusy)
{
    const TSyncObject& object = CurrentObject(QStringLiteral("big.bin"));
    const QString id = NumberToText(object.ComputeId());
    Datagram(QStringLiteral("QUERYDOWNLOAD \"big.bin\" %1").arg(id), Peer(5));
    EXPECT_EQ(Sent(), QStringList{QStringLiteral("SETDOWNLOAD \"big.bin\" %1").arg(id)});
    EXPECT_EQ(Addresses(), QStringList{QStringLiteral("127.0.0.5")});
    {
        const auto underWay = TakeSendSlot(object.ComputeId(), 7, false);
        Datagram(QStringLiteral("QUERYDOWNLOAD \"big.bin\" %1").arg(id), Peer(6));
        EXPECT_EQ(Sent(), QStringList{QStringLiteral("SETDOWNLOAD \"big.bin\" %1 busy").arg(id)});
        EXPECT_TRUE(Logged(QStringLiteral("Wir sind bereits mit einem anderen Client beschäftigt")));
    }
    ClearTransferPacing();

    BecomeClient();
    TSyncObject& wanted = *FindBySourcePath(QStringLiteral("big.bin"));
    QueryDownload(wanted);
    Datagram(QStringLiteral("SETDOWNLOAD \"big.bin\" %1 busy").arg(id), Peer(7));
    Datagram(QStringLiteral("SETDOWNLOAD \"big.bin\" %1").arg(id), Peer(8));
    EXPECT_EQ(wanted.Providers(), QStringList{QStringLiteral("127.0.0.8")});
    EXPECT_EQ(BusyProviderAnswers(), 1);
    QueryDownload(wanted);
    EXPECT_EQ(BusyProviderAnswers(), 0);
    StopProviderCollection();
}

TEST_F(TBroadcastTest, ConnectedClientGetsNoProviderAnswer)
{
    MainConfig().Set(QStringLiteral("ClientInputWaitTimeInSecs"), 10); // the session stays while we ask
    const TSyncObject& object = CurrentObject(QStringLiteral("app.bin"));
    auto connection = TLineConnection::Connect(QStringLiteral("127.0.0.1"), m_server->Port());
    ASSERT_TRUE(RunEventsUntil([&] { return m_server->ActiveSessionCount() == 1; }));
    const QString peerName = ResolveAddress(QStringLiteral("127.0.0.1")).value_or(QStringLiteral("127.0.0.1"));
    ASSERT_TRUE(RunEventsUntil([&] { return m_server->IsClientConnected(peerName); }));
    Datagram(QStringLiteral("QUERYDOWNLOAD \"app.bin\" %1").arg(NumberToText(object.ComputeId())),
             QStringLiteral("127.0.0.1"));
    EXPECT_TRUE(Sent().isEmpty());
    EXPECT_TRUE(
        Logged(QStringLiteral("Der Client \"%1\" ist ohnehin mit uns verbunden, nicht antworten").arg(peerName)));
    connection.reset();
    m_server.reset();
}

TEST_F(TBroadcastTest, ProviderAnswersCountOnlyWhileCollecting)
{
    BecomeClient();
    TSyncObject& object = *AppendObject(std::make_unique<TSyncObject>(QStringLiteral("my app.bin"), QStringLiteral("?"),
                                                                      7, SomeDate(), Home("Target/")));
    const QString id = NumberToText(object.ComputeId());
    Datagram(QStringLiteral("SETDOWNLOAD \"my app.bin\" %1").arg(id), Peer(5));
    EXPECT_EQ(object.ProviderCount(), 0);

    QueryDownload(object);
    EXPECT_EQ(Sent(), QStringList{QStringLiteral("QUERYDOWNLOAD \"my app.bin\" %1").arg(id)});
    EXPECT_TRUE(CollectingProviders());
    Datagram(QStringLiteral("SETDOWNLOAD \"my app.bin\" %1").arg(id), Peer(6));
    Datagram(QStringLiteral("SETDOWNLOAD \"my app.bin\""), Peer(7));
    ASSERT_EQ(object.ProviderCount(), 1);
    EXPECT_EQ(object.GetProvider(0), QStringLiteral("127.0.0.6"));
    EXPECT_TRUE(Logged(
        QStringLiteral("Der Client \"127.0.0.6\" besitzt das gewünschte Objekt \"my app.bin\" mit der Id %1").arg(id)));

    StopProviderCollection();
    Datagram(QStringLiteral("SETDOWNLOAD \"my app.bin\" %1").arg(id), Peer(8));
    EXPECT_EQ(object.ProviderCount(), 1);
}

// A provider counts only for the version wanted, and once: an answer for
// another id and a repeated answer never reach the download.
TEST_F(TBroadcastTest, ProvidersAreOfTheWantedVersionAndEachCountsOnce)
{
    BecomeClient();
    TSyncObject& object = *AppendObject(
        std::make_unique<TSyncObject>(QStringLiteral("tool.sh"), QStringLiteral("?"), 7, SomeDate(), Home("Target/")));
    const QString id = NumberToText(object.ComputeId());
    QueryDownload(object);
    Datagram(QStringLiteral("SETDOWNLOAD \"tool.sh\" %1").arg(object.ComputeId() + 1), Peer(5));
    Datagram(QStringLiteral("SETDOWNLOAD \"tool.sh\" %1").arg(id), Peer(6));
    RunEventsFor(900); // past the filter's 800 ms
    Datagram(QStringLiteral("SETDOWNLOAD \"tool.sh\" %1").arg(id), Peer(6));
    EXPECT_EQ(object.Providers(), QStringList{QStringLiteral("127.0.0.6")});
    StopProviderCollection();
}

// The fetching thread closes the window only after the peers had time to
// answer: an answer that comes shortly after the question still counts.
TEST_F(TBroadcastTest, EndingTheCollectionWaitsForAnswersToTheLastQuestion)
{
    BecomeClient();
    TSyncObject& object = *AppendObject(
        std::make_unique<TSyncObject>(QStringLiteral("a.bin"), QStringLiteral("?"), 7, SomeDate(), Home("Target/")));
    const QString peer = Peer(6);
    QueryDownload(object);
    std::future<void> ending = std::async(std::launch::async, [] { EndProviderCollection(); });
    RunEventsFor(50);
    Datagram(QStringLiteral("SETDOWNLOAD \"a.bin\" %1").arg(NumberToText(object.ComputeId())), peer);
    EXPECT_TRUE(
        RunEventsUntil([&] { return ending.wait_for(std::chrono::seconds(0)) == std::future_status::ready; }, 2000));
    EXPECT_EQ(object.ProviderCount(), 1);
    EXPECT_FALSE(CollectingProviders());
}

// Senders are spoofable: a flood of them must not grow the filter without
// bound nor make every datagram scan it. The names are no addresses, so no
// look-up leaves the machine.
TEST_F(TBroadcastTest, TheFilterKeepsTheSendersLastHeardUpToItsBound)
{
    for (int i = 0; i < 20000; ++i)
        Datagram(QStringLiteral("LAERM"), QStringLiteral("gefaelscht-%1").arg(i));
    EXPECT_EQ(BroadcastFilterSize(), 4096);
    // The most recent ones are still known: their next datagram is filtered.
    m_ui.Clear();
    Datagram(QStringLiteral("LAERM"), QStringLiteral("gefaelscht-19999"));
    EXPECT_TRUE(Logged(QStringLiteral("Broadcast \"LAERM\" von \"\" gefiltert")));
}

} // namespace
