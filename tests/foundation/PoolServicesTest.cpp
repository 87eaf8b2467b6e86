// SPDX-License-Identifier: GPL-3.0-or-later
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>

#include "foundation/PoolServices.h"
#include "foundation/ServiceMode.h"
#include "foundation/Startup.h"
#include "platform/ProgramPaths.h"
#include "platform/RegistryStore.h"
#include "platform/ServiceManager.h"
#include "platform/VersionInfo.h"
#include "support/TestHome.h"

namespace {

// Service changes against the stand-in systemctl, which records its calls.
class PoolServicesTest : public TTestHome
{
protected:
    void SetUp() override
    {
        TTestHome::SetUp();
        qputenv("PLENWICK_SYSTEMCTL", PLENWICK_SYSTEMCTL_STANDIN);
    }
    QString Dir() const { return m_dir.path() + "/systemd/"; }
    QString Unit() const { return Dir() + "plenwick.service"; }
    QStringList Calls() const { return QString::fromUtf8(ReadFile(Dir() + "calls")).split('\n', Qt::SkipEmptyParts); }
    void Fail(const char* command) { WriteFile(Dir() + "fail-" + command, ""); }
    void Mask() { ASSERT_TRUE(QFile::link(QStringLiteral("/dev/null"), Unit())); }
    static QString Machine(const QString& key, const QString& name)
    {
        const auto value = TRegistryStore::ReadValue(TRegistryHive::LocalMachine,
                                                     "System\\CurrentControlSet\\Services\\Plenwick" + key, name);
        return value ? value->text : QStringLiteral("<none>");
    }
    // The failure text of a service function, "" when it succeeded.
    static QString FailureOf(void (*function)())
    {
        try {
            RunOffMainThread(function);
        } catch (const EServiceControlFailed& error) {
            return error.Message();
        }
        return QString();
    }
};

} // namespace

TEST_F(PoolServicesTest, InstallWritesTheUnitAndTheMachineValuesAndEnablesIt)
{
    ASSERT_EQ(FailureOf(&InstallService), "");
    EXPECT_TRUE(ServiceInstalled());
    EXPECT_EQ(ReadFile(Unit()),
              ServiceUnitText(ExecutablePath(), OwnVersionString("FileDescription"), ProgramFolder()));
    EXPECT_EQ(QFile::permissions(Unit()) & (QFile::ReadOther | QFile::WriteOther), QFile::ReadOther);
    EXPECT_EQ(Calls(), (QStringList{"daemon-reload", "enable plenwick.service"}));
    EXPECT_EQ(Machine("", "Description"), OwnVersionString("FileDescription"));
    EXPECT_EQ(Machine("\\Parameters", "Application"), ExecutablePath());
    EXPECT_EQ(Machine("\\Parameters", "AppParameters"), "/SVC");

    ASSERT_EQ(FailureOf(&UninstallService), "");
    EXPECT_FALSE(QFile::exists(Unit()));
    EXPECT_EQ(Calls().mid(2), (QStringList{"disable --now plenwick.service", "daemon-reload"}));
    EXPECT_EQ(Machine("\\Parameters", "Application"), "<none>");
}

TEST(ServiceUnitText, QuotesTheProgramAndEscapesWhatSystemdWouldExpand)
{
    const QString text = QString::fromUtf8(
        ServiceUnitText("/opt/my apps/a\"b\\c%d$e/plenwick", "Verteilt 100% Dateien", "/opt/my apps/"));
    EXPECT_EQ(text, "[Unit]\nDescription=Verteilt 100%% Dateien\n\n[Service]\n"
                    "ExecStart=\"/opt/my apps/a\\\"b\\\\c%%d$$e/plenwick\" /SVC\n"
                    "WorkingDirectory=/opt/my apps\nKillMode=process\nRestart=on-failure\n\n"
                    "[Install]\nWantedBy=multi-user.target\n");
    EXPECT_THROW(ServiceUnitText("/opt/x\n[Service]\nExecStartPre=/bin/evil", "", "/opt/"), EServiceControlFailed);
}

TEST_F(PoolServicesTest, FailedInstallReportsWhyAndLeavesNoUnit)
{
    Fail("enable");
    EXPECT_EQ(FailureOf(&InstallService), "\"systemctl enable plenwick.service\" ist gescheitert (Code 1): "
                                          "Failed to enable: simulated failure");
    EXPECT_FALSE(QFile::exists(Unit()));
    EXPECT_EQ(Machine("\\Parameters", "Application"), "<none>");

    qputenv("PLENWICK_SYSTEMCTL", (m_dir.path() + "/no-such-systemctl").toUtf8());
    EXPECT_EQ(FailureOf(&InstallService), "\"systemctl daemon-reload\" konnte nicht ausgeführt werden");
    EXPECT_FALSE(QFile::exists(Unit()));

    // The unit folder cannot be written: it is a file.
    const QString file = m_dir.path() + "/not-a-folder";
    WriteFile(file, "");
    qputenv("PLENWICK_SYSTEMD_DIR", file.toUtf8());
    EXPECT_TRUE(FailureOf(&InstallService)
                    .startsWith("Die Dienstdatei \"" + file +
                                "/plenwick.service\" "
                                "konnte nicht geschrieben werden"));
}

TEST_F(PoolServicesTest, MaskedUnitCountsAsNotInstalledAndRefusesEveryChange)
{
    Mask();
    EXPECT_FALSE(ServiceInstalled());
    EXPECT_EQ(DecideInstanceKind(false), TInstanceKind::Working);
    EXPECT_FALSE(IsServiceProcess(true));
    const QString masked = "Der Systemdienst ist gesperrt (maskiert); "
                           "\"systemctl unmask plenwick.service\" hebt die Sperre auf";
    EXPECT_EQ(FailureOf(&InstallService), masked);
    EXPECT_EQ(FailureOf(&StartService), masked);
    EXPECT_EQ(FailureOf(&UninstallService), masked);
    EXPECT_TRUE(QFileInfo(Unit()).isSymLink());
    EXPECT_TRUE(Calls().isEmpty());

    QFile::remove(Unit());
    EXPECT_EQ(FailureOf(&UninstallService), "Der Systemdienst ist nicht installiert");
}

TEST_F(PoolServicesTest, StateFollowsSystemctlAndIsUnknownWithoutIt)
{
    EXPECT_EQ(ServiceState(), kServiceStopped);
    WriteFile(Unit(), "[Service]\nExecStart=/bin/sleep 30\nWorkingDirectory=/\n");
    ASSERT_EQ(FailureOf(&StartService), "");
    EXPECT_EQ(ServiceState(), kServiceRunning);
    EXPECT_TRUE(ServiceRunning());
    ASSERT_EQ(FailureOf(&StopService), "");
    EXPECT_EQ(ServiceState(), kServiceStopped);
    EXPECT_EQ(Calls().filter("start"), (QStringList{"--no-block start plenwick.service"}));

    Fail("start");
    EXPECT_TRUE(FailureOf(&StartService).startsWith("\"systemctl --no-block start plenwick.service\" ist gescheitert"));
    qputenv("PLENWICK_SYSTEMCTL", (m_dir.path() + "/no-such-systemctl").toUtf8());
    EXPECT_EQ(ServiceState(), kServiceStateUnknown);
    EXPECT_FALSE(ServiceRunning());
}

TEST_F(PoolServicesTest, WorkOffTheMainThreadKeepsTheLoopRunningAndPassesFailuresOn)
{
    bool ranOnWorker = false;
    bool loopRan = false;
    QTimer::singleShot(0, [&] { loopRan = true; });
    RunOffMainThread([&] {
        ranOnWorker = QThread::currentThread() != QCoreApplication::instance()->thread();
        QThread::msleep(100);
    });
    EXPECT_TRUE(ranOnWorker);
    EXPECT_TRUE(loopRan);
    EXPECT_THROW(RunOffMainThread([] { throw EServiceControlFailed("x"); }), EServiceControlFailed);
}

TEST_F(PoolServicesTest, TryInstallLogsTheReasonWhenItFails)
{
    Fail("daemon-reload");
    EXPECT_FALSE(TryInstallService());
    EXPECT_EQ(m_ui.Messages("MainService"),
              (QStringList{
                  "Der Systemdienst konnte nicht erstellt werden",
                  "\"systemctl daemon-reload\" ist gescheitert (Code 1): Failed to daemon-reload: simulated failure"}));
}

TEST_F(PoolServicesTest, TryUninstallLogsTheOutcome)
{
    EXPECT_FALSE(TryUninstallService());
    WriteFile(Unit(), "[Service]\nExecStart=/bin/true\n");
    EXPECT_TRUE(TryUninstallService());
    EXPECT_FALSE(ServiceInstalled());
    EXPECT_EQ(m_ui.Messages("MainService"),
              (QStringList{"Der Systemdienst konnte nicht deinstalliert werden",
                           "Der Systemdienst ist nicht installiert", "Der Systemdienst wurde deinstalliert"}));
}

// The half of the test below that runs as an ordinary user; skipped when run
// on its own.
TEST(PoolServicesAsUser, ChangesRun)
{
    if (qEnvironmentVariableIsEmpty("PLENWICK_TEST_AS_USER"))
        GTEST_SKIP();
    ASSERT_NE(::geteuid(), 0u);
    RunOffMainThread(&StartService);
    EXPECT_TRUE(ServiceRunning());
    RunOffMainThread(&StopService);
    RunOffMainThread(&UninstallService);
    EXPECT_FALSE(ServiceInstalled());
}

TEST_F(PoolServicesTest, WithoutRootEachChangeIsOnePkexecCall)
{
    if (::geteuid() != 0)
        GTEST_SKIP() << "needs root to become an ordinary user";
    // A folder an ordinary user may work in, with a pkexec that only records
    // and a systemctl found on PATH.
    QTemporaryDir shared;
    const QString root = shared.path();
    QDir().mkpath(root + "/bin");
    QDir().mkpath(root + "/systemd");
    for (const QString& folder : {root, root + "/bin", root + "/systemd"})
        ::chmod(QFile::encodeName(folder).constData(), 0777);
    WriteFile(root + "/bin/pkexec", "#!/bin/sh\necho \"$*\" >> \"$PLENWICK_SYSTEMD_DIR/pkexec-calls\"\nexec \"$@\"\n");
    ::chmod(QFile::encodeName(root + "/bin/pkexec").constData(), 0755);
    ASSERT_TRUE(QFile::link(PLENWICK_SYSTEMCTL_STANDIN, root + "/bin/systemctl"));
    WriteFile(root + "/systemd/plenwick.service", "ExecStart=/bin/sleep 60\nWorkingDirectory=/\n");

    QProcess child;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove("PLENWICK_SYSTEMCTL");
    env.insert("PATH", root + "/bin:" + env.value("PATH"));
    env.insert("PLENWICK_SYSTEMD_DIR", root + "/systemd");
    env.insert("PLENWICK_TEST_AS_USER", "1");
    child.setProcessEnvironment(env);
    child.setProcessChannelMode(QProcess::MergedChannels);
    child.start("setpriv", {"--reuid=65534", "--regid=65534", "--clear-groups", QCoreApplication::applicationFilePath(),
                            "--gtest_filter=PoolServicesAsUser.ChangesRun"});
    ASSERT_TRUE(child.waitForFinished(60000));
    const QByteArray output = child.readAll();
    EXPECT_EQ(child.exitCode(), 0) << output.constData();
    EXPECT_TRUE(output.contains("[  PASSED  ] 1 test")) << output.constData();
    const QStringList calls =
        QString::fromUtf8(ReadFile(root + "/systemd/pkexec-calls")).split('\n', Qt::SkipEmptyParts);
    ASSERT_EQ(calls.size(), 3) << calls.join('\n').toStdString();
    EXPECT_EQ(calls[0], "/bin/sh -c 'systemctl' '--no-block' 'start' 'plenwick.service'");
    EXPECT_EQ(calls[2], "/bin/sh -c 'systemctl' 'disable' '--now' 'plenwick.service' && rm -f '" + root +
                            "/systemd/plenwick.service' && 'systemctl' 'daemon-reload'");
}
