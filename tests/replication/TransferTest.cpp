// SPDX-License-Identifier: GPL-3.0-or-later
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>

#include <csignal>
#include <limits>

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QThread>

#include "base/TextFields.h"
#include "catalogue/SyncClient.h"
#include "catalogue/SyncDownload.h"
#include "foundation/MainConfig.h"
#include "platform/ProgramPaths.h"
#include "replication/ReplicationFixture.h"
#include "replication/StagingFile.h"
#include "replication/Transfer.h"
#include "replication/TransferCache.h"
#include "support/Deflated.h"

namespace {

TContentDigest DigestOf(const QByteArray& bytes)
{
    TSha256 hash;
    hash.Add(bytes.constData(), bytes.size());
    return {bytes.size(), hash.Finish()};
}

class TTransferTest : public TReplicationTest
{
protected:
    void TearDown() override
    {
        SetMaxObjectSize(std::numeric_limits<qint32>::max());
        TReplicationTest::TearDown();
    }

    // Fetches the object by name into the staging file of got.bin; gives the
    // result. The size stands for the object line's, which bounds what a
    // sender without a digest may deliver.
    qint32 Fetch(const QString& name, int port = 0, qint32 size = kLineSize)
    {
        // The request names the version: the master's own object, or the
        // companion it makes of a command file, as its object list gives them.
        const TSyncObject stranger(name, QString(), size, 0, Home("Target/"));
        std::unique_ptr<TSyncObject> companion;
        const TSyncObject* known = FindBySourcePath(name);
        for (const TSyncObject* o = FirstObject(); known == nullptr && o != nullptr; o = o->Next())
            if (o->ScriptusFile() == name)
                known = (companion = o->GenerateScriptusCompanion()).get();
        const TSyncObject& wanted = known != nullptr ? *known : stranger;
        std::atomic<qint32> result{-2};
        RunClient(
            [&](TClientBase& client) {
                TStagingFile staging(Home("got.bin"));
                std::optional<TContentDigest> digest;
                result = FetchFromServer(client, wanted, staging, digest);
                m_digest = digest;
            },
            port);
        return result;
    }
    QString Received() const { return Home("~$got.bin"); }
    static constexpr qint32 kLineSize = 16 * 1024 * 1024;

    // The prepared forms of the cache, without the digests beside them.
    static QStringList CacheForms()
    {
        return QDir(TransferCacheFolder())
            .entryList(QDir::Files)
            .filter(QRegularExpression(QStringLiteral("^(?!.*\\.sha256$)")));
    }

    // The header the server sent, as its log shows it.
    QString SentHeader() const
    {
        for (const QString& m : m_ui.Messages(QStringLiteral("Server")))
            if (m.startsWith(QStringLiteral("Antwort \"DOWNLOAD ")))
                return m.mid(9, m.lastIndexOf(QStringLiteral("\" an \"")) - 9);
        return {};
    }
    int IndexOf(const QString& category, const QString& prefix) const
    {
        const QStringList messages = m_ui.Messages(category);
        for (int i = 0; i < messages.size(); ++i)
            if (messages.at(i).startsWith(prefix))
                return i;
        return -1;
    }

    // Half text, half noise: what real objects look like to zlib.
    static QByteArray Content(int size)
    {
        QByteArray data;
        quint32 seed = 12345;
        while (data.size() < size / 2)
            data += "Plenwick verteilt Objekte an alle Clients. ";
        data.truncate(size / 2);
        while (data.size() < size) {
            seed = seed * 1103515245u + 12345u;
            data += static_cast<char>(seed >> 24);
        }
        return data;
    }

    // The same, asking as a client that may come back later.
    TFetchOrLater FetchUnlessBusy(const QString& name)
    {
        const TSyncObject& wanted = *FindBySourcePath(name);
        TFetchOrLater result;
        RunClient([&](TClientBase& client) {
            TStagingFile staging(Home("got.bin"));
            std::optional<TContentDigest> digest;
            result = ::FetchUnlessBusy(client, wanted, staging, digest);
        });
        return result;
    }

    // A scripted answer to DOWNLOAD, then the client's result.
    qint32 FetchScripted(const QByteArray& answer)
    {
        WriteFile(Received(), "stale"); // must not survive a failed transfer
        return Fetch(QStringLiteral("x.bin"), StartScriptedServer(answer));
    }
    std::optional<TContentDigest> m_digest;

    bool TransferFailed() const
    {
        return IndexOf(QStringLiteral("Client"),
                       QStringLiteral("Bei der Objektübertragung ist eine Ausnahme des Typs")) >= 0;
    }
};

TEST_F(TTransferTest, DefaultSettingsSendACompressedFourWordHeaderAndServeLaterClientsFromTheCache)
{
    const QByteArray content = Content(200000);
    MakeObject(QStringLiteral("app.bin"), content);
    ASSERT_EQ(Fetch(QStringLiteral("app.bin")), content.size());
    EXPECT_EQ(ReadFile(Received()), content);
    const QStringList header = SentHeader().split(QLatin1Char(' '));
    ASSERT_EQ(header.size(), 5);
    EXPECT_EQ(header.at(1), QStringLiteral("\"app.bin\""));
    EXPECT_EQ(header.at(3), QStringLiteral("compressed"));
    // The digest word follows the flags, where older clients ignore it.
    EXPECT_EQ(TContentDigest::FromWord(header.at(4)), DigestOf(content));
    EXPECT_EQ(m_digest, DigestOf(content));
    EXPECT_GE(
        IndexOf(QStringLiteral("Server"), QStringLiteral("Objektgröße vor der Kompression 200.000 Bytes, danach ")), 0);
    EXPECT_GE(IndexOf(QStringLiteral("Client"), QStringLiteral("Objektgröße vor der Dekompression ")), 0);
    EXPECT_TRUE(Logged(QStringLiteral("Client"), QStringLiteral("Empfang beendet")));
    EXPECT_TRUE(Logged(QStringLiteral("Server"), QStringLiteral("Objektübertragung erfolgreich beendet")));
    EXPECT_TRUE(Logged(QStringLiteral("Server"),
                       QStringLiteral("Objekt \"") + Home("Objects/app.bin") + QStringLiteral("\" wird übertragen")));

    const QStringList entries = CacheForms();
    ASSERT_EQ(entries.size(), 1);
    // A second client gets the cached form: spoil it and see it arrive.
    const QString entry = TransferCacheFolder() + entries.front();
    const QByteArray other = Deflated("aus dem Cache");
    WriteFile(entry, other);
    EXPECT_EQ(Fetch(QStringLiteral("app.bin")), 13);
    EXPECT_EQ(ReadFile(Received()), QByteArray("aus dem Cache"));

    // Once the object is gone its entry goes too.
    FreeAllObjects();
    MakeObject(QStringLiteral("other.bin"), "x");
    RefreshTransferCache();
    EXPECT_FALSE(QFile::exists(entry));
}

// Random bytes do not shrink: compressing them would only cost both sides
// their time, so they travel as they are, under the same digest.
TEST_F(TTransferTest, AnObjectThatDoesNotShrinkTravelsUncompressed)
{
    QByteArray noise(1024 * 1024, Qt::Uninitialized);
    quint32 seed = 77;
    for (char& c : noise) {
        seed = seed * 1103515245u + 12345u;
        c = static_cast<char>(seed >> 24);
    }
    MakeObject(QStringLiteral("noise.bin"), noise);
    EXPECT_EQ(Fetch(QStringLiteral("noise.bin")), noise.size());
    EXPECT_TRUE(ReadFile(Received()) == noise);
    EXPECT_EQ(SentHeader(),
              QStringLiteral("DOWNLOAD \"noise.bin\" %1 %2").arg(noise.size()).arg(DigestOf(noise).ToWord()));
    EXPECT_TRUE(Logged(QStringLiteral("Server"),
                       QStringLiteral("Objekt lässt sich nicht verkleinern und wird unkomprimiert übertragen")));
}

TEST_F(TTransferTest, EncodingAndCompressionAreNamedInThatOrderAndUndoneInReverse)
{
    MainConfig().Set(QStringLiteral("ServerEncodeData"), true);
    const QByteArray content = Content(70001);
    MakeObject(QStringLiteral("both.bin"), content);
    ASSERT_EQ(Fetch(QStringLiteral("both.bin")), content.size());
    EXPECT_EQ(ReadFile(Received()), content);
    EXPECT_TRUE(SentHeader().endsWith(QStringLiteral(" compressed encoded ") + DigestOf(content).ToWord()));
    const int inflate = IndexOf(QStringLiteral("Client"), QStringLiteral("Objektgröße vor der Dekompression"));
    const int decode =
        IndexOf(QStringLiteral("Client"), QStringLiteral("Objektgröße vor der Entschlüsselung 93.336 Bytes"));
    EXPECT_GE(inflate, 0);
    EXPECT_GT(decode, inflate);
    const int encode =
        IndexOf(QStringLiteral("Server"),
                QStringLiteral("Objektgröße vor der Verschlüsselung 70.001 Bytes, danach 93.336 Bytes (133,3%)"));
    EXPECT_GE(encode, 0);
    EXPECT_GT(IndexOf(QStringLiteral("Server"), QStringLiteral("Objektgröße vor der Kompression 93.336 Bytes")),
              encode);
}

TEST_F(TTransferTest, UntransformedObjectTravelsAsItIsAndAnEmptyOneShowsZeroPercent)
{
    MainConfig().Set(QStringLiteral("ServerCompressData"), false);
    const QByteArray content = Content(20000);
    MakeObject(QStringLiteral("raw.bin"), content);
    ASSERT_EQ(Fetch(QStringLiteral("raw.bin")), content.size());
    EXPECT_EQ(ReadFile(Received()), content);
    EXPECT_EQ(SentHeader(), QStringLiteral("DOWNLOAD \"raw.bin\" 20000 ") + DigestOf(content).ToWord());
    EXPECT_TRUE(CacheForms().isEmpty());

    MainConfig().Set(QStringLiteral("ServerCompressData"), true);
    MakeObject(QStringLiteral("empty.bin"), QByteArray());
    // Nothing to store: the installation makes the empty file itself.
    EXPECT_EQ(Fetch(QStringLiteral("empty.bin")), 0);
    EXPECT_FALSE(QFile::exists(Received()));
    EXPECT_GE(IndexOf(QStringLiteral("Client"),
                      QStringLiteral("Objektgröße vor der Dekompression 8 Bytes, danach 0 Bytes (0,0%)")),
              0);
    EXPECT_GE(IndexOf(QStringLiteral("Server"),
                      QStringLiteral("Objektgröße vor der Kompression 0 Bytes, danach 8 Bytes (0,0%)")),
              0);
}

TEST_F(TTransferTest, UnreadableSourceGivesTheNegativeAnswerAndAnUnknownNameNoAnswer)
{
    MakeObject(QStringLiteral("lost.bin"), "abc");
    QFile::remove(Home("Objects/lost.bin"));
    EXPECT_EQ(Fetch(QStringLiteral("lost.bin")), 0);
    EXPECT_EQ(SentHeader(), QStringLiteral("DOWNLOAD \"lost.bin\" 0"));
    EXPECT_TRUE(
        Logged(QStringLiteral("Server"), QStringLiteral("Objektübertragung fehlgeschlagen, sende Negativantwort")));
    EXPECT_TRUE(Logged(QStringLiteral("Client"), QStringLiteral("Objekt \"lost.bin\" wurde nicht empfangen")));
    EXPECT_FALSE(QFile::exists(Received()));

    EXPECT_EQ(Fetch(QStringLiteral("nobody.bin")), -1);
    EXPECT_TRUE(SentHeader().isEmpty());
}

TEST_F(TTransferTest, ScriptusFileIsServedThroughACompanionMadeOnTheFly)
{
    MakeFile(Home("Scriptus/setup.scriptus"), "Klick auf OK\r\n", SomeDate());
    MakeObject(QStringLiteral("setup.exe"), "MZ")->SetScriptusFile(QStringLiteral("setup.scriptus"));
    EXPECT_EQ(Fetch(QStringLiteral("setup.scriptus")), 14);
    EXPECT_EQ(ReadFile(Received()), QByteArray("Klick auf OK\r\n"));
    const int made = IndexOf(QStringLiteral("Server"), QStringLiteral("Skriptus-Objekt wird generiert"));
    EXPECT_GE(made, 0);
    EXPECT_GT(IndexOf(QStringLiteral("Server"), QStringLiteral("Skriptus-Objekt wird entfernt")), made);
    EXPECT_EQ(ObjectCount(), 1);
}

TEST_F(TTransferTest, InstalledObjectIsServedFromItsTarget)
{
    BecomeClient();
    TSyncObject* object = MakeObject(QStringLiteral("peer.bin"), "quelle");
    QFile::remove(Home("Objects/peer.bin"));
    MakeFile(Home("Target/peer.bin"), "zielxx", SomeDate());
    ASSERT_TRUE(object->IsInstalled());
    EXPECT_EQ(Fetch(QStringLiteral("peer.bin")), 6);
    EXPECT_EQ(ReadFile(Received()), QByteArray("zielxx"));
    EXPECT_TRUE(Logged(QStringLiteral("Server"),
                       QStringLiteral("Objekt \"") + Home("Target/peer.bin") + QStringLiteral("\" wird übertragen")));
}

// A request that names a version gets the object only in that version, and
// one that asks for the digest alone gets the header alone.
TEST_F(TTransferTest, AnotherVersionIsAnsweredAsStaleAndTheDigestAloneWithoutBytes)
{
    const QByteArray content = Content(3000);
    const quint64 id = MakeObject(QStringLiteral("app.bin"), content)->ComputeId();
    std::unique_ptr<TLineConnection> peer = TLineConnection::Connect(QStringLiteral("127.0.0.1"), m_server->Port());
    peer->SetReadTimeout(2000);
    peer->StartTls(TTlsRole::Client, 2000);
    peer->WriteLine(QStringLiteral("LOGIN YW5vbnltb3Vz,Ymx1ZWhlcm9u 01.01.26 peer"));
    ASSERT_TRUE(peer->ReadLine().startsWith(QStringLiteral("LOGIN ok")));
    peer->WriteLine(QStringLiteral("DOWNLOAD \"app.bin\" %1").arg(id + 1));
    EXPECT_EQ(peer->ReadLine(), QStringLiteral("DOWNLOAD \"app.bin\" 0 stale"));
    peer->WriteLine(QStringLiteral("DOWNLOAD \"app.bin\" %1 digest").arg(id));
    EXPECT_EQ(peer->ReadLine(), QStringLiteral("DOWNLOAD \"app.bin\" 0 ") + DigestOf(content).ToWord());
    peer->WriteLine(QStringLiteral("DOWNLOAD \"app.bin\" %1 digest").arg(id + 1));
    EXPECT_EQ(peer->ReadLine(), QStringLiteral("DOWNLOAD \"app.bin\" 0 stale"));
}

// Whatever a sender announces, no more than the object's size is written,
// and an announcement far beyond it is refused before any byte is read.
TEST_F(TTransferTest, NothingBeyondTheExpectedSizeIsWritten)
{
    EXPECT_EQ(Fetch(QStringLiteral("x.bin"), StartScriptedServer("DOWNLOAD \"x.bin\" 10\r\nhallo welt"), 5), -1);
    EXPECT_TRUE(TransferFailed());
    EXPECT_FALSE(QFile::exists(Received()));
    m_scripted.join();
    const QByteArray endless = "DOWNLOAD \"x.bin\" 2147483647\r\n" + QByteArray(64 * 1024, 'x');
    EXPECT_EQ(Fetch(QStringLiteral("x.bin"), StartScriptedServer(endless), 5), -1);
    EXPECT_TRUE(TransferFailed());
    EXPECT_FALSE(QFile::exists(Received()));
}

TEST_F(TTransferTest, TheMasterServesARestrictedObjectOnlyToAComputerOfAnEntitledGroup)
{
    TSyncObject* secret = MakeObject(QStringLiteral("secret.conf"), "geheim");
    secret->SetUseClientGroupRights(true);
    secret->AddClientGroup(QStringLiteral("\\10\\1\\"));
    // Its command file and the objects of its folder have its rights.
    MakeFile(Home("Scriptus/secret.scriptus"), "Klick", SomeDate());
    secret->SetScriptusFile(QStringLiteral("secret.scriptus"));
    MakeObject(QStringLiteral("leaf.conf"), "blatt")->SetParent(secret);
    MakeObject(QStringLiteral("open.txt"), "offen");
    RegisterClient(QStringLiteral("127.0.0.1"), QStringLiteral("localhost")); // in \127\0\0\

    // A computer of another group asks by name, as no honest client would.
    m_ui.Clear();
    const QByteArray login = "LOGIN YW5vbnltb3Vz,Ymx1ZWhlcm9u 08.12.26 pc7\r\n";
    for (const char* name : {"secret.conf", "secret.scriptus", "leaf.conf"}) {
        auto conversation = Converse(m_server->Port(), login + "DOWNLOAD \"" + QByteArray(name) + "\"\r\n", -1, 1500);
        EXPECT_EQ(Await(conversation).replies.size(), 1) << name; // the login's reply alone
    }
    ASSERT_TRUE(RunEventsUntil([&] { return m_server->ActiveSessionCount() == 0; }));
    for (const char* name : {"secret.conf", "leaf.conf"})
        EXPECT_TRUE(
            Logged(QStringLiteral("Client"),
                   QStringLiteral("Objekt \"%1\" darf nicht übertragen werden, da Client-Gruppe nicht berechtigt")
                       .arg(QLatin1String(name))));
    EXPECT_FALSE(Logged(QStringLiteral("Server"), QStringLiteral("Skriptus-Objekt wird generiert")));
    EXPECT_EQ(IndexOf(QStringLiteral("Server"), QStringLiteral("Objekt \"")), -1);
    EXPECT_EQ(Fetch(QStringLiteral("open.txt")), 5);

    // In an entitled group the same computer gets them.
    FindClientByName(QStringLiteral("localhost"))->SetGroupPath(QStringLiteral("\\10\\1\\7\\"));
    EXPECT_EQ(Fetch(QStringLiteral("secret.conf")), 6);
    EXPECT_EQ(ReadFile(Received()), QByteArray("geheim"));
    EXPECT_EQ(Fetch(QStringLiteral("secret.scriptus")), 5);
    EXPECT_EQ(Fetch(QStringLiteral("leaf.conf")), 5);

    // But not to a session that has not logged in: its computer is unknown.
    auto anonymous = Converse(m_server->Port(), "DOWNLOAD \"secret.conf\"\r\n", -1, 1500);
    EXPECT_TRUE(Await(anonymous).replies.isEmpty());
    EXPECT_TRUE(Logged(QStringLiteral("Server"),
                       QStringLiteral("Objekt \"secret.conf\" wird nur nach einer Anmeldung übertragen")));
}

TEST_F(TTransferTest, AProviderServesOnlyObjectsThatEveryComputerMayHave)
{
    BecomeClient();
    // Installed here: a provider serves its targets.
    const auto installed = [&](const QString& name, const QByteArray& content) {
        TSyncObject* object = MakeObject(name, content);
        QFile::remove(Home("Objects/") + name);
        MakeFile(Home("Target/") + name, content, SomeDate());
        return object;
    };
    TSyncObject* secret = installed(QStringLiteral("secret.conf"), "geheim");
    secret->SetUseClientGroupRights(true);
    // Even the asking computer's group: a provider knows no client's group.
    secret->AddClientGroup(QStringLiteral("\\127\\"));
    secret->SetScriptusFile(QStringLiteral("secret.scriptus"));
    // Its command file came as a companion, listed before it.
    TSyncObject* companion = AppendObject(
        std::make_unique<TSyncObject>(QStringLiteral("secret.scriptus"), QString(), 5, SomeDate(), Home("Target/")));
    companion->SetScriptusCompanion(true);
    MakeFile(Home("Target/secret.scriptus"), "Klick", SomeDate());
    installed(QStringLiteral("open.txt"), "offen");

    m_ui.Clear();
    for (const char* name : {"secret.conf", "secret.scriptus"}) {
        auto conversation = Converse(m_server->Port(), "DOWNLOAD \"" + QByteArray(name) + "\"\r\n", -1, 1500);
        EXPECT_TRUE(Await(conversation).replies.isEmpty()) << name;
    }
    ASSERT_TRUE(RunEventsUntil([&] { return m_server->ActiveSessionCount() == 0; }));
    EXPECT_TRUE(Logged(
        QStringLiteral("Server"),
        QStringLiteral("Objekt \"secret.conf\" darf nicht übertragen werden, da Client-Gruppe nicht berechtigt")));
    EXPECT_EQ(Fetch(QStringLiteral("open.txt")), 5);
    EXPECT_EQ(ReadFile(Received()), QByteArray("offen"));
}

TEST_F(TTransferTest, OnlyConfirmationsOfWhatTheMasterOffersTheComputerAreRecordedOncePerComputer)
{
    TSyncObject* app = MakeObject(QStringLiteral("app.bin"), "inhalt");
    MakeFile(Home("Scriptus/app.scriptus"), "Klick", SomeDate());
    app->SetScriptusFile(QStringLiteral("app.scriptus"));
    TSyncObject* secret = MakeObject(QStringLiteral("secret.conf"), "geheim");
    secret->SetUseClientGroupRights(true);
    secret->AddClientGroup(QStringLiteral("\\10\\"));
    // Its source changed since: the master does not offer it.
    TSyncObject* changed = MakeObject(QStringLiteral("changed.txt"), "alt");
    changed->SetModifiedDate(SomeDate() + 1);
    const QString downloads = ProgramFile(QStringLiteral(".downloads"));

    // The honest client confirms its object three times: one record.
    RunClient([&](TClientBase& client) {
        for (int i = 0; i < 3; ++i)
            Confirm(client, *app);
    });
    ASSERT_EQ(DownloadCount(), 1);
    EXPECT_EQ(DownloadAt(0).DownloadComputerName(), QStringLiteral("testhost"));
    EXPECT_EQ(DownloadAt(0).DownloadObjectId(), app->ComputeId());
    const QByteArray recorded = ReadFile(downloads);
    EXPECT_EQ(SplitLines(recorded).size(), 1);

    // A hostile peer forges 300 confirmations, then confirms before logging in.
    QByteArray forged = "LOGIN YW5vbnltb3Vz,Ymx1ZWhlcm9u 08.12.26 testhost\r\n";
    const auto confirm = [](const char* name, quint64 id) {
        return "DOWNLOAD_OK \"" + QByteArray(name) + "\" " + NumberToText(id).toLatin1() + "\r\n";
    };
    const std::unique_ptr<TSyncObject> command = app->GenerateScriptusCompanion();
    ASSERT_TRUE(command);
    for (quint64 i = 0; i < 60; ++i) {
        forged += confirm("nobody.bin", i);
        forged += confirm("app.bin", app->ComputeId() + 1 + i);
        forged += confirm("secret.conf", secret->ComputeId());
        forged += confirm("changed.txt", changed->ComputeId());
        forged += confirm("app.scriptus", command->ComputeId());
    }
    forged += confirm("app.bin", app->ComputeId()); // genuine, but recorded already
    m_ui.Clear();
    auto conversation = Converse(m_server->Port(), forged, 1);
    Await(conversation);
    auto anonymous = Converse(m_server->Port(), confirm("app.bin", app->ComputeId()), -1, 1000);
    Await(anonymous);
    ASSERT_TRUE(RunEventsUntil([&] {
        return m_server->ActiveSessionCount() == 0 &&
               m_ui.Messages(QStringLiteral("Server"))
                       .count(QStringLiteral("Bestätigung des Objekts \"app.bin\" abgelehnt")) == 61;
    }));
    EXPECT_EQ(ReadFile(downloads), recorded);
    EXPECT_EQ(DownloadCount(), 1);
    EXPECT_EQ(
        m_ui.Messages(QStringLiteral("Server")).count(QStringLiteral("Übertragung des Objekts \"app.bin\" bestätigt")),
        1);
    EXPECT_FALSE(Logged(QStringLiteral("Server"), QStringLiteral("Übertragung des Objekts \"nobody.bin\" bestätigt")));
}

TEST_F(TTransferTest, TheCacheFolderAndItsEntriesAreForOwnerAndGroupOnly)
{
    const auto mode = [](const QString& path) {
        struct stat status = {};
        ::stat(QFile::encodeName(path).constData(), &status);
        return status.st_mode & 07777;
    };
    // The folder as an earlier version left it, readable for everyone.
    QDir().mkpath(TransferCacheFolder());
    ::chmod(QFile::encodeName(TransferCacheFolder()).constData(), 0755);
    MakeObject(QStringLiteral("app.bin"), Content(5000));
    const mode_t before = ::umask(022);
    RefreshTransferCache();
    ::umask(before);
    EXPECT_EQ(mode(TransferCacheFolder()), 0770u);
    const QStringList entries = CacheForms();
    ASSERT_EQ(entries.size(), 1);
    EXPECT_EQ(mode(TransferCacheFolder() + entries.front()), 0660u);
    // With every entry made, the next pass still closes the folder.
    ::chmod(QFile::encodeName(TransferCacheFolder()).constData(), 0755);
    RefreshTransferCache();
    EXPECT_EQ(mode(TransferCacheFolder()), 0770u);
}

// A transfer holds no lock that other sessions wait for: a reader that takes
// nothing of a large object delays no one else's login.
TEST_F(TTransferTest, ASlowReaderHoldsOnlyItsOwnSession)
{
    MainConfig().Set(QStringLiteral("ServerCompressData"), false);
    MainConfig().Set(QStringLiteral("MiscSocketTimeout"), 3000);
    // The slow reader is a client of an older version, in clear text.
    MainConfig().Set(QStringLiteral("NetAllowPlainClients"), true);
    MakeObject(QStringLiteral("big.bin"), Content(16 * 1024 * 1024));
    const int slow = ::socket(AF_INET, SOCK_STREAM, 0);
    const int small = 4096;
    ::setsockopt(slow, SOL_SOCKET, SO_RCVBUF, &small, sizeof small);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(static_cast<quint16>(m_server->Port()));
    ASSERT_EQ(::connect(slow, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    const QByteArray request = "LOGIN YW5vbnltb3Vz,Ymx1ZWhlcm9u 08.12.26 langsam\r\nDOWNLOAD \"big.bin\"\r\n";
    ASSERT_EQ(::send(slow, request.constData(), request.size(), 0), request.size());
    ASSERT_TRUE(RunEventsUntil([&] {
        return Logged(QStringLiteral("Server"),
                      QStringLiteral("Objekt \"") + Home("Objects/big.bin") + QStringLiteral("\" wird übertragen"));
    }));

    auto other = Converse(m_server->Port(), "LOGIN YW5vbnltb3Vz,Ymx1ZWhlcm9u 08.12.26 pc7\r\n", 1, 1000);
    const TConversation served = Await(other);
    ASSERT_EQ(served.replies.size(), 1);
    EXPECT_TRUE(served.replies.front().startsWith(QStringLiteral("LOGIN ok")));
    ::close(slow);
}

// Many clients that want one large object at once: the master sends it to
// one at a time and only a few times, and asks the others, when they may
// wait, to come back; an older client and a small object never wait.
TEST_F(TTransferTest, AnAskerThatMayWaitComesBackWhileTheObjectIsUnderWayOrEnoughCopiesAreOut)
{
    const QByteArray content = Content(2 * 1024 * 1024);
    const quint64 id = MakeObject(QStringLiteral("big.bin"), content)->ComputeId();
    MakeObject(QStringLiteral("small.bin"), Content(3000));
    {
        auto underWay = TakeSendSlot(id, content.size(), false);
        ASSERT_TRUE(std::holds_alternative<TSendSlot>(underWay));
        EXPECT_TRUE(SendingNow(id));
        const TFetchOrLater later = FetchUnlessBusy(QStringLiteral("big.bin"));
        ASSERT_TRUE(later.later);
        EXPECT_EQ(later.later->copiesOut, 0);
        EXPECT_TRUE(Logged(QStringLiteral("Client"), QStringLiteral("Antwort \"DOWNLOAD \"big.bin\" 0 later 0\" "
                                                                    "empfangen")));
        EXPECT_FALSE(QFile::exists(Received()));
        EXPECT_EQ(FetchUnlessBusy(QStringLiteral("small.bin")).count, 3000);
        EXPECT_EQ(Fetch(QStringLiteral("big.bin")), content.size());
    }
    EXPECT_FALSE(SendingNow(id));
    // With the older client's, three copies are out.
    EXPECT_EQ(FetchUnlessBusy(QStringLiteral("big.bin")).count, content.size());
    EXPECT_EQ(FetchUnlessBusy(QStringLiteral("big.bin")).count, content.size());
    const TFetchOrLater enough = FetchUnlessBusy(QStringLiteral("big.bin"));
    ASSERT_TRUE(enough.later);
    EXPECT_EQ(enough.later->copiesOut, 3);
    EXPECT_EQ(Fetch(QStringLiteral("big.bin")), content.size());

    // A provider passes on as many copies as are asked for, one at a time.
    BecomeClient();
    EXPECT_EQ(FetchUnlessBusy(QStringLiteral("big.bin")).count, content.size());
}

// A client of an older version, in clear text, gets the bytes straight from
// the file, every one of them, and the session goes on in step.
TEST_F(TTransferTest, AClearTextClientGetsTheFileWholeAndTheSessionStaysInStep)
{
    MainConfig().Set(QStringLiteral("ServerCompressData"), false);
    MainConfig().Set(QStringLiteral("NetAllowPlainClients"), true);
    const QByteArray content = Content(3 * 1024 * 1024 + 17);
    MakeObject(QStringLiteral("plain.bin"), content);
    std::unique_ptr<TLineConnection> peer = TLineConnection::Connect(QStringLiteral("127.0.0.1"), m_server->Port());
    peer->SetReadTimeout(5000);
    peer->WriteLine(QStringLiteral("LOGIN YW5vbnltb3Vz,Ymx1ZWhlcm9u 08.12.26 alt"));
    ASSERT_TRUE(peer->ReadLine().startsWith(QStringLiteral("LOGIN ok")));
    for (int round = 0; round < 2; ++round) {
        peer->WriteLine(QStringLiteral("DOWNLOAD \"plain.bin\""));
        const std::optional<TDownloadHeader> header = ParseDownloadHeader(peer->ReadLine());
        ASSERT_TRUE(header);
        ASSERT_EQ(header->count, content.size());
        EXPECT_TRUE(peer->ReadBytes(header->count) == content);
    }
}

TEST_F(TTransferTest, UnknownHeaderWordIsIgnored)
{
    EXPECT_EQ(FetchScripted("DOWNLOAD \"x.bin\" 5 gzip\r\nhallo"), 5);
    EXPECT_EQ(ReadFile(Received()), QByteArray("hallo"));
}

TEST_F(TTransferTest, BadHeadersAndBadStreamsReceiveNothingAndLeaveNoFile)
{
    const QByteArray bomb = Deflated(QByteArray(2 * 1024 * 1024, '\0'));
    SetMaxObjectSize(1024 * 1024); // the stream inflates to 2 MiB
    const QByteArray packed = Deflated("gut verpackt");
    const std::vector<QByteArray> answers = {
        "DOWNLOAD \"x.bin\" -5\r\n",
        "DOWNLOAD \"x.bin\" 99999999999\r\n",
        "DOWNLOAD \"x.bin\" zehn compressed\r\n",
        "DOWNLOAD \"x.bin\"\r\n",
        "DOWNLOAD \"x.bin\" 100 compressed\r\n" + packed,
        "DOWNLOAD \"x.bin\" 16 compressed\r\nkein zlib-strom!",
        "DOWNLOAD \"x.bin\" " + QByteArray::number(packed.size() + 1) + " compressed\r\n" + packed + "x",
        "DOWNLOAD \"x.bin\" 8 encoded\r\n!!!!!!!!",
        "DOWNLOAD \"x.bin\" 8 encoded\r\nQQ==QUJD",
        "DOWNLOAD \"x.bin\" 6 encoded\r\nQUJDRA",
        "DOWNLOAD \"x.bin\" " + QByteArray::number(bomb.size()) + " compressed\r\n" + bomb,
    };
    for (const QByteArray& answer : answers) {
        SCOPED_TRACE(answer.left(40).toStdString());
        EXPECT_EQ(FetchScripted(answer), -1);
        EXPECT_FALSE(QFile::exists(Received()));
        m_scripted.join();
    }
}

TEST_F(TTransferTest, ReplyForAnotherRequestClosesTheConnectionAndALateOneIsNeverTaken)
{
    MainConfig().Set(QStringLiteral("MiscSocketTimeout"), 100); // replies within 200 ms
    const TSyncObject wanted(QStringLiteral("x.bin"), QString(), kLineSize, 0, Home("Target/"));
    const TSyncObject next(QStringLiteral("y.bin"), QString(), kLineSize, 0, Home("Target/"));
    // A reply for another name closes at once; a late one times out first and
    // is caught when it arrives as the "reply" to the next request.
    const std::vector<std::pair<QByteArray, int>> answers = {
        {"DOWNLOAD \"w.bin\" 5\r\nhallo", 0},
        {"DOWNLOAD \"x.bin\" 5\r\nhallo", 600},
    };
    for (const auto& [answer, delay] : answers) {
        SCOPED_TRACE(delay);
        const int port = StartScriptedServer(answer, delay);
        qint32 first = -2;
        qint32 second = -2;
        bool openAfterFirst = false;
        bool openAfterSecond = true;
        RunClient(
            [&](TClientBase& client) {
                TStagingFile staging(Home("got.bin"));
                std::optional<TContentDigest> digest;
                first = FetchFromServer(client, wanted, staging, digest);
                openAfterFirst = client.Connection().IsOpen();
                QThread::msleep(static_cast<unsigned long>(delay));
                second = FetchFromServer(client, next, staging, digest);
                openAfterSecond = client.Connection().IsOpen();
            },
            port);
        EXPECT_EQ(first, -1);
        EXPECT_EQ(openAfterFirst, delay != 0);
        EXPECT_EQ(second, -1);
        EXPECT_FALSE(openAfterSecond);
        EXPECT_FALSE(QFile::exists(Received()));
        m_scripted.join();
    }
}

} // namespace

namespace {

// Files of this process cannot grow beyond the limit while it lives: a full disk.
class TFileSizeLimit
{
public:
    explicit TFileSizeLimit(rlim_t bytes)
    {
        ::getrlimit(RLIMIT_FSIZE, &m_before);
        m_signal = std::signal(SIGXFSZ, SIG_IGN);
        rlimit limit = m_before;
        limit.rlim_cur = bytes;
        ::setrlimit(RLIMIT_FSIZE, &limit);
    }
    ~TFileSizeLimit()
    {
        ::setrlimit(RLIMIT_FSIZE, &m_before);
        std::signal(SIGXFSZ, m_signal);
    }

private:
    rlimit m_before{};
    void (*m_signal)(int) = nullptr;
};

} // namespace

TEST_F(TTransferTest, AStagingFileThatCannotBeWrittenIsNamedBeforeTheExceptionAndLeftNoFile)
{
    MainConfig().Set(QStringLiteral("ServerCompressData"), false);
    MakeObject(QStringLiteral("big.bin"), Content(256 * 1024));
    qint32 result = 0;
    {
        const TFileSizeLimit limit(64 * 1024);
        result = Fetch(QStringLiteral("big.bin"));
    }
    EXPECT_EQ(result, -1);
    const int named = IndexOf(QStringLiteral("Client"),
                              QStringLiteral("Objekt \"%1\" konnte nicht geschrieben werden").arg(Received()));
    ASSERT_GE(named, 0);
    EXPECT_EQ(named + 1,
              IndexOf(QStringLiteral("Client"), QStringLiteral("Bei der Objektübertragung ist eine Ausnahme")));
    EXPECT_FALSE(QFile::exists(Received()));
}

TEST_F(TTransferTest, AnUnwritableCacheStillServesTheCompressedForm)
{
    // Where the cache folder should be stands a file: no entry can be written.
    WriteFile(Home("Cache"), "kein Ordner");
    const QByteArray content = Content(100000);
    MakeObject(QStringLiteral("app.bin"), content);
    ASSERT_EQ(Fetch(QStringLiteral("app.bin")), content.size());
    EXPECT_EQ(ReadFile(Received()), content);
    const QStringList header = SentHeader().split(QLatin1Char(' '));
    ASSERT_EQ(header.size(), 5);
    EXPECT_EQ(header.at(3), QStringLiteral("compressed"));
    EXPECT_LT(header.at(2).toInt(), content.size());
    EXPECT_EQ(m_digest, DigestOf(content));
    EXPECT_FALSE(
        Logged(QStringLiteral("Server"), QStringLiteral("Objektübertragung fehlgeschlagen, sende Negativantwort")));
}

TEST_F(TTransferTest, TheCacheHoldsOneEntryPerOfferedObjectAndAClientPreparesOnlyWhenAsked)
{
    TSyncObject* kept = MakeObject(QStringLiteral("kept.bin"), Content(5000));
    TSyncObject* removed = MakeObject(QStringLiteral("removed.bin"), Content(6000));
    RefreshTransferCache();
    EXPECT_EQ(CacheForms().size(), 2);
    // A form of another transform and the entry of a removed object go with the next change.
    MainConfig().Set(QStringLiteral("ServerEncodeData"), true);
    RefreshTransferCache();
    EXPECT_EQ(CacheForms().size(), 2);
    RemoveObject(removed);
    RefreshTransferCache();
    QStringList entries = CacheForms();
    ASSERT_EQ(entries.size(), 1);
    EXPECT_TRUE(entries.front().startsWith(NumberToText(kept->ComputeId()) + QLatin1Char('-')));
    EXPECT_TRUE(entries.front().endsWith(QStringLiteral(".b64.z")));

    // A client prepares nothing ahead; it makes the entry of an installed
    // object when a peer first asks for it.
    MainConfig().Set(QStringLiteral("ServerEncodeData"), false);
    QDir(TransferCacheFolder()).removeRecursively();
    BecomeClient();
    const QByteArray content = Content(7000);
    MakeFile(Home("Target/kept.bin"), content, SomeDate());
    kept->SetSize(content.size());
    QFile::remove(Home("Objects/kept.bin"));
    ASSERT_TRUE(kept->IsCurrent());
    RefreshTransferCache();
    EXPECT_TRUE(QDir(TransferCacheFolder()).entryList(QDir::Files).isEmpty());
    ASSERT_EQ(Fetch(QStringLiteral("kept.bin")), content.size());
    EXPECT_EQ(ReadFile(Received()), content);
    EXPECT_EQ(CacheForms().size(), 1);
}
