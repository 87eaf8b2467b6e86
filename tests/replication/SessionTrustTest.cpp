// SPDX-License-Identifier: GPL-3.0-or-later
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <future>

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>

#include "catalogue/ClientKeys.h"
#include "catalogue/SyncClient.h"
#include "foundation/MainConfig.h"
#include "platform/ProgramPaths.h"
#include "replication/ClientBase.h"
#include "replication/HostKey.h"
#include "replication/LoopbackServer.h"
#include "replication/MasterKey.h"
#include "replication/TlsChannel.h"
#include "support/TestHome.h"

namespace {

const QByteArray kLogin = "LOGIN YW5vbnltb3Vz,Ymx1ZWhlcm9u 08.12.26 pc7\r\n";
const QString kForeignKey = NormalizedFingerprint(QString(64, QLatin1Char('a')));

class TSessionTrustTest : public TTestHome
{
protected:
    void SetUp() override
    {
        TTestHome::SetUp();
        FreeAllClients();
        m_server = StartLoopbackServer(300);
        m_port = m_server->Port();
        ASSERT_GT(m_port, 0);
    }
    void TearDown() override
    {
        m_server.reset();
        FreeAllClients();
        TTestHome::TearDown();
    }
    bool WaitIdle()
    {
        return RunEventsUntil([&] { return m_server->ActiveSessionCount() == 0; });
    }
    bool Logged(const QString& category, const QString& part) const
    {
        return m_ui.Messages(category).join(QLatin1Char('\n')).contains(part);
    }
    QStringList LoginReplies(TPeerSpeaks speaks = TPeerSpeaks::Tls)
    {
        auto conversation = Converse(m_port, kLogin, 1, 3000, speaks);
        const TConversation result = Await(conversation);
        EXPECT_TRUE(WaitIdle());
        return result.replies;
    }
    // An update conversation of this process against the loopback server,
    // which presents this process's own key.
    void RunUpdate()
    {
        m_ui.Clear();
        StartLoopbackClient(m_port, TConnectKind::Update, [](TClientBase&) {});
        ASSERT_TRUE(RunEventsUntil([&] { return m_ui.Messages(QStringLiteral("Client")).contains("Beende Thread"); }));
    }

    std::unique_ptr<TServerBase> m_server;
    int m_port = 0;
};

TEST(HostKeyTest, FingerprintsAreReadInAnySpellingAndNothingElse)
{
    const QString digits = QStringLiteral("0123456789abcdef").repeated(4);
    const QString grouped = NormalizedFingerprint(digits);
    ASSERT_EQ(grouped.size(), 64 + 15);
    EXPECT_TRUE(grouped.startsWith(QStringLiteral("0123:4567:89ab:cdef:0123")));
    EXPECT_EQ(NormalizedFingerprint(digits.toUpper()), grouped);
    EXPECT_EQ(NormalizedFingerprint(grouped), grouped);
    EXPECT_EQ(NormalizedFingerprint(QString(grouped).replace(QLatin1Char(':'), QLatin1Char(' '))), grouped);
    EXPECT_TRUE(NormalizedFingerprint(digits.left(63)).isEmpty());
    EXPECT_TRUE(NormalizedFingerprint(digits + QLatin1Char('0')).isEmpty());
    EXPECT_TRUE(NormalizedFingerprint(digits.left(63) + QLatin1Char('g')).isEmpty());
    EXPECT_TRUE(NormalizedFingerprint(QString()).isEmpty());
}

// The key is made once and kept; a lost certificate is issued anew for the
// same key, so the fingerprint every client pinned stays.
TEST_F(TSessionTrustTest, TheKeyIsMadeOnceAndACertificateIssuedAnewKeepsTheFingerprint)
{
    const QString fingerprint = OwnIdentity()->Fingerprint();
    ASSERT_FALSE(fingerprint.isEmpty());
    const QString keyPath = ProgramFile(QStringLiteral(".key"));
    const QString certificatePath = ProgramFile(QStringLiteral(".crt"));
    struct stat key = {};
    ASSERT_EQ(::stat(QFile::encodeName(keyPath).constData(), &key), 0);
    EXPECT_EQ(key.st_mode & 07777, 0640u);
    const QByteArray keyText = ReadFile(keyPath);
    ASSERT_TRUE(QFile::remove(certificatePath));

    // Elsewhere another computer's key, then back here.
    QTemporaryDir other;
    const QByteArray home = qgetenv("PLENWICK_HOME");
    qputenv("PLENWICK_HOME", QFile::encodeName(other.path() + QLatin1Char('/')));
    const QString otherFingerprint = OwnIdentity()->Fingerprint();
    qputenv("PLENWICK_HOME", home);
    EXPECT_NE(otherFingerprint, fingerprint);

    EXPECT_EQ(OwnIdentity()->Fingerprint(), fingerprint);
    EXPECT_EQ(ReadFile(keyPath), keyText);
    EXPECT_TRUE(QFile::exists(certificatePath));
}

TEST_F(TSessionTrustTest, ThePinComesFromTheOptionElseFromTheServerKeyFile)
{
    EXPECT_TRUE(PinnedMasterKey().isEmpty());
    EXPECT_NO_THROW(CheckMasterKey(QStringLiteral("master"), kForeignKey));

    const QString fromFile = NormalizedFingerprint(QString(64, QLatin1Char('b')));
    WriteFile(ProgramFile(QStringLiteral(".serverkey")), fromFile.toUpper().toLatin1() + "\n");
    EXPECT_EQ(PinnedMasterKey(), fromFile);
    PinMasterKey(kForeignKey);
    EXPECT_EQ(PinnedMasterKey(), kForeignKey);
    EXPECT_NO_THROW(CheckMasterKey(QStringLiteral("master"), kForeignKey));
    try {
        CheckMasterKey(QStringLiteral("master"), fromFile);
        ADD_FAILURE() << "another key was taken";
    } catch (const EMasterKeyRefused& error) {
        // Both keys named, and how to trust the new one.
        EXPECT_TRUE(error.Message().contains(kForeignKey));
        EXPECT_TRUE(error.Message().contains(fromFile));
        EXPECT_TRUE(error.Message().contains(QStringLiteral("NetServerKey")));
    }
}

// Trust on first use: the first login pins the master's key; a master with
// another key is refused before a word of the protocol is sent.
TEST_F(TSessionTrustTest, TheFirstLoginPinsTheMasterAndAnotherKeyIsRefused)
{
    RunUpdate();
    EXPECT_EQ(PinnedMasterKey(), OwnIdentity()->Fingerprint());
    EXPECT_TRUE(ReadFile(ProgramFile(QStringLiteral(".config"))).contains("NetServerKey="));

    PinMasterKey(kForeignKey);
    RunUpdate();
    EXPECT_TRUE(Logged(QStringLiteral("Client"), QStringLiteral("vertraut wird aber ") + kForeignKey));
    EXPECT_FALSE(Logged(QStringLiteral("Client"), QStringLiteral("LOGIN")));
    EXPECT_TRUE(m_ui.clientPane.join(QLatin1Char('\n')).contains(kForeignKey))
        << m_ui.clientPane.join('|').toStdString();
    EXPECT_EQ(PinnedMasterKey(), kForeignKey);
}

// The master knows each client by its first key: another key under the same
// computer name is refused until the client is deleted.
TEST_F(TSessionTrustTest, AClientWithAnotherKeyIsRefusedUntilItIsDeleted)
{
    EXPECT_TRUE(LoginReplies().value(0).startsWith(QStringLiteral("LOGIN ok")));
    EXPECT_EQ(RecordedClientKey(QStringLiteral("PC7")), OwnIdentity()->Fingerprint());
    EXPECT_TRUE(ReadFile(ProgramFile(QStringLiteral(".clientkeys"))).contains("\"pc7\","));

    ForgetClientKey(QStringLiteral("pc7"));
    RecordClientKey(QStringLiteral("pc7"), kForeignKey);
    EXPECT_EQ(LoginReplies().value(0), QStringLiteral("LOGIN fail noelevate"));
    EXPECT_TRUE(Logged(QStringLiteral("Server"), QStringLiteral("Client \"pc7\" legt den Schlüssel")));

    TSyncClient* client = FindClientByName(QStringLiteral("localhost"));
    ASSERT_NE(client, nullptr);
    DeleteClient(client);
    EXPECT_TRUE(LoginReplies().value(0).startsWith(QStringLiteral("LOGIN ok")));
    EXPECT_EQ(RecordedClientKey(QStringLiteral("pc7")), OwnIdentity()->Fingerprint());
}

// Clear text gets the status page and nothing else, unless the master lets
// clients of older versions in; a computer that showed a key never comes in
// without one.
TEST_F(TSessionTrustTest, PlainTextGetsTheStatusPageAndCommandsOnlyWhileAllowed)
{
    auto page = Converse(m_port, "GET / HTTP/1.1\r\nHost: x\r\n\r\n", -1, 3000, TPeerSpeaks::Plain);
    const TConversation served = Await(page);
    EXPECT_EQ(served.replies.value(0), QStringLiteral("HTTP/1.0 200 OK"));
    EXPECT_TRUE(LoginReplies(TPeerSpeaks::Plain).isEmpty());
    EXPECT_TRUE(Logged(QStringLiteral("Server"), QStringLiteral("Unverschlüsselte Anfrage \"LOGIN ***")));

    MainConfig().Set(QStringLiteral("NetAllowPlainClients"), true);
    EXPECT_TRUE(LoginReplies(TPeerSpeaks::Plain).value(0).startsWith(QStringLiteral("LOGIN ok")));
    EXPECT_TRUE(LoginReplies(TPeerSpeaks::Plain).value(0).startsWith(QStringLiteral("LOGIN ok")));
    EXPECT_EQ(m_ui.Messages(QStringLiteral("Server")).filter(QStringLiteral("meldet sich unverschlüsselt an")).size(),
              1);
    EXPECT_FALSE(RecordedClientKey(QStringLiteral("pc7")));

    EXPECT_TRUE(LoginReplies().value(0).startsWith(QStringLiteral("LOGIN ok")));
    EXPECT_EQ(LoginReplies(TPeerSpeaks::Plain).value(0), QStringLiteral("LOGIN fail noelevate"));
}

// A handshake broken off half-way ends that session alone, on either side.
TEST_F(TSessionTrustTest, AHandshakeThatFailsHalfWayEndsOnlyItsSession)
{
    // A record header that promises a handshake, then nonsense.
    auto broken =
        Converse(m_port, QByteArray("\x16\x03\x01\x00\x20", 5) + QByteArray(32, 'x'), -1, 3000, TPeerSpeaks::Plain);
    EXPECT_TRUE(Await(broken).closedByServer); // after an alert at most
    // Half a record, then silence: the time-out ends it.
    auto stalled = Converse(m_port, QByteArray("\x16\x03\x01\x01", 4), -1, 3000, TPeerSpeaks::Plain);
    EXPECT_TRUE(LoginReplies().value(0).startsWith(QStringLiteral("LOGIN ok")));
    EXPECT_TRUE(Await(stalled).closedByServer);
    ASSERT_TRUE(WaitIdle());
    EXPECT_EQ(m_ui.Messages(QStringLiteral("Server"))
                  .filter(QStringLiteral("TLS-Verbindungsaufbau mit 127.0.0.1 gescheitert"))
                  .size(),
              2)
        << m_ui.Messages(QStringLiteral("Server")).join('|').toStdString();

    // The client side: a server that answers the greeting with text.
    int port = 0;
    std::thread peer = StartScriptedPeer(
        port,
        [](TLineConnection& connection) {
            connection.WriteLine(QStringLiteral("LOGIN ok noelevate"));
            connection.ReadLine();
        },
        TPeerSpeaks::Plain);
    auto connection = TLineConnection::Connect(QStringLiteral("127.0.0.1"), port);
    EXPECT_THROW(connection->StartTls(TTlsRole::Client, 3000), ETlsError);
    connection.reset();
    peer.join();
}

// A computer of an older version: it takes the TLS greeting for a line it
// does not know and closes; the next connection it serves in clear text.
// Gives the lines it received there.
std::future<QStringList> OlderClient(int& port)
{
    const int listener = LoopbackListener(port, 2);
    return std::async(std::launch::async, [listener] {
        QStringList received;
        pollfd waiting{listener, POLLIN, 0};
        for (int served = 0; served < 2 && ::poll(&waiting, 1, 3000) == 1; ++served) {
            TLineConnection connection(::accept(listener, nullptr, nullptr));
            connection.SetReadTimeout(2000);
            try {
                if (served == 0) {
                    connection.ReadBytes(5); // a record header, no line
                    continue;
                }
                received << connection.ReadLine();
                connection.WriteLine(QStringLiteral("LOGIN ok noelevate  "));
                received << connection.ReadLine();
                connection.WriteLine(QStringLiteral("TERMINATE_OK"));
                connection.ReadLine();
            } catch (const ESocketError&) {
            }
        }
        ::close(listener);
        return received;
    });
}

TEST_F(TSessionTrustTest, TheMasterCommandsAnOlderClientInClearTextOnlyWhileAllowed)
{
    ASSERT_TRUE(IsMasterServer());
    int port = 0;
    auto refused = OlderClient(port);
    StartLoopbackClient(port, TConnectKind::Terminate);
    ASSERT_TRUE(RunEventsUntil([&] { return m_ui.Messages(QStringLiteral("Client")).contains("Beende Thread"); }));
    EXPECT_TRUE(Logged(QStringLiteral("Client"), QStringLiteral("TLS-Handshake gescheitert")));
    ASSERT_TRUE(RunEventsUntil([&] { return refused.wait_for(std::chrono::seconds(0)) == std::future_status::ready; }));
    EXPECT_TRUE(refused.get().isEmpty());

    MainConfig().Set(QStringLiteral("NetAllowPlainClients"), true);
    m_ui.Clear();
    auto served = OlderClient(port);
    StartLoopbackClient(port, TConnectKind::Terminate);
    ASSERT_TRUE(RunEventsUntil([&] { return m_ui.Messages(QStringLiteral("Client")).contains("Beende Thread"); }));
    EXPECT_TRUE(Logged(QStringLiteral("Client"), QStringLiteral("das Kommando wird unverschlüsselt gesendet")));
    ASSERT_TRUE(RunEventsUntil([&] { return served.wait_for(std::chrono::seconds(0)) == std::future_status::ready; }));
    const QStringList lines = served.get();
    ASSERT_EQ(lines.size(), 2);
    EXPECT_TRUE(lines[0].startsWith(QStringLiteral("LOGIN ")));
    EXPECT_EQ(lines[1], QStringLiteral("TERMINATE"));

    // A computer that has shown the master a key never gets one in clear text.
    RegisterClient(QStringLiteral("127.0.0.1"), QStringLiteral("127.0.0.1"));
    RecordLocalComputerName(*FindClientByName(QStringLiteral("127.0.0.1")), QStringLiteral("pc7"));
    RecordClientKey(QStringLiteral("pc7"), kForeignKey);
    m_ui.Clear();
    auto known = OlderClient(port);
    StartLoopbackClient(port, TConnectKind::Terminate);
    ASSERT_TRUE(RunEventsUntil([&] { return m_ui.Messages(QStringLiteral("Client")).contains("Beende Thread"); }));
    ASSERT_TRUE(RunEventsUntil([&] { return known.wait_for(std::chrono::seconds(0)) == std::future_status::ready; }));
    EXPECT_TRUE(known.get().isEmpty());
}

} // namespace
