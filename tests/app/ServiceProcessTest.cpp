// SPDX-License-Identifier: GPL-3.0-or-later
#include <csignal>

#include <gtest/gtest.h>

#include <QFile>
#include <QProcess>

#include "foundation/PoolServices.h"
#include "platform/ServiceManager.h"
#include "support/TestHome.h"

namespace {

// The real program run as the service by the stand-in systemctl, which keeps
// the service's pid and output in the unit folder.
class ServiceProcessTest : public TTestHome
{
protected:
    void SetUp() override
    {
        TTestHome::SetUp();
        qputenv("PLENWICK_SYSTEMCTL", PLENWICK_SYSTEMCTL_STANDIN);
        for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY"}) {
            m_display.append(qgetenv(name));
            qunsetenv(name);
        }
        WriteFile(Dir() + "plenwick.service", ServiceUnitText(PLENWICK_BINARY, "Plenwick", Home()));
    }
    void TearDown() override
    {
        if (const QByteArray pid = ReadFile(Dir() + "main.pid").trimmed(); !pid.isEmpty())
            ::kill(pid.toInt(), SIGKILL);
        for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY"})
            if (const QByteArray value = m_display.takeFirst(); !value.isEmpty())
                qputenv(name, value);
        TTestHome::TearDown();
    }
    QString Dir() const { return m_dir.path() + "/systemd/"; }
    QByteArray Log() const { return ReadFile(Dir() + "service.log"); }
    bool LogShows(const QByteArray& text) const
    {
        return RunEventsUntil([&] { return Log().contains(text); });
    }

    QList<QByteArray> m_display;
};

} // namespace

TEST_F(ServiceProcessTest, StartRunsTheProgramAsServiceAndStopEndsItInOrder)
{
    RunOffMainThread(&StartService);
    const QByteArray pid = ReadFile(Dir() + "main.pid").trimmed();
    // Like systemd with a simple unit, the stand-in reports "active" as soon as it has forked.
    const QByteArray command = QByteArray(PLENWICK_BINARY) + '\0' + "/SVC" + '\0';
    EXPECT_TRUE(RunEventsUntil([&] { return ReadFile("/proc/" + pid + "/cmdline") == command; }));
    ASSERT_TRUE(LogShows("Plenwick wurde erfolgreich initialisiert")) << Log().constData();
    EXPECT_FALSE(Log().contains("[Monitor]"));

    // A user's start meanwhile is only a monitor: no listener, no list.
    QProcess user;
    user.setProcessChannelMode(QProcess::MergedChannels);
    user.start(PLENWICK_BINARY, {});
    ASSERT_TRUE(user.waitForFinished(10000));
    const QByteArray said = user.readAll();
    EXPECT_TRUE(said.contains("Der Systemdienst ist installiert")) << said.constData();
    EXPECT_FALSE(said.contains("Liste")) << said.constData();
    EXPECT_FALSE(said.contains("ServerBase")) << said.constData();

    RunOffMainThread(&StopService);
    EXPECT_TRUE(Log().contains("Anwendung ist bereit zum Terminieren")) << Log().constData();
    EXPECT_TRUE(Log().contains("Anwendung wurde beendet")) << Log().constData();
    EXPECT_EQ(ServiceState(), kServiceStopped);
}
