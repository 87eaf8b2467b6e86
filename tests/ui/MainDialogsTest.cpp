// SPDX-License-Identifier: GPL-3.0-or-later
#include <QElapsedTimer>
#include <QLineEdit>

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

} // namespace
