// SPDX-License-Identifier: GPL-3.0-or-later
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

#include <QTemporaryFile>

#include <gtest/gtest.h>

#include "replication/Protocol.h"

namespace {

// Both ends of a local stream socket: we write raw bytes on one end and read
// lines through the connection on the other.
class TLineConnectionTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        int ends[2];
        ASSERT_EQ(::socketpair(AF_UNIX, SOCK_STREAM, 0, ends), 0);
        m_connection = std::make_unique<TLineConnection>(ends[0]);
        m_connection->SetReadTimeout(200);
        m_peer = ends[1];
    }
    void TearDown() override
    {
        if (m_peer >= 0)
            ::close(m_peer);
    }
    void Write(const QByteArray& bytes)
    {
        qsizetype sent = 0;
        while (sent < bytes.size()) {
            const ssize_t n = ::write(m_peer, bytes.constData() + sent, bytes.size() - sent);
            ASSERT_GT(n, 0);
            sent += n;
        }
    }
    void ClosePeer()
    {
        ::close(m_peer);
        m_peer = -1;
    }

    std::unique_ptr<TLineConnection> m_connection;
    int m_peer = -1;
};

TEST_F(TLineConnectionTest, LineFeedEndsLineAndCarriageReturnBeforeItIsDropped)
{
    Write("LOGIN a,b\r\nOBJLIST\nin\rside\r\n");
    EXPECT_EQ(m_connection->ReadLine(), "LOGIN a,b");
    EXPECT_EQ(m_connection->ReadLine(), "OBJLIST");
    EXPECT_EQ(m_connection->ReadLine(), "in\rside");
}

TEST_F(TLineConnectionTest, TimeOutGivesEmptyLineAndKeepsWhatCameSoFar)
{
    Write("DOWN");
    EXPECT_EQ(m_connection->ReadLine(), "");
    Write("LOAD x\r\n");
    EXPECT_EQ(m_connection->ReadLine(), "DOWNLOAD x");
}

TEST_F(TLineConnectionTest, ClosedConnectionRaises)
{
    Write("half");
    ClosePeer();
    EXPECT_THROW(m_connection->ReadLine(), ESocketError);
    EXPECT_FALSE(m_connection->IsOpen());
}

TEST_F(TLineConnectionTest, LineOfFullLengthIsAcceptedOneByteMoreIsNot)
{
    const QByteArray full(kMaxLineLength, 'a');
    std::thread writer([&] { Write(full + "\r\n" + full + "b\r\n"); });
    EXPECT_EQ(m_connection->ReadLine().size(), kMaxLineLength);
    EXPECT_THROW(m_connection->ReadLine(), ELineTooLong);
    EXPECT_FALSE(m_connection->IsOpen());
    writer.join();
}

TEST_F(TLineConnectionTest, EndlessLineWithoutTerminatorIsRefusedEarly)
{
    std::thread writer([&] {
        const QByteArray chunk(4096, 'x');
        for (int i = 0; i < 40; ++i) {
            if (::send(m_peer, chunk.constData(), chunk.size(), MSG_NOSIGNAL) < 0)
                return; // the reader gave up, as it should
        }
    });
    EXPECT_THROW(m_connection->ReadLine(), ELineTooLong);
    m_connection.reset();
    writer.join();
}

TEST_F(TLineConnectionTest, WriteLineAppendsCrLf)
{
    m_connection->WriteLine(QStringLiteral("LOGIN ok noelevate  "));
    char buffer[64] = {};
    const ssize_t n = ::read(m_peer, buffer, sizeof buffer);
    EXPECT_EQ(QByteArray(buffer, n), "LOGIN ok noelevate  \r\n");
}

// A file goes out whole from its offset; a file shorter than announced
// ends the send with false, and a peer that stops reading cannot hold it
// past the deadline.
TEST_F(TLineConnectionTest, SendFileSendsFromTheOffsetAndAStalledReaderTimesOut)
{
    QTemporaryFile file;
    ASSERT_TRUE(file.open());
    QByteArray data(3 * 1024 * 1024 + 77, Qt::Uninitialized);
    for (qsizetype i = 0; i < data.size(); ++i)
        data[i] = static_cast<char>(i * 13 + i / 4099);
    ASSERT_EQ(file.write(data), data.size());
    ASSERT_TRUE(file.flush());

    QByteArray received;
    std::thread reader([&] {
        char buffer[65536];
        while (received.size() < data.size() - 1000) {
            const ssize_t n = ::read(m_peer, buffer, sizeof buffer);
            if (n <= 0)
                return;
            received.append(buffer, n);
        }
    });
    EXPECT_TRUE(m_connection->SendFile(file.handle(), 1000, data.size() - 1000, QDeadlineTimer(10000)));
    reader.join();
    EXPECT_TRUE(received == data.mid(1000));

    std::thread drain([&] {
        char buffer[65536];
        for (qsizetype left = 100; left > 0;) {
            const ssize_t n = ::read(m_peer, buffer, sizeof buffer);
            if (n <= 0)
                return;
            left -= n;
        }
    });
    EXPECT_FALSE(m_connection->SendFile(file.handle(), data.size() - 100, 200, QDeadlineTimer(10000)));
    drain.join();

    // Nobody reads now: the socket's buffer fills and the deadline ends it.
    EXPECT_THROW(m_connection->SendFile(file.handle(), 0, data.size(), QDeadlineTimer(300)), ESocketError);
}

// A peer that has gone breaks the send with an error, never with SIGPIPE,
// which would end the whole process where nobody ignores it (as here).
TEST_F(TLineConnectionTest, SendFileToAPeerThatHasGoneRaises)
{
    QTemporaryFile file;
    ASSERT_TRUE(file.open());
    ASSERT_EQ(file.write(QByteArray(1024 * 1024, 'x')), 1024 * 1024);
    ASSERT_TRUE(file.flush());
    ClosePeer();
    EXPECT_THROW(m_connection->SendFile(file.handle(), 0, 1024 * 1024, QDeadlineTimer(5000)), ESocketError);
}

TEST(CommandTableTest, WordsMatchExactlyAndCaseSensitively)
{
    EXPECT_EQ(FindCommand(QStringLiteral("LOGIN")), TCommandIndex::Login);
    EXPECT_EQ(FindCommand(QStringLiteral("SETSERVER")), TCommandIndex::SetServer);
    EXPECT_EQ(FindCommand(QStringLiteral("DOWNLOAD_OK")), TCommandIndex::DownloadOk);
    EXPECT_FALSE(FindCommand(QStringLiteral("login")));
    EXPECT_FALSE(FindCommand(QStringLiteral("LOGIN2")));
    EXPECT_FALSE(FindCommand(QStringLiteral("DOWNLOAD_")));
}

} // namespace
