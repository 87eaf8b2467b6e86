// SPDX-License-Identifier: GPL-3.0-or-later
#include <QAction>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QMenu>

#include "foundation/Startup.h"
#include "foundation/UiAdapter.h"
#include "replication/RemoteCommands.h"
#include "ui/DialogFixture.h"
#include "ui/dialogs/MainConfigServer.h"
#include "ui/dialogs/MainDialogs.h"
#include "ui/main/GuiUi.h"
#include "ui/main/Main.h"

namespace {

using MainDialogsTest = TDialogTest;

TEST_F(MainDialogsTest, TheWindowAsksThroughThePrompts)
{
    TGuiUi window;
    MainConfig().Set(QStringLiteral("ClientInputWaitTimeInSecs"), 1);
    QElapsedTimer clock;
    clock.start();
    EXPECT_TRUE(window.AskNewObjects({QStringLiteral("/opt/a.bin")}));
    EXPECT_GE(clock.elapsed(), 900); // the countdown ran out, nobody said yes sooner
    EXPECT_FALSE(window.AskNewObjects({}));
    EXPECT_TRUE(window.AskRestart());
}

TEST_F(MainDialogsTest, ASetServerFromTheNetworkReachesAnOpenConnectionDialog)
{
    MainConfig().Set(QStringLiteral("NetServerName"), QStringLiteral("master01"));
    MainConfig().Set(QStringLiteral("ClientInputWaitTimeInSecs"), 30);
    TGuiUi window;
    TUiAdapter::Install(&window);
    TFormConfigServer& dialog = window.Dialogs().ConfigServer();
    dialog.open();
    ASSERT_TRUE(SetMasterServerName(QStringLiteral("master02")));
    EXPECT_TRUE(RunEventsUntil([&] { return dialog.EditServerName()->text() == QStringLiteral("master02"); }));
    dialog.reject();
    TUiAdapter::Install(&m_ui);
}

TEST_F(MainDialogsTest, OnlyAFirstStartMakesTheConnectionDialogAtOnce)
{
    WriteFile(MainConfig().FileName(), "[Options]\r\nNetServerName=master01\r\n");
    TGuiUi window;
    TUiAdapter::Install(&window);
    RunMainWindowCreation();
    ASSERT_TRUE(RunEventsUntil([] { return ListsRead(); }));
    EXPECT_EQ(window.Form().findChild<TFormConfigServer*>(), nullptr);
    TUiAdapter::Install(&m_ui);
}

TEST_F(MainDialogsTest, NoActionOfTheWindowSaysItIsNotThereYet)
{
    TGuiUi window;
    TMainActions& actions = window.Form().Actions();
    for (QAction* action : actions.All())
        EXPECT_TRUE(actions.IsWired(action)) << action->objectName().toStdString();
    // Those that were not: without a selection they do nothing, the style one shows its menu.
    for (QAction* action : {actions.FileOpenObject, actions.FileExploreObject, actions.ViewListStyle})
        action->trigger();
    Settle(50);
    EXPECT_TRUE(m_boxes.texts.filter(QStringLiteral("noch nicht verfügbar")).isEmpty())
        << m_boxes.texts.join('|').toStdString();
    EXPECT_TRUE(actions.ListStyleMenu()->isVisible());
    actions.ListStyleMenu()->close();
}

} // namespace
