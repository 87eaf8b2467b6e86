// SPDX-License-Identifier: GPL-3.0-or-later
#include <QCloseEvent>

#include "UiFixture.h"
#include "foundation/MainConfig.h"
#include "foundation/Quit.h"
#include "foundation/UiAdapter.h"
#include "ui/dialogs/QuitWindow.h"
#include "ui/main/GuiUi.h"
#include "ui/main/Main.h"
#include "ui/main/MainLayout.h"
#include "ui/pages/PageObjects.h"
#include "ui/pages/PageProtocol.h"
#include "ui/pages/TreeSplitter.h"

namespace {

// A kind of thread that runs until the test lets it end.
class TBusy : public TShutdownParticipant
{
public:
    bool IsRunning() override { return running; }
    void RequestStop() override { ++stopRequests; }
    bool running = true;
    int stopRequests = 0;
};

class ShutdownTest : public TUiTest
{
protected:
    void SetUp() override
    {
        TUiTest::SetUp();
        m_gui = std::make_unique<TGuiUi>();
        TUiAdapter::Install(m_gui.get());
        MainConfig().Set(QStringLiteral("MiscShowProtocol"), true);
        Form().show();
    }
    void TearDown() override
    {
        UnregisterShutdownParticipant(&m_busy);
        TUiAdapter::Install(nullptr);
        m_gui.reset();
        TUiTest::TearDown();
    }
    TFormMain& Form() { return m_gui->Form(); }
    QByteArray Protocol()
    {
        Form().PageProtocol()->FlushNow();
        return Form().PageProtocol()->ExportText();
    }

    std::unique_ptr<TGuiUi> m_gui;
    TBusy m_busy;
};

TEST_F(ShutdownTest, ClosingWithNothingRunningEndsAtOnceAndSavesTheLayout)
{
    Form().PageObjects()->Splitter()->SetLeftWidth(234);
    Form().close();
    const QByteArray protocol = Protocol();
    EXPECT_TRUE(protocol.contains("\"Main\" \"Anwendung soll terminieren\""));
    EXPECT_TRUE(protocol.contains("\"Quit\" \"Persistente Einstellungen wurden gespeichert\""));
    EXPECT_TRUE(protocol.contains("\"Quit\" \"Anwendung ist bereit zum Terminieren\""));
    EXPECT_EQ(LayoutConfig().GetInteger(QStringLiteral("MainSplitterObjects")), 234);
    Restart();
    EXPECT_EQ(LayoutConfig().GetInteger(QStringLiteral("MainSplitterObjects")), 234);
}

TEST_F(ShutdownTest, WaitingWindowClosesByItselfOnceTheThreadsHaveEnded)
{
    RegisterShutdownParticipant(TShutdownStep::ClientThreads, &m_busy);
    Form().close();
    EXPECT_TRUE(m_gui->QuitForm().isVisible());
    EXPECT_TRUE(ShutdownWaiting());
    EXPECT_GE(m_busy.stopRequests, 1);
    EXPECT_TRUE(Protocol().contains("\"Quit\" \"Client-Thread noch nicht terminiert...\""));
    m_busy.running = false;
    ASSERT_TRUE(RunEventsUntil([] { return !ShutdownWaiting(); }, 5000));
    EXPECT_FALSE(m_gui->QuitForm().isVisible());
}

TEST_F(ShutdownTest, LayoutComesBackAsSaved)
{
    LayoutConfig().Set(QStringLiteral("MainListViewProtocol"), QStringLiteral("300,120,400"));
    LayoutConfig().Set(QStringLiteral("MainSplitterClients"), 310);
    LayoutConfig().Set(QStringLiteral("MainWidth"), 700);
    LayoutConfig().Set(QStringLiteral("MainHeight"), 500);
    m_gui->RestoreLayout();
    m_gui->SaveLayout();
    EXPECT_TRUE(
        LayoutConfig().GetString(QStringLiteral("MainListViewProtocol")).startsWith(QStringLiteral("300,120,")));
    EXPECT_EQ(LayoutConfig().GetInteger(QStringLiteral("MainSplitterClients")), 310);
    EXPECT_EQ(LayoutConfig().GetInteger(QStringLiteral("MainWidth")), 700);
    EXPECT_EQ(LayoutConfig().GetInteger(QStringLiteral("MainHeight")), 500);
}

} // namespace
