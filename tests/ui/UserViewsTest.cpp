// SPDX-License-Identifier: GPL-3.0-or-later
#include <QMimeData>

#include "ui/ViewsFixture.h"
#include "ui/views/UserViews.h"

namespace {

class TUserViewsTest : public TViewsTest
{
protected:
    void SetUp() override
    {
        TViewsTest::SetUp();
        WriteFile(ProgramFile(".users"), "1,\"anna\",\"Anna\",\"Berg\",\"x\",\"Technik\",\r\n"
                                         "2,\"bernd\",\"Bernd\",\"Claus\",\"\",\"TECHNIK\",\r\n"
                                         "3,\"cora\",\"Cora\",\"Dorn\",\"\",\"Verkauf\",\r\n");
        LoadUserList();
        m_views.selectedNode = [this] { return m_userNode; };
        m_views.warning = [this](const QString& text) { m_warnings.append(text); };
    }

    QStringList Groups()
    {
        QStringList texts;
        for (int row = 0; row < m_views.Tree().rowCount(); ++row)
            texts.append(m_views.Tree().item(row)->text());
        return texts;
    }

    QStringList UserNames()
    {
        QStringList names;
        for (int row = 0; row < m_views.List().Count(); ++row)
            names.append(m_views.List().Key(row));
        return names;
    }

    TUserViews m_views;
    QString m_userNode;
    QStringList m_warnings;
};

TEST_F(TUserViewsTest, GroupsIgnoreLetterCaseAndANodeListsItsUsers)
{
    m_views.BuildUserTree();
    EXPECT_EQ(Groups(), (QStringList{"Technik", "Verkauf"}));
    m_views.BuildUserList();
    EXPECT_EQ(UserNames(), (QStringList{"anna", "bernd", "cora"}));
    EXPECT_EQ(m_views.List().Row(0).texts, (QStringList{"anna", "Berg, Anna", "Benutzer(in) Berg, Anna"}));
    EXPECT_EQ(m_views.List().Row(0).image, 6);
    EXPECT_EQ(m_views.List().data(m_views.List().index(0, 0), Qt::ToolTipRole).toString(),
              "Berg, Anna\nBeschreibung: Benutzer(in) Berg, Anna");
    m_userNode = NodeKey({"technik"});
    LayoutConfig().Set("MainListViewUsersViewStyle", kStyleDetails);
    m_views.BuildUserList();
    EXPECT_EQ(UserNames(), (QStringList{"anna", "bernd"}));
    EXPECT_EQ(m_views.List().Row(0).image, 20);
}

TEST_F(TUserViewsTest, RenamingAndDroppingChangeGroupsAndSave)
{
    m_views.BuildUserTree();
    m_views.Tree().item(0)->setText(QStringLiteral("Labor"));
    EXPECT_EQ(FindUserByName("anna")->UserGroup(), "Labor");
    EXPECT_EQ(FindUserByName("bernd")->UserGroup(), "Labor");
    EXPECT_TRUE(ReadFile(ProgramFile(".users")).contains("2,\"bernd\",\"Bernd\",\"Claus\",\"\",\"Labor\","));

    for (const QString& refused : {QStringLiteral(" "), QStringLiteral("a\\b"), QStringLiteral("verkauf")})
        m_views.Tree().item(0)->setText(refused);
    EXPECT_EQ(Groups(), (QStringList{"Labor", "Verkauf"}));
    EXPECT_EQ(m_warnings.size(), 3);

    QStandardItem* added = m_views.AddNode();
    EXPECT_EQ(added->text(), "Neuer Knoten");
    m_views.BuildUserTree();
    EXPECT_EQ(Groups(), (QStringList{"Labor", "Verkauf", "Neuer Knoten"})) << "a rebuild keeps the new node";

    m_views.BuildUserList();
    std::unique_ptr<QMimeData> data(m_views.List().mimeData({m_views.List().index(2, 0)}));
    m_views.Tree().dropMimeData(data.get(), Qt::MoveAction, -1, -1, added->index());
    EXPECT_EQ(FindUserByName("cora")->UserGroup(), "Neuer Knoten");
    EXPECT_TRUE(ReadFile(ProgramFile(".users")).contains("\"cora\",\"Cora\",\"Dorn\",\"\",\"Neuer Knoten\","));
    EXPECT_EQ(Groups(), (QStringList{"Labor", "Neuer Knoten"})) << "the emptied group goes";
}

} // namespace
