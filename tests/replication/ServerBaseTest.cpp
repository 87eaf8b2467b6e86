// SPDX-License-Identifier: GPL-3.0-or-later
#include <arpa/inet.h>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <future>
#include <mutex>
#include <netinet/in.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

#include <gtest/gtest.h>

#include <QElapsedTimer>

#include "base/TextFields.h"
#include "catalogue/SyncClient.h"
#include "foundation/MainConfig.h"
#include "platform/HostNames.h"
#include "platform/ProgramPaths.h"
#include "replication/LoopbackServer.h"
#include "replication/Protocol.h"
#include "replication/ServerBase.h"
#include "replication/ServerThread.h"
#include "support/TestHome.h"

namespace {

const QByteArray kDefaultLogin = "LOGIN YW5vbnltb3Vz,Ymx1ZWhlcm9u 08.12.26 pc7\r\n";

class TServerBaseTest : public TTestHome
{
protected:
    void SetUp() override
    {
        TTestHome::SetUp();
        FreeAllClients();
        m_objList = CommandHandler(TCommandIndex::ObjList);
        m_server = StartLoopbackServer(300);
        m_port = m_server->Port();
        ASSERT_GT(m_port, 0);
    }
    void TearDown() override
    {
        m_server.reset();
        // Later tests need the real handler back, not an empty one.
        SetCommandHandler(TCommandIndex::ObjList, m_objList);
        FreeAllClients();
        TTestHome::TearDown();
    }
    bool WaitIdle()
    {
        return RunEventsUntil([&] { return m_server->ActiveSessionCount() == 0; });
    }
    bool WaitFor(const QString& message)
    {
        return RunEventsUntil([&] { return m_ui.HasMessage(message); });
    }

    std::unique_ptr<TServerBase> m_server;
    int m_port = 0;
    TCommandHandler m_objList;
};

TEST_F(TServerBaseTest, ListenersLogTheirPortsAndASecondServerCannotTakeTheTcpPort)
{
    EXPECT_TRUE(m_ui.HasMessage(QStringLiteral("Server-Komponente hört auf TCP-Port %1").arg(m_port)));
    EXPECT_TRUE(m_ui.HasMessage(QStringLiteral("Broadcast-Komponente hört auf UDP-Port %1").arg(m_port)));
    MainConfig().Set(QStringLiteral("NetServerPort"), m_port);
    TServerBase second;
    second.StartListeners();
    EXPECT_TRUE(m_ui.HasMessage(QStringLiteral("Die TCP-Serverkomponente konnte nicht gestartet werden")));
    EXPECT_EQ(second.Port(), 0);
}

TEST_F(TServerBaseTest, DefaultLoginGetsTheThreeWordReply)
{
    auto conversation = Converse(m_port, kDefaultLogin, 1);
    const TConversation result = Await(conversation);
    ASSERT_EQ(result.replies, QStringList{QStringLiteral("LOGIN ok noelevate  ")});
    ASSERT_TRUE(WaitIdle());
    EXPECT_TRUE(m_ui.HasMessage(QStringLiteral("Anmeldung durch Benutzer \"anonymous\", Ergebnis: ok noelevate  ")));
    EXPECT_TRUE(m_ui.HasMessage(QStringLiteral("Verbindung mit \"localhost\" hergestellt")));
    EXPECT_TRUE(m_ui.HasMessage(QStringLiteral("Ereignis \"Execute\" für Server-Thread")));
    EXPECT_TRUE(m_ui.HasMessage(QStringLiteral("Verbindung mit localhost beendet")));
    ASSERT_FALSE(m_ui.serverPane.isEmpty());
    EXPECT_TRUE(m_ui.serverPane.front().contains(QStringLiteral("Client \"localhost\":")));
    // The connection registered the computer; the login added its own name.
    const TSyncClient* client = FindClientByName(QStringLiteral("localhost"));
    ASSERT_NE(client, nullptr);
    EXPECT_EQ(client->Address(), "127.0.0.1");
    EXPECT_EQ(client->LocalComputerName(), "pc7");
    EXPECT_TRUE(m_ui.HasMessage(QStringLiteral("Lokaler Computername des Clients ist \"pc7\"")));
    EXPECT_TRUE(ReadFile(ProgramFile(QStringLiteral(".clients"))).startsWith("localhost,\"pc7\",127.0.0.1,"));
}

TEST_F(TServerBaseTest, ThreeWordLoginIsAnsweredAndStoresNoComputerName)
{
    auto conversation = Converse(m_port, "LOGIN YW5vbnltb3Vz,Ymx1ZWhlcm9u 08.12.26\r\n", 1);
    EXPECT_EQ(Await(conversation).replies, QStringList{QStringLiteral("LOGIN ok noelevate  ")});
    ASSERT_TRUE(WaitIdle());
    const TSyncClient* client = FindClientByName(QStringLiteral("localhost"));
    ASSERT_NE(client, nullptr);
    EXPECT_EQ(client->LocalComputerName(), "");
}

TEST_F(TServerBaseTest, AddressNamedClientIsTakenFromTheCacheWithoutLookup)
{
    RegisterClient(QStringLiteral("127.0.0.1"), QStringLiteral("127.0.0.1"));
    auto conversation = Converse(m_port, kDefaultLogin, 1);
    Await(conversation);
    ASSERT_TRUE(WaitIdle());
    EXPECT_TRUE(m_ui.HasMessage(QStringLiteral("Domain-Name \"127.0.0.1\" aus Cache aufgelöst")));
    EXPECT_TRUE(m_ui.HasMessage(QStringLiteral("Verbindung mit \"127.0.0.1\" hergestellt")));
    MainConfig().Set(QStringLiteral("NetDNSCache"), false);
    auto again = Converse(m_port, kDefaultLogin, 1);
    Await(again);
    ASSERT_TRUE(WaitIdle());
    EXPECT_TRUE(m_ui.HasMessage(QStringLiteral("Verbindung mit \"localhost\" hergestellt")));
}

TEST_F(TServerBaseTest, LoginReplyFormsNeverCarryTheAdministratorAccount)
{
    MainConfig().Set(QStringLiteral("ServerAdminAccountUse"), true);
    MainConfig().Set(QStringLiteral("ServerAdminAccountUsername"), QStringLiteral("root"));
    MainConfig().Set(QStringLiteral("ServerAdminAccountPassword"), QStringLiteral("Geheim-42"));
    // A named user, credentials in plain text, a one-part credential and a
    // second accepted login, on one connection.
    auto conversation = Converse(m_port,
                                 "LOGIN bWFyaWE=,Z2VoZWlt 08.12.26 pc7\r\n"
                                 "LOGIN anonymous,blueheron 08.12.26\n"
                                 "LOGIN YW5vbnltb3Vz, 08.12.26 pc7\r\n" +
                                     kDefaultLogin,
                                 4);
    const TConversation result = Await(conversation);
    EXPECT_EQ(result.replies,
              (QStringList{QStringLiteral("LOGIN fail noelevate"), QStringLiteral("LOGIN ok noelevate  "),
                           QStringLiteral("LOGIN fail noelevate"), QStringLiteral("LOGIN ok noelevate  ")}));
    ASSERT_TRUE(WaitIdle());
    EXPECT_TRUE(m_ui.HasMessage(QStringLiteral("Anmeldung durch Benutzer \"maria\", Ergebnis: fail noelevate")));
    EXPECT_TRUE(m_ui.HasMessage(QStringLiteral("Benutzerberechtigung in Klartext empfangen!")));
    EXPECT_EQ(m_ui.Messages().count(QStringLiteral("Anhebung der Anwendungsrechte ist abgeschaltet: das Konto des "
                                                   "Master-Servers wird keinem Client übergeben")),
              1);
    // Neither the password nor its Base64 form, nor the client's credentials,
    // reach the protocol or the overview.
    const QString everything = m_ui.Messages().join('\n') + m_ui.serverPane.join('\n');
    for (const char* secret : {"Geheim-42", "R2VoZWltLTQy", "Z2VoZWlt", "blueheron", "Ymx1ZWhlcm9u"})
        EXPECT_FALSE(everything.contains(QLatin1String(secret))) << secret;
    EXPECT_TRUE(m_ui.HasMessage(QStringLiteral("Anfrage \"LOGIN *** 08.12.26 pc7\" von \"localhost\" empfangen")));
}

TEST_F(TServerBaseTest, AComputerNameTheListsCannotHoldRefusesTheLogin)
{
    RegisterClient(QStringLiteral("127.0.0.1"), QStringLiteral("localhost"));
    // 255 bytes fit; 128 umlauts are 128 letters but 256 bytes.
    const QByteArray longest(255, 'p');
    const QByteArray umlauts = QString(128, QChar(0xE4)).toUtf8();
    const QByteArray login = "LOGIN YW5vbnltb3Vz,Ymx1ZWhlcm9u 08.12.26 ";
    auto conversation = Converse(m_port,
                                 login + longest + "\r\n" + login + umlauts + "\r\n" + login + "pc,7\r\n" + login +
                                     "\"pc7\"\r\n" + login + "pc'7\r\n",
                                 5);
    const TConversation result = Await(conversation);
    EXPECT_EQ(result.replies,
              (QStringList{QStringLiteral("LOGIN ok noelevate  "), QStringLiteral("LOGIN fail noelevate"),
                           QStringLiteral("LOGIN fail noelevate"), QStringLiteral("LOGIN fail noelevate"),
                           QStringLiteral("LOGIN fail noelevate")}));
    ASSERT_TRUE(WaitIdle());
    EXPECT_TRUE(m_ui.HasMessage(QStringLiteral("Lokaler Computername \"pc,7\" ist unzulässig, Anmeldung abgelehnt")));
    EXPECT_TRUE(m_ui.HasMessage(QStringLiteral("Anmeldung durch Benutzer \"anonymous\", Ergebnis: fail noelevate")));
    // The refused names were not stored: the first one stays, in the list and its file.
    EXPECT_EQ(FindClientByName(QStringLiteral("localhost"))->LocalComputerName(), QString::fromLatin1(longest));
    const QByteArray file = ReadFile(ProgramFile(QStringLiteral(".clients")));
    EXPECT_TRUE(file.contains(longest));
    EXPECT_FALSE(file.contains(umlauts));
    EXPECT_FALSE(file.contains("pc,7"));
}

TEST_F(TServerBaseTest, LoginWithoutCredentialsGetsNoReply)
{
    auto conversation = Converse(m_port, "LOGIN\r\n", -1, 2000);
    const TConversation result = Await(conversation);
    EXPECT_TRUE(result.replies.isEmpty());
    EXPECT_TRUE(m_ui.HasMessage(QStringLiteral("Unerwartete Parameteranzahl in Anmeldung")));
}

TEST_F(TServerBaseTest, UnknownWordsCloseTheConnectionWithoutReply)
{
    for (const QByteArray& request :
         {QByteArray("login YW5vbnltb3Vz,Ymx1ZWhlcm9u"), QByteArray("TERMINATE_OK"), QByteArray("ObjList")}) {
        auto conversation = Converse(m_port, request + "\r\n");
        const TConversation result = Await(conversation);
        EXPECT_TRUE(result.replies.isEmpty()) << request.constData();
        EXPECT_TRUE(result.closedByServer) << request.constData();
        // Credentials in a misspelt login do not reach the protocol either.
        EXPECT_TRUE(WaitFor(QStringLiteral("Unbekanntes Kommando \"%1\" empfangen, beende Verbindung")
                                .arg(QString::fromLatin1(request).replace(QStringLiteral("YW5vbnltb3Vz,Ymx1ZWhlcm9u"),
                                                                          QStringLiteral("***")))));
    }
    EXPECT_TRUE(m_ui.HasMessage(QStringLiteral("Kommandobearbeitung abgeschlossen")));
}

TEST_F(TServerBaseTest, OnlyALineBeginningWithTheWordGetGetsTheStatusPage)
{
    // A browser speaks no TLS.
    auto conversation = Converse(m_port, "GET /\r\n", -1, 3000, TPeerSpeaks::Plain);
    TConversation result = Await(conversation);
    ASSERT_EQ(result.replies.size(), 5);
    EXPECT_EQ(result.replies[0], "<p>");
    EXPECT_TRUE(result.replies[1].startsWith(QStringLiteral("Plenwick Version ")));
    EXPECT_TRUE(result.replies[1].endsWith(QStringLiteral(" Serverkomponente<br/>")));
    EXPECT_EQ(result.replies[3], "</p>");
    EXPECT_TRUE(result.replies[4].endsWith(QStringLiteral(" Plenwick ist bereit...</p>")));
    EXPECT_TRUE(result.closedByServer);
    EXPECT_TRUE(m_ui.HasMessage(QStringLiteral("Sende Antwort an HTML-Browser und beende Verbindung")));
    ASSERT_TRUE(WaitIdle());

    // The letters inside a word are no browser: a computer named BUDGET-PC logs in.
    m_ui.Clear();
    conversation = Converse(m_port, "LOGIN YW5vbnltb3Vz,Ymx1ZWhlcm9u 08.12.26 BUDGET-PC\r\n", 1);
    result = Await(conversation);
    EXPECT_EQ(result.replies, QStringList{QStringLiteral("LOGIN ok noelevate  ")});
    ASSERT_TRUE(WaitIdle());
    EXPECT_FALSE(m_ui.HasMessage(QStringLiteral("Sende Antwort an HTML-Browser und beende Verbindung")));
    ASSERT_NE(FindClientByName(QStringLiteral("localhost")), nullptr);
    EXPECT_EQ(FindClientByName(QStringLiteral("localhost"))->LocalComputerName(), "BUDGET-PC");

    // A request for WIDGET.DLL is a request for an object (here an unknown one: no reply).
    conversation = Converse(m_port, "DOWNLOAD WIDGET.DLL\r\n", -1, 500);
    result = Await(conversation);
    EXPECT_TRUE(result.replies.isEmpty());
    EXPECT_FALSE(m_ui.HasMessage(QStringLiteral("Sende Antwort an HTML-Browser und beende Verbindung")));
}

namespace {

// Runs a command on a thread of its own (the sessions' log calls need the
// main thread) and gives its standard output, "" when it failed.
std::future<QByteArray> RunCommand(const QString& command)
{
    return std::async(std::launch::async, [command] {
        QByteArray output;
        FILE* pipe = ::popen(command.toLocal8Bit().constData(), "r");
        if (pipe == nullptr)
            return output;
        char buffer[4096];
        for (size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;)
            output.append(buffer, static_cast<qsizetype>(n));
        return ::pclose(pipe) == 0 ? output : QByteArray();
    });
}

} // namespace

TEST_F(TServerBaseTest, AnHttpClientGetsAStatusLineHeadersAndThePageUnchanged)
{
    if (std::system("command -v curl >/dev/null 2>&1") != 0)
        GTEST_SKIP() << "curl is not installed";
    auto curl = RunCommand(QStringLiteral("curl -sS --max-time 10 -D - http://127.0.0.1:%1/status").arg(m_port));
    ASSERT_TRUE(
        RunEventsUntil([&] { return curl.wait_for(std::chrono::seconds(0)) == std::future_status::ready; }, 15000));
    const QStringList lines = SplitLines(curl.get());
    ASSERT_EQ(lines.size(), 9) << lines.join(QLatin1Char('|')).toStdString();
    EXPECT_EQ(lines.mid(0, 4),
              (QStringList{"HTTP/1.0 200 OK", "Content-Type: text/html; charset=utf-8", "Connection: close", ""}));
    EXPECT_EQ(lines[4], "<p>");
    EXPECT_TRUE(lines[8].endsWith(QStringLiteral(" Plenwick ist bereit...</p>")));
    ASSERT_TRUE(WaitIdle());
    // curl's header lines were read, not taken for requests.
    EXPECT_FALSE(m_ui.HasMessage(
        QStringLiteral("Unbekanntes Kommando \"Host: 127.0.0.1:%1\" empfangen, beende Verbindung").arg(m_port)));

    // Chromium shows the page with its German text.
    for (const char* browser : {"chromium", "chromium-browser"}) {
        if (std::system(QStringLiteral("command -v %1 >/dev/null 2>&1").arg(QLatin1String(browser)).toLatin1()) != 0)
            continue;
        auto dom = RunCommand(QStringLiteral("timeout 60 %1 --headless --no-sandbox --disable-gpu --dump-dom "
                                             "http://127.0.0.1:%2/ 2>/dev/null")
                                  .arg(QLatin1String(browser))
                                  .arg(m_port));
        ASSERT_TRUE(
            RunEventsUntil([&] { return dom.wait_for(std::chrono::seconds(0)) == std::future_status::ready; }, 70000));
        EXPECT_TRUE(dom.get().contains("Plenwick ist bereit..."));
        break;
    }
}

TEST_F(TServerBaseTest, SilentClientIsDisconnectedAndDoesNotHoldUpOthers)
{
    MainConfig().Set(QStringLiteral("MiscSocketTimeout"), 1500);
    auto silent = Converse(m_port, QByteArray(), -1, 5000);
    ASSERT_TRUE(RunEventsUntil([&] { return m_server->ActiveSessionCount() == 1; }));
    auto other = Converse(m_port, kDefaultLogin, 1);
    const TConversation served = Await(other);
    ASSERT_EQ(served.replies.size(), 1);
    EXPECT_LT(served.firstReplyMs, 1000); // served while the silent one still waits
    const TConversation result = Await(silent);
    EXPECT_TRUE(result.closedByServer);
    EXPECT_TRUE(m_ui.HasMessage(QStringLiteral("Keine Antwort von \"localhost\" empfangen")));
    EXPECT_TRUE(m_ui.HasMessage(QStringLiteral("Kein Kommando empfangen, beende Verbindung")));
    EXPECT_TRUE(m_ui.HasMessage(QStringLiteral("Erwarte Anfrage (Timeout ist 1 Sekunden)")));
}

namespace {

// A connection from the loopback address given, left idle.
int IdleConnection(int port, const char* from)
{
    const int s = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in source{};
    source.sin_family = AF_INET;
    ::inet_pton(AF_INET, from, &source.sin_addr);
    ::bind(s, reinterpret_cast<sockaddr*>(&source), sizeof source);
    sockaddr_in server{};
    server.sin_family = AF_INET;
    server.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    server.sin_port = htons(static_cast<quint16>(port));
    ::connect(s, reinterpret_cast<sockaddr*>(&server), sizeof server);
    return s;
}

} // namespace

// Hundreds of idle connections neither end the master nor keep a client out:
// one address gets a few sessions, and all of them together a bounded number.
TEST_F(TServerBaseTest, IdleConnectionsAreBoundedPerAddressAndOverall)
{
    MainConfig().Set(QStringLiteral("MiscSocketTimeout"), 5000);
    std::vector<int> idle;
    for (int i = 0; i < 300; ++i)
        idle.push_back(IdleConnection(m_port, "127.0.0.2"));
    ASSERT_TRUE(WaitFor(QStringLiteral("Verbindung von 127.0.0.2 abgelehnt: bereits 8 Verbindungen von dieser "
                                       "Adresse (NetMaxSessionsPerAddress)")));
    MainConfig().Set(QStringLiteral("NetMaxSessions"), 12);
    for (int i = 3; i < 10; ++i)
        idle.push_back(IdleConnection(m_port, QStringLiteral("127.0.0.%1").arg(i).toLatin1().constData()));
    ASSERT_TRUE(
        WaitFor(QStringLiteral("Verbindung von 127.0.0.7 abgelehnt: bereits 12 Verbindungen (NetMaxSessions)")));
    EXPECT_LE(m_server->ActiveSessionCount(), 12);

    MainConfig().Set(QStringLiteral("NetMaxSessions"), 512);
    auto client = Converse(m_port, kDefaultLogin, 1);
    const TConversation served = Await(client);
    ASSERT_EQ(served.replies.size(), 1);
    EXPECT_TRUE(served.replies.front().startsWith(QStringLiteral("LOGIN ok")));
    for (const int s : idle)
        ::close(s);
}

TEST_F(TServerBaseTest, RequestsOfTwoClientsAreServedOneAfterTheOther)
{
    std::mutex lock;
    std::vector<std::pair<qint64, qint64>> spans;
    QElapsedTimer clock;
    clock.start();
    std::promise<void> entered;
    std::promise<void> release;
    std::shared_future<void> released = release.get_future().share();
    std::atomic<int> calls{0};
    SetCommandHandler(TCommandIndex::ObjList, [&](TSession& session, const QStringList&) {
        const qint64 begin = clock.elapsed();
        // The first request holds on until the test has asked the table.
        if (++calls == 1) {
            entered.set_value();
            released.wait();
        }
        {
            std::lock_guard guard(lock);
            spans.emplace_back(begin, clock.elapsed());
        }
        session.Reply(QStringLiteral("end"));
    });
    auto first = Converse(m_port, "OBJLIST\r\n", 1);
    auto second = Converse(m_port, "OBJLIST\r\n", 1);
    std::future<void> inside = entered.get_future();
    ASSERT_TRUE(
        RunEventsUntil([&] { return inside.wait_for(std::chrono::seconds(0)) == std::future_status::ready; }, 10000));
    // While a request runs, the table can still be asked: a wait for the
    // request would never end, as the request waits for this answer.
    std::future<bool> asked = std::async(std::launch::async, [&] {
        return m_server->IsClientConnected(QStringLiteral("LOCALHOST")) &&
               !m_server->IsClientConnected(QStringLiteral("elsewhere"));
    });
    ASSERT_EQ(asked.wait_for(std::chrono::seconds(10)), std::future_status::ready);
    EXPECT_TRUE(asked.get());
    release.set_value();
    EXPECT_EQ(Await(first).replies, QStringList{QStringLiteral("end")});
    EXPECT_EQ(Await(second).replies, QStringList{QStringLiteral("end")});
    ASSERT_EQ(spans.size(), 2u);
    EXPECT_LE(spans[0].second, spans[1].first);
}

TEST_F(TServerBaseTest, FreedSlotsAreReused)
{
    for (int i = 0; i < 3; ++i) {
        auto conversation = Converse(m_port, kDefaultLogin, 1);
        Await(conversation);
        ASSERT_TRUE(WaitIdle());
    }
    EXPECT_EQ(m_server->SlotCount(), 1);
    MainConfig().Set(QStringLiteral("MiscSocketTimeout"), 1000);
    auto a = Converse(m_port, QByteArray(), -1, 3000);
    auto b = Converse(m_port, QByteArray(), -1, 3000);
    ASSERT_TRUE(RunEventsUntil([&] { return m_server->ActiveSessionCount() == 2; }));
    Await(a);
    Await(b);
    ASSERT_TRUE(WaitIdle());
    auto c = Converse(m_port, kDefaultLogin, 1);
    Await(c);
    ASSERT_TRUE(WaitIdle());
    EXPECT_EQ(m_server->SlotCount(), 2);
}

TEST_F(TServerBaseTest, AfterMayQuitRefusedNewConnectionsAreRefused)
{
    EXPECT_TRUE(m_server->MayQuit()); // no session: no refusal yet
    auto conversation = Converse(m_port, QByteArray(), -1, 2000);
    ASSERT_TRUE(RunEventsUntil([&] { return m_server->ActiveSessionCount() == 1; }));
    EXPECT_FALSE(m_server->MayQuit());
    Await(conversation);
    ASSERT_TRUE(WaitIdle());
    EXPECT_TRUE(m_server->MayQuit());
    auto refused = Converse(m_port, kDefaultLogin);
    const TConversation result = Await(refused);
    EXPECT_TRUE(result.replies.isEmpty());
    EXPECT_TRUE(result.closedByServer);
    EXPECT_TRUE(WaitFor(QStringLiteral("Anwendung soll beendet werden, Verbindung abgelehnt")));
}

TEST_F(TServerBaseTest, ClientClosingAfterItsLastReplyEndsTheSessionQuietly)
{
    auto conversation = Converse(m_port, kDefaultLogin, 1);
    ASSERT_EQ(Await(conversation).replies.size(), 1);
    ASSERT_TRUE(WaitIdle());
    EXPECT_TRUE(m_ui.HasMessage(QStringLiteral("Verbindung mit localhost beendet")));
    EXPECT_TRUE(m_ui.HasMessage(QStringLiteral("Ereignis \"Disconnect\" für Server-Thread")));
    for (const QString& message : m_ui.Messages())
        EXPECT_FALSE(message.contains(QStringLiteral("Ausnahme"))) << message.toStdString();
    EXPECT_EQ(m_ui.Messages(QStringLiteral("Server")).count(QStringLiteral("Beende Thread")), 0);

    // Closed within a request line: that one is broken, not ended.
    m_ui.Clear();
    auto broken = Converse(m_port, "OBJL", 0);
    Await(broken);
    EXPECT_TRUE(WaitFor(QStringLiteral(
        "Beim Empfang ist eine Ausnahme des Typs \"Die Verbindung wurde vom Gegenüber geschlossen\" aufgetreten")));
    ASSERT_TRUE(WaitIdle());
    EXPECT_TRUE(m_ui.Messages(QStringLiteral("Server")).contains(QStringLiteral("Beende Thread")));
}

TEST_F(TServerBaseTest, OverlongLineIsLoggedAndClosesTheConnection)
{
    auto conversation = Converse(m_port, QByteArray(kMaxLineLength + 10, 'A'));
    const TConversation result = Await(conversation);
    EXPECT_TRUE(result.closedByServer);
    ASSERT_TRUE(WaitIdle());
    EXPECT_TRUE(m_ui.HasMessage(QStringLiteral(
        "Beim Empfang ist eine Ausnahme des Typs \"Zeile länger als 65536 Bytes empfangen\" aufgetreten")));
}

TEST_F(TServerBaseTest, StoppedListenersBreakRunningSessionsAndAcceptNoMore)
{
    MainConfig().Set(QStringLiteral("MiscSocketTimeout"), 5000);
    auto conversation = Converse(m_port, QByteArray(), -1, 5000);
    ASSERT_TRUE(RunEventsUntil([&] { return m_server->ActiveSessionCount() == 1; }));
    const int port = m_port;
    m_server->StopListeners();
    EXPECT_TRUE(Await(conversation).closedByServer);
    EXPECT_TRUE(WaitIdle());
    EXPECT_THROW(TLineConnection::Connect(QStringLiteral("127.0.0.1"), port), ESocketError);
}

} // namespace

TEST(ResolveAddress, NamesLoopbackAndRefusesWhatIsNoAddress)
{
    EXPECT_TRUE(ResolveAddress(QStringLiteral("127.0.0.1")).has_value());
    EXPECT_FALSE(ResolveAddress(QStringLiteral("127.0.0")).has_value());
    EXPECT_FALSE(ResolveAddress(QStringLiteral("localhost")).has_value());
}

namespace {

// The orderly shutdown gives running sessions a grace period, then breaks
// them: a peer that keeps talking does not keep the program alive.
TEST_F(TServerBaseTest, AChattyPeerIsCutOffOnceTheShutdownGraceHasRunOut)
{
    std::atomic<bool> stop{false};
    auto chatty = std::async(std::launch::async, [&] {
        auto connection = TLineConnection::Connect(QStringLiteral("127.0.0.1"), m_port);
        connection->SetReadTimeout(2000);
        connection->StartTls(TTlsRole::Client, 2000);
        int replies = 0;
        try {
            while (!stop) {
                connection->WriteLine(QStringLiteral("PHONEHOME"));
                if (!connection->ReadLine().isEmpty())
                    ++replies;
                std::this_thread::sleep_for(std::chrono::milliseconds(100));
            }
        } catch (const ESocketError&) {
        }
        return replies;
    });
    ASSERT_TRUE(RunEventsUntil(
        [&] { return m_ui.HasMessage(QStringLiteral("Antwort \"PHONEHOME_OK\" an \"localhost\" gesendet")); }));

    QDeadlineTimer grace(800);
    EXPECT_FALSE(m_server->EndSessions(grace));
    // Within the grace the session goes on, and no new connection is taken.
    auto refused = Converse(m_port, kDefaultLogin, 1, 1000);
    EXPECT_TRUE(Await(refused).replies.isEmpty());
    EXPECT_EQ(m_server->ActiveSessionCount(), 1);
    EXPECT_TRUE(RunEventsUntil([&] { return m_server->EndSessions(grace); }, 5000));
    EXPECT_TRUE(m_ui.HasMessage(QStringLiteral("Verbindung mit localhost wird getrennt")));
    stop = true;
    EXPECT_TRUE(RunEventsUntil([&] { return chatty.wait_for(std::chrono::seconds(0)) == std::future_status::ready; }));
    EXPECT_GT(chatty.get(), 1);
}

} // namespace
