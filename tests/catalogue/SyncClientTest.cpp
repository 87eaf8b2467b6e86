// SPDX-License-Identifier: GPL-3.0-or-later
#include "base/TextFields.h"
#include "catalogue/CatalogueFixture.h"
#include "platform/ProgramPaths.h"

using ClientListTest = TCatalogueTest;

TEST_F(ClientListTest, ReconnectFromNewAddressKeepsTheGroup)
{
    BecomeClient();
    RegisterClient(QStringLiteral("10.1.2.3"), QStringLiteral("PC-Anna"));
    EXPECT_EQ(m_ui.clientViewRebuilds, 1);
    TSyncClient* client = FindClientByName(QStringLiteral("pc-anna"));
    ASSERT_TRUE(client);
    EXPECT_EQ(client->Name(), QStringLiteral("pc-anna"));
    EXPECT_EQ(client->GroupPath(), QStringLiteral("\\10\\1\\2\\"));
    EXPECT_EQ(client->ClientDescription(), QStringLiteral("Client PC-Anna"));
    client->SetGroupPath(QStringLiteral("\\Büro\\"));
    client->SetLastContact(0);

    RegisterClient(QStringLiteral("10.9.9.9"), QStringLiteral("pc-anna"));
    EXPECT_EQ(ClientCount(), 1);
    EXPECT_EQ(client->Address(), QStringLiteral("10.9.9.9"));
    EXPECT_EQ(client->GroupPath(), QStringLiteral("\\Büro\\"));
    EXPECT_GT(client->LastContact(), 0);
    EXPECT_EQ(m_ui.onlineMarkRefreshes, 1);
    const QStringList network = m_ui.Messages(QStringLiteral("ServerBase"));
    EXPECT_EQ(network, (QStringList{QStringLiteral("Client \"pc-anna\" ist bereits bekannt"),
                                    QStringLiteral("Client \"pc-anna\" besitzt neue IP-Adresse 10.9.9.9")}));
    EXPECT_TRUE(m_ui.HasMessage(QStringLiteral("Objekt \"pc-anna\" wurde aktualisiert")));
    EXPECT_TRUE(ReadFile(ProgramFile(QStringLiteral(".clients"))).contains("10.9.9.9"));
}

TEST_F(ClientListTest, DescriptionsNameTheServerAndThisComputer)
{
    BecomeClient();
    RegisterClient(QStringLiteral("10.0.0.1"), QStringLiteral("MASTER01"));
    RegisterClient(QStringLiteral("127.0.0.1"), QStringLiteral("TestHost"));
    EXPECT_EQ(FindClientByName(QStringLiteral("master01"))->ClientDescription(), QStringLiteral("Mein Master-Server"));
    EXPECT_EQ(FindClientByName(QStringLiteral("testhost"))->ClientDescription(), QStringLiteral("Loopback"));
    EXPECT_EQ(FindClientByNameExact(QStringLiteral("TestHost")), nullptr);
    EXPECT_NE(FindClientByNameExact(QStringLiteral("testhost")), nullptr);
}

TEST_F(ClientListTest, LineRoundTripAndEmptyGroup)
{
    TSyncClient client(QStringLiteral("192.168.7.20"), QStringLiteral("Rechner, Keller"), SomeDate(),
                       QStringLiteral("keller"));
    client.SetLocalComputerName(QStringLiteral("KELLER-PC"));
    const QString line = client.ToLine();
    EXPECT_EQ(line, QStringLiteral("keller,\"KELLER-PC\",192.168.7.20,03.04.25 10:20:30,\"Rechner, Keller\","
                                   "\"\\192\\168\\7\\\""));
    const auto back = TSyncClient::FromLine(line);
    ASSERT_TRUE(back);
    EXPECT_EQ(back->ToLine(), line);

    const auto ungrouped = TSyncClient::FromLine(QStringLiteral("x,\"\",10.0.0.1,03.04.25 10:20:30,\"d\",\"\""));
    ASSERT_TRUE(ungrouped);
    EXPECT_EQ(ungrouped->GroupPath(), QString());
    EXPECT_EQ(ungrouped->LocalComputerName(), QString());
    EXPECT_EQ(TSyncClient::DefaultGroupPath(QStringLiteral("10..1")), QStringLiteral("\\10\\1\\"));
}

TEST_F(ClientListTest, LoadSkipsBadLinesAndKeepsTheOriginal)
{
    const QByteArray original = "a,\"\",10.0.0.1,03.04.25 10:20:30,\"d\",\"\\g\\\"\r\n"
                                "zu,wenig\r\n"
                                "b,\"\",10.0.0.2,kein datum,\"d\",\"\\g\\\"\r\n"
                                "c,\"C\",10.0.0.3,03.04.25 10:20:30,\"d\",\"\\g\\\"\r\n";
    const QString path = ProgramFile(QStringLiteral(".clients"));
    WriteFile(path, original);
    LoadClientList();
    EXPECT_EQ(ClientCount(), 2);
    EXPECT_EQ(m_ui.messageBoxes, QStringList{QStringLiteral("Die Client-Liste ist inkompatibel.\r\nZeile:zu,wenig")});
    SaveClientList();
    EXPECT_EQ(ReadFile(path + ".bad"), original);
    EXPECT_EQ(SplitLines(ReadFile(path)).size(), 2);
}

TEST_F(ClientListTest, RenamedGroupCarriesClientsAndRightsButNotSiblings)
{
    RegisterClient(QStringLiteral("10.0.0.1"), QStringLiteral("a"));
    RegisterClient(QStringLiteral("10.0.0.2"), QStringLiteral("b"));
    RegisterClient(QStringLiteral("10.0.0.3"), QStringLiteral("c"));
    FindClientByName(QStringLiteral("a"))->SetGroupPath(QStringLiteral("\\Firma\\Büro\\"));
    FindClientByName(QStringLiteral("b"))->SetGroupPath(QStringLiteral("\\Firma\\Büro\\Etage\\"));
    FindClientByName(QStringLiteral("c"))->SetGroupPath(QStringLiteral("\\Firma\\Büro2\\"));
    TSyncObject* object = AppendObject(std::make_unique<TSyncObject>(QStringLiteral("x.exe"), QStringLiteral("?"), 1,
                                                                     SomeDate(), QStringLiteral("/t/")));
    object->AddClientGroup(QStringLiteral("\\firma\\büro\\etage\\"));
    object->AddClientGroup(QStringLiteral("\\Firma\\Büro2\\"));

    ReassignGroupPath(QStringLiteral("\\Firma\\Büro\\"), QStringLiteral("\\Firma\\Verwaltung\\"));
    EXPECT_EQ(FindClientByName(QStringLiteral("a"))->GroupPath(), QStringLiteral("\\Firma\\Verwaltung\\"));
    EXPECT_EQ(FindClientByName(QStringLiteral("b"))->GroupPath(), QStringLiteral("\\Firma\\Verwaltung\\Etage\\"));
    EXPECT_EQ(FindClientByName(QStringLiteral("c"))->GroupPath(), QStringLiteral("\\Firma\\Büro2\\"));
    EXPECT_EQ(object->ClientGroups(),
              (QStringList{QStringLiteral("\\Firma\\Verwaltung\\etage\\"), QStringLiteral("\\Firma\\Büro2\\")}));
    EXPECT_TRUE(ReadFile(ProgramFile(QStringLiteral(".objects"))).contains("Verwaltung"));
    EXPECT_TRUE(ReadFile(ProgramFile(QStringLiteral(".clients"))).contains("Verwaltung"));
}

TEST_F(ClientListTest, MoveAndDeleteSaveAndRebuild)
{
    RegisterClient(QStringLiteral("10.0.0.1"), QStringLiteral("a"));
    RegisterClient(QStringLiteral("10.0.0.2"), QStringLiteral("b"));
    m_ui.Clear();
    MoveClientsToGroup({FindClientByName(QStringLiteral("a"))}, QStringLiteral("\\Neu\\"));
    EXPECT_EQ(FindClientByName(QStringLiteral("a"))->GroupPath(), QStringLiteral("\\Neu\\"));
    EXPECT_EQ(m_ui.clientViewRebuilds, 1);
    DeleteClient(FindClientByName(QStringLiteral("b")));
    EXPECT_EQ(ClientCount(), 1);
    EXPECT_EQ(m_ui.clientViewRebuilds, 2);
    FreeAllClients();
    LoadClientList();
    ASSERT_EQ(ClientCount(), 1);
    EXPECT_EQ(FirstClient()->GroupPath(), QStringLiteral("\\Neu\\"));
}

TEST_F(ClientListTest, OnlyStoredChangesAreWritten)
{
    const QString path = ProgramFile(QStringLiteral(".clients"));
    RegisterClient(QStringLiteral("10.0.0.1"), QStringLiteral("pc-anna"));
    TSyncClient* client = FindClientByName(QStringLiteral("pc-anna"));
    ASSERT_TRUE(client);

    // A reconnect within the same second from the same address stores nothing new;
    // one across a second boundary does.
    bool sameSecond = false;
    for (int attempt = 0; attempt < 5 && !sameSecond; ++attempt) {
        const QString before = client->LastContactText();
        QFile::remove(path);
        RegisterClient(QStringLiteral("10.0.0.1"), QStringLiteral("pc-anna"));
        sameSecond = client->LastContactText() == before;
        EXPECT_EQ(QFile::exists(path), !sameSecond);
    }
    EXPECT_TRUE(sameSecond);
    QFile::remove(path);
    RegisterClient(QStringLiteral("10.0.0.9"), QStringLiteral("pc-anna"));
    EXPECT_TRUE(ReadFile(path).contains("10.0.0.9"));

    QFile::remove(path);
    RecordLocalComputerName(*client, QStringLiteral("PC-ANNA"));
    EXPECT_TRUE(ReadFile(path).contains("\"PC-ANNA\""));
    QFile::remove(path);
    RecordLocalComputerName(*client, QStringLiteral("PC-ANNA"));
    EXPECT_FALSE(QFile::exists(path));
    RecordLocalComputerName(*client, QStringLiteral("pc-anna")); // stored as reported
    EXPECT_TRUE(ReadFile(path).contains("\"pc-anna\""));
}

TEST_F(ClientListTest, FailedSaveIsMadeUpByTheNextUnchangedLogin)
{
    const QString path = ProgramFile(QStringLiteral(".clients"));
    RegisterClient(QStringLiteral("10.0.0.1"), QStringLiteral("pc-anna"));
    TSyncClient* client = FindClientByName(QStringLiteral("pc-anna"));
    QFile::remove(path);
    ASSERT_TRUE(QDir().mkdir(path)); // a folder in the file's place: the write fails
    EXPECT_THROW(RecordLocalComputerName(*client, QStringLiteral("PC-ANNA")), EInOutError);
    ASSERT_TRUE(QDir().rmdir(path));
    RecordLocalComputerName(*client, QStringLiteral("PC-ANNA"));
    EXPECT_TRUE(ReadFile(path).contains("\"PC-ANNA\""));
}
