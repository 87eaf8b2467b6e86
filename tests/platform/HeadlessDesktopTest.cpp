// SPDX-License-Identifier: GPL-3.0-or-later
#include <signal.h>

#include <chrono>
#include <thread>

#include <gtest/gtest.h>

#include <QDir>
#include <QProcess>

#include "platform/HeadlessDesktop.h"

namespace {

bool Eventually(const std::function<bool()>& done, int ms = 5000)
{
    for (int waited = 0; waited < ms; waited += 20) {
        if (done())
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return done();
}

// A desktop of the program's own: a program started with its environment
// lives on it and is counted while it stays; the desktop ends whole, this
// process's environment untouched.
TEST(HeadlessDesktopTest, ProgramsLiveOnItAreCountedAndEverythingEndsWithIt)
{
    const QByteArray display = qgetenv("DISPLAY");
    pid_t server = -1;
    QString runtime;
    {
        THeadlessDesktop desktop;
        server = desktop.DisplayProcess();
        runtime = desktop.Environment().value(QStringLiteral("XDG_RUNTIME_DIR"));
        EXPECT_EQ(desktop.Environment().value(QStringLiteral("DISPLAY")), desktop.Display());
        EXPECT_FALSE(desktop.Environment().value(QStringLiteral("DBUS_SESSION_BUS_ADDRESS")).isEmpty());
        EXPECT_EQ(desktop.Environment().value(QStringLiteral("GSETTINGS_BACKEND")), QStringLiteral("memory"));
        EXPECT_EQ(qgetenv("DISPLAY"), display);
        EXPECT_TRUE(QDir(runtime).exists());
        EXPECT_EQ(desktop.ForeignClients(), 0);

        QProcess watcher;
        watcher.setProcessEnvironment(desktop.Environment());
        watcher.start(QStringLiteral("xprop"), {QStringLiteral("-root"), QStringLiteral("-spy")});
        ASSERT_TRUE(watcher.waitForStarted());
        EXPECT_TRUE(Eventually([&] { return desktop.ForeignClients() == 1; }));
        watcher.kill();
        watcher.waitForFinished();
        EXPECT_TRUE(Eventually([&] { return desktop.ForeignClients() == 0; }));
    }
    EXPECT_NE(::kill(server, 0), 0);
    EXPECT_FALSE(QDir(runtime).exists());
}

} // namespace
