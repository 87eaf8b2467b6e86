// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <QFile>

#include "foundation/PoolServices.h"
#include "platform/ServiceManager.h"
#include "support/TestHome.h"

namespace {

class ServiceManagerTest : public TTestHome
{
protected:
    void TearDown() override
    {
        qunsetenv("PLENWICK_SYSTEMCTL");
        TTestHome::TearDown();
    }
    QString Unit() const { return m_dir.path() + "/systemd/plenwick.service"; }
    // A stand-in for systemctl that records its arguments and answers with rc.
    void FakeSystemctl(int rc)
    {
        const QString script = m_dir.path() + "/systemctl";
        WriteFile(script,
                  QStringLiteral(
                      "#!/bin/sh\necho \"$@\" > %1/args\necho inactive\necho first >&2\necho second >&2\nexit %2\n")
                      .arg(m_dir.path())
                      .arg(rc)
                      .toUtf8());
        QFile::setPermissions(script, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        qputenv("PLENWICK_SYSTEMCTL", script.toUtf8());
    }
};

} // namespace

TEST_F(ServiceManagerTest, InstalledMeansUnitFilePresentAndNotMasked)
{
    EXPECT_EQ(ServiceUnitPath(), Unit());
    EXPECT_FALSE(ServiceInstalled());
    WriteFile(Unit(), "[Service]\nExecStart=/usr/bin/plenwick /SVC\n");
    EXPECT_TRUE(ServiceInstalled());

    QFile::remove(Unit());
    ASSERT_TRUE(QFile::link(QStringLiteral("/dev/null"), Unit()));
    EXPECT_FALSE(ServiceInstalled());
    QFile::remove(Unit());
    WriteFile(Unit(), "");
    EXPECT_FALSE(ServiceInstalled());
}

TEST_F(ServiceManagerTest, ServiceProcessNeedsTheParameterAndTheUnit)
{
    EXPECT_FALSE(IsServiceProcess(true));
    WriteFile(Unit(), "[Service]\n");
    EXPECT_TRUE(IsServiceProcess(true));
    EXPECT_FALSE(IsServiceProcess(false));
}

TEST_F(ServiceManagerTest, RunnerPassesArgumentsAndReturnsOutputAndFirstErrorLine)
{
    FakeSystemctl(3);
    const TSystemctlResult result = RunSystemctl({"is-active", "plenwick.service"});
    EXPECT_EQ(ReadFile(m_dir.path() + "/args"), QByteArray("is-active plenwick.service\n"));
    EXPECT_EQ(result.exitCode, 3);
    EXPECT_EQ(result.output, QByteArray("inactive\n"));
    EXPECT_EQ(result.error, "first");
    EXPECT_EQ(ServiceUnitActiveState(), "inactive");
    qputenv("PLENWICK_SYSTEMCTL", (m_dir.path() + "/none").toUtf8());
    EXPECT_EQ(RunSystemctl({"is-active"}).exitCode, -1);
    EXPECT_EQ(ServiceUnitActiveState(), "");
}
