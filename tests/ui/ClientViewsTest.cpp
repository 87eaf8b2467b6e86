// SPDX-License-Identifier: GPL-3.0-or-later
#include <atomic>
#include <thread>

#include <QCoreApplication>
#include <QMimeData>

#include "base/DateTime.h"
#include "ui/ViewsFixture.h"
#include "ui/views/ClientViews.h"

namespace {

class TClientViewsTest : public TViewsTest
{
protected:
    void SetUp() override
    {
        TViewsTest::SetUp();
        m_views.selectedNode = [this] { return m_clientNode; };
        m_views.status = [this](const QString& text) { m_clientStatus = text; };
        m_views.information = [this](const QString& text) { m_information.append(text); };
        m_views.warning = [this](const QString& text) { m_warnings.append(text); };
        m_views.alertSound = [this] { ++m_sounds; };
    }

    TSyncClient* AddClient(const QString& address, const QString& name, const QString& groupPath)
    {
        RegisterClient(address, name);
        TSyncClient* client = FindClientByName(name);
        client->SetGroupPath(groupPath);
        return client;
    }

    QStringList ClientTreeLines()
    {
        QStringList lines;
        std::function<void(QStandardItem*, int)> walk = [&](QStandardItem* item, int level) {
            for (int row = 0; row < item->rowCount(); ++row) {
                lines.append(QString(level * 2, QLatin1Char(' ')) + item->child(row)->text());
                walk(item->child(row), level + 1);
            }
        };
        walk(m_views.Tree().invisibleRootItem(), 0);
        return lines;
    }

    QStandardItem* Group(const QString& path) { return m_views.Tree().FindNode(NodeKey(path.split('/'))); }

    QStringList ClientNames()
    {
        QStringList names;
        for (int row = 0; row < m_views.List().Count(); ++row)
            names.append(m_views.List().Key(row));
        return names;
    }

    TClientViews m_views;
    QString m_clientNode;
    QString m_clientStatus;
    QStringList m_warnings;
    int m_sounds = 0;
};

TEST_F(TClientViewsTest, TreeFollowsGroupPathsAndASingleBackslashTakesTheAddress)
{
    AddClient("192.0.2.5", "alpha", "\\Büro\\Nord\\");
    AddClient("192.0.2.6", "beta", "\\büro\\Süd\\");
    AddClient("10.1.2.3", "gamma", "\\");
    AddClient("10.1.9.9", "delta", "");
    m_views.BuildClientTree();
    EXPECT_EQ(ClientTreeLines(), (QStringList{"Büro", "  Nord", "  Süd", "10", "  1", "    2"}));

    m_views.BuildClientList();
    EXPECT_EQ(ClientNames(), (QStringList{"alpha", "beta", "gamma", "delta"}));
    EXPECT_EQ(m_clientStatus, "4 Client(s)");
    m_clientNode = NodeKey({"10", "1", "2"});
    m_views.BuildClientList();
    EXPECT_EQ(ClientNames(), QStringList{"gamma"});
    m_clientNode = NodeKey({"Büro"});
    m_views.BuildClientList();
    EXPECT_TRUE(ClientNames().isEmpty()) << "a group node shows only the clients directly in it";
}

TEST_F(TClientViewsTest, RenamingAGroupRewritesRightsAndPathsBelowItAndSavesBoth)
{
    TSyncClient* inGroup = AddClient("192.0.2.5", "alpha", "\\Büro\\Nord\\");
    TSyncClient* sibling = AddClient("192.0.2.6", "beta", "\\Büro\\Nordost\\");
    TSyncObject* object = Add(QStringLiteral("tool.exe"));
    object->SetUseClientGroupRights(true);
    object->AddClientGroup(QStringLiteral("\\BÜRO\\nord\\Lager\\"));
    object->AddClientGroup(QStringLiteral("\\Büro\\Nordost\\"));
    SaveObjectList();
    SaveClientList();
    m_views.BuildClientTree();

    Group("Büro/Nord")->setText(QStringLiteral("Mitte"));
    EXPECT_EQ(inGroup->GroupPath(), "\\Büro\\Mitte\\");
    EXPECT_EQ(sibling->GroupPath(), "\\Büro\\Nordost\\") << "a sibling that merely begins alike stays";
    EXPECT_EQ(object->ClientGroups(), (QStringList{"\\Büro\\Mitte\\Lager\\", "\\Büro\\Nordost\\"}));
    EXPECT_TRUE(ReadFile(ProgramFile(".clients")).contains("\"\\Büro\\Mitte\\\""));
    EXPECT_TRUE(ReadFile(ProgramFile(".objects")).contains("\\Büro\\Mitte\\Lager\\"));

    for (const QString& refused : {QString(), QStringLiteral("a\\b"), QStringLiteral("NORDOST")}) {
        Group("Büro/Mitte")->setText(refused);
        EXPECT_NE(Group("Büro/Mitte"), nullptr) << qPrintable(refused);
    }
    EXPECT_EQ(m_warnings.size(), 3);
    EXPECT_EQ(inGroup->GroupPath(), "\\Büro\\Mitte\\");
}

TEST_F(TClientViewsTest, DroppingClientRowsMovesThemIntoTheGroupAndSaves)
{
    AddClient("192.0.2.5", "alpha", "\\A\\");
    AddClient("192.0.2.6", "beta", "\\A\\");
    AddClient("192.0.2.7", "gamma", "\\B\\C\\");
    m_views.BuildClientTree();
    m_views.BuildClientList();

    QModelIndexList rows{m_views.List().index(0, 0), m_views.List().index(1, 2)};
    std::unique_ptr<QMimeData> data(m_views.List().mimeData(rows));
    ASSERT_TRUE(data);
    QStandardItem* target = Group("B/C");
    ASSERT_TRUE(m_views.Tree().canDropMimeData(data.get(), Qt::MoveAction, -1, -1, target->index()));
    m_views.Tree().dropMimeData(data.get(), Qt::MoveAction, -1, -1, target->index());

    EXPECT_EQ(FindClientByName("alpha")->GroupPath(), "\\B\\C\\");
    EXPECT_EQ(FindClientByName("beta")->GroupPath(), "\\B\\C\\");
    EXPECT_TRUE(ReadFile(ProgramFile(".clients")).contains("beta,\"\",192.0.2.6"));
    EXPECT_EQ(ReadFile(ProgramFile(".clients")).count("\"\\B\\C\\\""), 3);
}

TEST_F(TClientViewsTest, RebuildKeepsAHandMadeNodeUntilItHoldsClients)
{
    AddClient("192.0.2.5", "alpha", "\\A\\");
    m_views.BuildClientTree();
    QStandardItem* added = m_views.AddNode(Group("A"));
    EXPECT_EQ(added->text(), "Neuer Knoten");
    added->setText(QStringLiteral("Lager"));
    RegisterClient("192.0.2.9", "zeta"); // a client registering meanwhile
    m_views.BuildClientTree();
    ASSERT_NE(Group("A/Lager"), nullptr);
    EXPECT_EQ(Group("A/Lager"), added) << "the same node, so its editor and expansion stay";
    EXPECT_NE(Group("192/0/2"), nullptr);
}

TEST_F(TClientViewsTest, TreeShowsOneStateOfTheListWhileSessionsChangeIt)
{
    for (int i = 0; i < 200; ++i)
        AddClient(QStringLiteral("192.0.2.%1").arg(i), QStringLiteral("pc%1").arg(i), "\\A\\");
    // A session's change of many clients under one hold of the list, and
    // new computers registering, while the main thread rebuilds the tree.
    std::atomic<bool> done{false};
    std::thread sessions([&] {
        for (int round = 0; round < 60; ++round) {
            ReassignGroupPath(QStringLiteral("\\A\\"), QStringLiteral("\\B\\"));
            RegisterClient(QStringLiteral("10.0.%1.1").arg(round), QStringLiteral("new%1").arg(round));
            ReassignGroupPath(QStringLiteral("\\B\\"), QStringLiteral("\\A\\"));
        }
        done = true;
    });
    int builds = 0;
    int mixed = 0;
    while (!done) {
        m_views.BuildClientTree();
        ++builds;
        if (Group("A") != nullptr && Group("B") != nullptr)
            ++mixed;
        QCoreApplication::processEvents();
    }
    sessions.join();
    EXPECT_EQ(mixed, 0) << "of " << builds << " builds";
    m_views.BuildClientTree();
    EXPECT_NE(Group("10/0/59"), nullptr);
    EXPECT_EQ(Group("B"), nullptr);
}

TEST_F(TClientViewsTest, ObjectFilterAndOnlineMarksWithOneSoundPerRefresh)
{
    TSyncObject* object = Add(QStringLiteral("tool.exe"));
    TSyncClient* quiet = AddClient("192.0.2.5", "alpha", "\\A\\");
    TSyncClient* quieter = AddClient("192.0.2.6", "beta", "\\A\\");
    AddClient("192.0.2.7", "gamma", "\\A\\");
    SetClientListObjectFilter(object);
    m_views.BuildClientList();
    EXPECT_EQ(m_information, QStringList{NoDownloadsText()});
    EXPECT_EQ(m_views.List().Count(), 0);

    quiet->SetLocalComputerName(QStringLiteral("alpha"));
    RecordDownload(QStringLiteral("192.0.2.5"), object->ComputeId(), QStringLiteral("ALPHA"));
    m_views.BuildClientList();
    EXPECT_EQ(ClientNames(), QStringList{"alpha"});
    EXPECT_EQ(m_clientStatus,
              "Alle Clients mit aktuellem Quellobjekt \"tool.exe\" werden gezeigt (1 von insgesamt 3 Clients)");
    SetClientListFilterNegated(true);
    m_views.BuildClientList();
    EXPECT_EQ(ClientNames(), (QStringList{"beta", "gamma"}));

    SetClientListObjectFilter(nullptr);
    m_views.BuildClientList();
    ASSERT_EQ(m_views.List().Count(), 3);
    EXPECT_EQ(m_views.List().Row(0).image, 0) << "online in the symbols style";
    EXPECT_EQ(m_sounds, 0);

    const qint64 interval = MainConfig().GetInteger("ClientUpdateIntervalInMillisecs") + 60000;
    const TDateTime day = 86400000.0;
    quiet->SetLastContact(DateTimeNow() - 1.5 * interval / day);
    quieter->SetLastContact(DateTimeNow() - 1.5 * interval / day);
    m_views.RefreshClientOnlineMarks();
    EXPECT_EQ(m_views.List().Row(0).image, 4);
    EXPECT_EQ(m_views.List().Row(1).image, 4);
    EXPECT_EQ(m_views.List().Row(2).image, 0);
    EXPECT_EQ(m_sounds, 1) << "two quiet clients, one sound";

    m_views.RefreshClientOnlineMarks();
    EXPECT_EQ(m_views.List().Row(0).image, 1) << "an alert turns into offline at the next refresh";
    MainConfig().Set("MiscActivateSounds", false);
    quiet->SetLastContact(DateTimeNow());
    m_views.RefreshClientOnlineMarks();
    quiet->SetLastContact(DateTimeNow() - 1.5 * interval / day);
    m_views.RefreshClientOnlineMarks();
    EXPECT_EQ(m_views.List().Row(0).image, 4);
    EXPECT_EQ(m_sounds, 1) << "sounds switched off";
}

} // namespace
