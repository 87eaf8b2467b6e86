// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QDir>
#include <QFileInfo>

#include "platform/RegistryStore.h"
#include "support/TestHome.h"

class RegistryStoreTest : public TTestHome
{
protected:
    const QString m_runOnce = QStringLiteral("Software\\Microsoft\\Windows\\CurrentVersion\\Runonce");
};

TEST_F(RegistryStoreTest, ValuesRoundTripAndNamesIgnoreCase)
{
    const auto hive = TRegistryHive::LocalMachine;
    EXPECT_FALSE(TRegistryStore::KeyExists(hive, m_runOnce));
    ASSERT_TRUE(
        TRegistryStore::WriteValue(hive, m_runOnce, "/opt/a b/x.exe", TRegistryValue::FromText("/opt/a b/~$x.exe")));
    ASSERT_TRUE(TRegistryStore::WriteValue(hive, m_runOnce, "n", TRegistryValue::FromDword(42)));
    ASSERT_TRUE(
        TRegistryStore::WriteValue(hive, m_runOnce, "b", TRegistryValue::FromBinary(QByteArray("\x00\xff", 2))));
    EXPECT_TRUE(TRegistryStore::KeyExists(hive, m_runOnce.toUpper()));
    EXPECT_EQ(TRegistryStore::ReadValue(hive, m_runOnce, "N")->dword, 42u);
    EXPECT_EQ(TRegistryStore::ReadValue(hive, m_runOnce, "b")->binary, QByteArray("\x00\xff", 2));
    EXPECT_EQ(TRegistryStore::ValueNames(hive, m_runOnce), (QStringList{"/opt/a b/x.exe", "n", "b"}));
    EXPECT_TRUE(TRegistryStore::DeleteValue(hive, m_runOnce, "/opt/a b/x.exe"));
    EXPECT_FALSE(TRegistryStore::DeleteValue(hive, m_runOnce, "/opt/a b/x.exe"));
    EXPECT_FALSE(TRegistryStore::ReadValue(hive, m_runOnce, "/opt/a b/x.exe").has_value());
    // The other hive is a file of its own.
    EXPECT_FALSE(TRegistryStore::KeyExists(TRegistryHive::CurrentUser, m_runOnce));
}

TEST_F(RegistryStoreTest, DamagedFileIsKeptAsideAndReported)
{
    const QString file = TRegistryStore::HiveFile(TRegistryHive::CurrentUser);
    WriteFile(file, "REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\Software\\X]\r\n\"Broken\"=dword:zz\r\n");
    try {
        TRegistryStore::ReadValue(TRegistryHive::CurrentUser, "Software\\X", "Broken");
        FAIL() << "damage not reported";
    } catch (const ERegistryDamaged& damage) {
        EXPECT_TRUE(damage.Message().contains(file));
    }
    const QStringList aside = QDir(QFileInfo(file).absolutePath()).entryList({"user.reg.damaged-*"});
    ASSERT_EQ(aside.size(), 1);
    EXPECT_TRUE(ReadFile(QFileInfo(file).absolutePath() + "/" + aside[0]).contains("dword:zz"));
    // Asked again, the hive is empty and nothing more is reported.
    EXPECT_FALSE(TRegistryStore::ReadValue(TRegistryHive::CurrentUser, "Software\\X", "Broken").has_value());
    // A new write starts a fresh, valid file.
    EXPECT_TRUE(
        TRegistryStore::WriteValue(TRegistryHive::CurrentUser, "Software\\X", "ok", TRegistryValue::FromDword(1)));
    EXPECT_TRUE(TRegistryStore::ReadValue(TRegistryHive::CurrentUser, "Software\\X", "ok").has_value());
}

TEST_F(RegistryStoreTest, HiveWithoutWriteRightsRefusesWrites)
{
    // The machine hive belongs to root: an ordinary user may read it but not write it.
    ASSERT_TRUE(
        TRegistryStore::WriteValue(TRegistryHive::LocalMachine, "Software\\X", "a", TRegistryValue::FromDword(1)));
    ASSERT_EQ(chmod(QFile::encodeName(m_dir.path()).constData(), 0755), 0);
    const pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        if (geteuid() == 0 && setuid(65534) != 0)
            _exit(3);

        const bool readable = TRegistryStore::ReadValue(TRegistryHive::LocalMachine, "Software\\X", "a").has_value();
        const bool refused =
            !TRegistryStore::HiveWritable(TRegistryHive::LocalMachine) &&
            !TRegistryStore::WriteValue(TRegistryHive::LocalMachine, "Software\\X", "b", TRegistryValue::FromDword(2));
        _exit(readable ? (refused ? 0 : 1) : 2);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    if (geteuid() != 0)
        GTEST_SKIP() << "needs root to own the hive and drop to another user";
    EXPECT_EQ(WEXITSTATUS(status), 0);
}

TEST_F(RegistryStoreTest, ConcurrentWritersFromSeveralProcessesLoseNothing)
{
    constexpr int kProcesses = 4;
    constexpr int kWrites = 25;
    std::vector<pid_t> children;
    for (int p = 0; p < kProcesses; ++p) {
        const pid_t pid = fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            for (int i = 0; i < kWrites; ++i)
                TRegistryStore::WriteValue(TRegistryHive::CurrentUser, "Software\\P",
                                           QStringLiteral("v%1_%2").arg(p).arg(i),
                                           TRegistryValue::FromDword(static_cast<quint32>(i)));
            _exit(0);
        }
        children.push_back(pid);
    }
    for (const pid_t pid : children) {
        int status = 0;
        waitpid(pid, &status, 0);
    }
    EXPECT_EQ(TRegistryStore::ValueNames(TRegistryHive::CurrentUser, "Software\\P").size(), kProcesses * kWrites);
}
