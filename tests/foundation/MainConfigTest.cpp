// SPDX-License-Identifier: GPL-3.0-or-later
#include <atomic>

#include <gtest/gtest.h>

#include "foundation/MainConfig.h"
#include "foundation/ObjectUpdateTimer.h"
#include "platform/ProgramPaths.h"
#include "support/TestHome.h"

class MainConfigTest : public TTestHome
{
};

TEST_F(MainConfigTest, FreshComputerUsesDefaultsAndIsMasterServer)
{
    EXPECT_FALSE(ServerConfigured());
    EXPECT_TRUE(IsMasterServer());
    EXPECT_EQ(MainConfig().GetString("NetServerName"), "testhost");
    EXPECT_EQ(MainConfig().GetInteger("NetServerPort"), 42424);
    EXPECT_EQ(MainConfig().GetString("ServerObjectDir"), Home("Objects/"));
    EXPECT_EQ(MainConfig().GetString("ClientPassword"), "blueheron");
    EXPECT_TRUE(MainConfig().GetBoolean("miscshowvisiblecontrolsonly"));
    EXPECT_EQ(LayoutConfig().GetInteger("MainActiveTab"), 0);
    EXPECT_EQ(MainCaption(), "Plenwick - [testhost:42424]");
}

TEST_F(MainConfigTest, ConfiguredServerNameMakesAClient)
{
    WriteFile(ProgramFile(".config"), "[Options]\r\nNetServerName=MASTER01\r\nNetServerPort=4242\r\n");
    Restart();
    EXPECT_TRUE(ServerConfigured());
    EXPECT_FALSE(IsMasterServer());
    EXPECT_EQ(MainCaption(), "Plenwick - [MASTER01:4242]");
}

TEST_F(MainConfigTest, PasswordIsStoredEncodedAndReadPlain)
{
    MainConfig().Set("ClientPassword", "Geheimnis");
    MainConfig().Set("ServerAdminAccountPassword", "root-pw");
    MainConfig().SaveAll();
    const QByteArray file = ReadFile(ProgramFile(".config"));
    EXPECT_TRUE(file.contains("ClientPassword=R2VoZWltbmlz\r\n"));
    EXPECT_TRUE(file.contains("ServerAdminAccountPassword=cm9vdC1wdw==\r\n"));
    Restart();
    EXPECT_EQ(MainConfig().GetString("ClientPassword"), "Geheimnis");
    EXPECT_EQ(MainConfig().GetString("ServerAdminAccountPassword"), "root-pw");
}

TEST_F(MainConfigTest, FiltersActOnTheWindowAndTimer)
{
    MainConfig().SaveAll();
    MainConfig().Set("NetServerName", "testhost"); // unchanged, yet always stored
    EXPECT_TRUE(MainConfig().IsModified("NetServerName"));
    MainConfig().Set("NetServerPort", 5000);
    EXPECT_EQ(m_ui.caption, "Plenwick - [testhost:5000]");
    MainConfig().Set("NetServerName", "other");
    EXPECT_EQ(m_ui.caption, "Plenwick - [other:5000]");

    MainConfig().Set("MiscShowProtocol", true);
    EXPECT_TRUE(m_ui.protocolPageVisible);
    const int before = m_ui.objectViewRebuilds;
    MainConfig().Set("MiscShowNonPersistent", true);
    EXPECT_EQ(m_ui.objectViewRebuilds, before + 1);

    MainConfig().Set("ClientUpdateIntervalInMillisecs", 1234);
    MainConfig().Set("ClientAutoInstall", true);
    EXPECT_TRUE(TObjectUpdateTimer::IsEnabled());
    EXPECT_EQ(TObjectUpdateTimer::Interval(), 1234);
    MainConfig().Set("ClientAutoInstall", false);
    EXPECT_FALSE(TObjectUpdateTimer::IsEnabled());
}

// OK in the options dialog writes every value: only a changed one may act.
TEST_F(MainConfigTest, AWriteThatChangesNothingActsOnNothing)
{
    m_ui.caption = QStringLiteral("-");
    MainConfig().Set("NetServerName", "testhost");
    MainConfig().Set("NetServerPort", 42424);
    EXPECT_EQ(m_ui.caption, "-");
    MainConfig().Set("MiscShowProtocol", false);
    MainConfig().Set("MiscShowNonPersistent", false);
    EXPECT_TRUE(m_ui.windowCalls.filter("SetProtocolPageVisible").isEmpty());
    EXPECT_EQ(m_ui.objectViewRebuilds, 0);

    // A monitor instance stops the timer while the option stays on.
    MainConfig().Set("ClientAutoInstall", true);
    ASSERT_TRUE(TObjectUpdateTimer::IsEnabled());
    TObjectUpdateTimer::SetEnabled(false);
    MainConfig().Set("ClientAutoInstall", true);
    EXPECT_FALSE(TObjectUpdateTimer::IsEnabled());
}

TEST_F(MainConfigTest, ReadingTheIntervalAgainAndAgainDoesNotKeepTheTimerFromFiring)
{
    std::atomic<int> ticks{0};
    TObjectUpdateTimer::SetHandler([&ticks] { ++ticks; });
    MainConfig().Set("ClientUpdateIntervalInMillisecs", 300);
    MainConfig().Set("ClientAutoInstall", true);
    // A window reading the option on every view build.
    for (int i = 0; i < 12 && ticks == 0; ++i) {
        EXPECT_EQ(MainConfig().GetInteger("ClientUpdateIntervalInMillisecs"), 300);
        RunEventsFor(100);
    }
    MainConfig().Set("ClientAutoInstall", false);
    TObjectUpdateTimer::SetHandler({});
    EXPECT_GE(ticks, 1);
}

TEST_F(MainConfigTest, LayoutLivesInTheUserHive)
{
    LayoutConfig().Set("MainWidth", 1111);
    LayoutConfig().Set("MainListViewObjects", "100,60,60,55");
    LayoutConfig().SaveAll();
    Restart();
    EXPECT_EQ(LayoutConfig().GetInteger("MainWidth"), 1111);
    EXPECT_EQ(LayoutConfig().GetString("MainListViewObjects"), "100,60,60,55");
}
