// SPDX-License-Identifier: GPL-3.0-or-later
#include "base/TextFields.h"
#include "catalogue/CatalogueFixture.h"
#include "platform/ProgramPaths.h"

using UserListTest = TCatalogueTest;

TEST_F(UserListTest, LinesEndWithACommaAndReadBack)
{
    const QString path = ProgramFile(QStringLiteral(".users"));
    WriteFile(path, "42,\"amueller\",\"Anna\",\"Müller\",\"x\",\"Vertrieb\",\r\n"
                    "7,\"bkunz\",\"Bernd\",\"Kunz\",\"\",\"vertrieb\",\r\n"
                    "x1,\"bad\",\"B\",\"K\",\"\",\"g\",\r\n");
    LoadUserList();
    TSyncUser* anna = FindUserByName(QStringLiteral("AMUELLER"));
    ASSERT_TRUE(anna);
    EXPECT_EQ(anna->UserId(), 42u);
    EXPECT_EQ(anna->UserDescription(), QStringLiteral("Benutzer(in) Müller, Anna"));
    EXPECT_EQ(anna->ToLine(), QStringLiteral("42,\"amueller\",\"Anna\",\"Müller\",\"x\",\"Vertrieb\","));
    EXPECT_TRUE(m_ui.HasMessage(QStringLiteral("Benutzer \"amueller\" erstellt")));
    EXPECT_EQ(FindUserByName(QStringLiteral("bad")), nullptr);

    SetUserGroup(anna, QStringLiteral("Technik"));
    EXPECT_TRUE(QFile::exists(path + ".bad"));
    FreeAllUsers();
    LoadUserList();
    EXPECT_EQ(FindUserByName(QStringLiteral("amueller"))->UserGroup(), QStringLiteral("Technik"));
    EXPECT_EQ(FindUserByName(QStringLiteral("bkunz"))->UserExtra(), QString());
    EXPECT_TRUE(m_ui.HasMessage(QStringLiteral("SyncUser-Liste wurde geschrieben")));
}
