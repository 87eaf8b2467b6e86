// SPDX-License-Identifier: GPL-3.0-or-later
#include <sys/fsuid.h>
#include <sys/stat.h>
#include <unistd.h>

#include <thread>

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include "foundation/PoolServices.h"
#include "foundation/PoolSystem.h"
#include "platform/Autostart.h"
#include "platform/ProgramPaths.h"
#include "support/TestHome.h"

namespace {

constexpr uid_t kNobody = 65534;

// Runs work on a thread acting as an ordinary account, the way an
// impersonating thread does; the main thread keeps taking its log entries.
template <typename Work>
void AsOrdinaryUser(Work work)
{
    bool done = false;
    std::thread worker([&] {
        setfsgid(kNobody);
        setfsuid(kNobody);
        work();
        done = true;
    });
    RunEventsUntil([&] { return done; });
    worker.join();
}

class PoolSystemTest : public TTestHome
{
protected:
    void SetUp() override
    {
        TTestHome::SetUp();
        if (geteuid() != 0)
            GTEST_SKIP() << "needs root to act as another account";
        // The ordinary account must reach its own autostart folder.
        chmod(QFile::encodeName(m_dir.path()).constData(), 0755);
        chmod(QFile::encodeName(m_dir.path() + "/config").constData(), 0777);
        m_exe = ExecutablePath(); // what RegisterForAutomaticStart registers
    }
    QString MachineEntry() const { return AutostartEntryPath(TAutostartPlace::Machine, m_exe); }
    QString UserEntry() const { return AutostartEntryPath(TAutostartPlace::User, m_exe); }
    QString m_exe;
};

} // namespace

TEST_F(PoolSystemTest, WithRootRightsTheMachineWideEntryIsUsed)
{
    EXPECT_FALSE(AutostartState(m_exe).registered);
    EXPECT_FALSE(RegisterForAutomaticStart());
    EXPECT_EQ(m_ui.Messages(QStringLiteral("MainConfig")),
              QStringList{"Anwendung wurde/ist in die Registrierungsdatenbank eingetragen"});
    const TAutostartState state = AutostartState(m_exe);
    EXPECT_TRUE(state.registered);
    EXPECT_EQ(state.place, 1);
    const QByteArray entry = ReadFile(MachineEntry());
    EXPECT_TRUE(entry.contains("Exec=\"" + QFile::encodeName(m_exe) + "\"\n")) << entry.constData();
    EXPECT_TRUE(entry.contains("Path=" + QFile::encodeName(QFileInfo(m_exe).absolutePath()) + "\n"));
    EXPECT_FALSE(QFileInfo::exists(UserEntry()));

    // Already there: the same report, nothing written.
    WriteFile(MachineEntry(), "kept");
    m_ui.Clear();
    EXPECT_FALSE(RegisterForAutomaticStart());
    EXPECT_TRUE(m_ui.HasMessage(QStringLiteral("Anwendung wurde/ist in die Registrierungsdatenbank eingetragen")));
    EXPECT_EQ(ReadFile(MachineEntry()), QByteArray("kept"));

    EXPECT_EQ(SetAutostart(m_exe, false), 1);
    EXPECT_FALSE(QFileInfo::exists(MachineEntry()));
    EXPECT_EQ(SetAutostart(m_exe, false), 0);
}

TEST_F(PoolSystemTest, WithoutRootRightsTheUserEntryIsUsed)
{
    TAutostartState state;
    bool service = true;
    AsOrdinaryUser([&] {
        service = RegisterForAutomaticStart();
        state = AutostartState(m_exe);
    });
    EXPECT_FALSE(service);
    EXPECT_EQ(m_ui.Messages(QStringLiteral("Options")),
              QStringList{"Anwendung wurde/ist in die Autostartgruppe eingetragen"});
    EXPECT_TRUE(state.registered);
    EXPECT_EQ(state.place, 2);
    EXPECT_FALSE(QFileInfo::exists(MachineEntry()));
    EXPECT_TRUE(ReadFile(UserEntry()).startsWith("[Desktop Entry]\n"));

    // Root removes the entry where it is, not where it would write one.
    EXPECT_EQ(SetAutostart(m_exe, false), 2);
    EXPECT_FALSE(QFileInfo::exists(UserEntry()));
}

TEST_F(PoolSystemTest, NowhereToWriteIsReportedAsFailure)
{
    qputenv("XDG_CONFIG_HOME", (m_dir.path() + "/locked").toUtf8());
    QDir().mkpath(m_dir.path() + "/locked");
    chmod(QFile::encodeName(m_dir.path() + "/locked").constData(), 0555);
    AsOrdinaryUser([] { RegisterForAutomaticStart(); });
    EXPECT_EQ(m_ui.Messages(QStringLiteral("Options")),
              QStringList{"Anwendung konnte nicht als Autostart-Anwendung eingetragen werden"});
}

TEST_F(PoolSystemTest, MachineEntryThatCannotBeWrittenRaises)
{
    // The folder is writable, but the entry's name is taken by a folder.
    QDir().mkpath(MachineEntry());
    EXPECT_THROW(SetAutostart(m_exe, true), EAutostartInRegistryFailed);
}

TEST_F(PoolSystemTest, AnInstalledServiceLeavesAutostartAlone)
{
    WriteFile(m_dir.path() + "/systemd/plenwick.service", "[Service]\nExecStart=/x /SVC\n");
    EXPECT_FALSE(RegisterForAutomaticStart());
    EXPECT_TRUE(m_ui.Messages().isEmpty());
    EXPECT_FALSE(AutostartState(m_exe).registered);

    QFile::remove(m_dir.path() + "/systemd/plenwick.service");
    qputenv("PLENWICK_SYSTEMCTL", "/bin/true");
    EXPECT_TRUE(RegisterForAutomaticStart());
    EXPECT_EQ(m_ui.Messages(QStringLiteral("MainConfig")),
              QStringList{"Anwendung wurde/ist als Systemdienst installiert"});
    EXPECT_FALSE(AutostartState(m_exe).registered);
}

TEST(AutostartEntry, ExecQuotesAndEscapesThePath)
{
    const QByteArray entry = DesktopEntry(QStringLiteral("/opt/my apps/$x\"y%z/plenwick"));
    // Quoting escapes $ and ", the string layer doubles the backslashes, % is doubled.
    EXPECT_TRUE(entry.contains("Exec=\"/opt/my apps/\\\\$x\\\\\"y%%z/plenwick\"\n")) << entry.constData();
    EXPECT_TRUE(entry.contains("Path=/opt/my apps/$x\"y%z\n"));
}
