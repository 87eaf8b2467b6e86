// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <csignal>

#include <QElapsedTimer>
#include <QProcess>

#include "scriptus/ScriptusDesktop.h"

namespace {

using ScriptusCommandLineTest = TScriptusDesktopTest;

struct TResult {
    int code = -1;
    QString out;
};

TResult RunProgram(const QStringList& arguments, const QProcessEnvironment& environment)
{
    QProcess process;
    process.setProcessEnvironment(environment);
    process.start(QStringLiteral(PLENWICK_BINARY), arguments);
    process.waitForFinished(60000);
    return {process.exitCode(), QString::fromUtf8(process.readAllStandardOutput())};
}

TEST_P(ScriptusCommandLineTest, ControlsAreListedAndAFileRunsWithoutAWindow)
{
    TDesktopSession::TProgram* program = StartProbe();
    const QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    // Wait until the program's controls are there to be listed.
    TResult listed;
    RunEventsUntil([&] {
        listed = RunProgram({QStringLiteral("/CONTROLS")}, environment);
        return listed.out.contains(QStringLiteral("\\Name [text]"));
    });
    EXPECT_EQ(listed.code, 0);
    QString namePath;
    for (const QString& line : listed.out.split(QLatin1Char('\n')))
        if (line.contains(QStringLiteral("\\Name [text]\t"))) {
            namePath = line.section(QLatin1Char('\t'), 0, 0);
            EXPECT_TRUE(line.endsWith(QStringLiteral("\ttext\tsichtbar"))) << line.toStdString();
        }
    ASSERT_FALSE(namePath.isEmpty()) << listed.out.toStdString();
    EXPECT_FALSE(listed.out.contains(QStringLiteral("Liste der Kontrollelemente")));

    const QString file = Home(QStringLiteral("eingabe.scriptus"));
    WriteFile(file,
              ("0,True:12,\"" + namePath + "\",\"Name\",\"text\",\"Von der Kommandozeile\",0,0,False,False,\"\"\r\n")
                  .toUtf8());
    const TResult run = RunProgram({QStringLiteral("/SCRIPTUS=") + file}, environment);
    EXPECT_EQ(run.code, 0) << run.out.toStdString();
    EXPECT_TRUE(run.out.contains(QStringLiteral("Beende Skriptus")));
    EXPECT_TRUE(Saw(program, "text Name Von der Kommandozeile"));

    EXPECT_EQ(RunProgram({QStringLiteral("/SCRIPTUS=") + Home(QStringLiteral("fehlt.scriptus"))}, environment).code, 2);
    QProcessEnvironment headless = environment;
    headless.remove(QStringLiteral("DISPLAY"));
    EXPECT_EQ(RunProgram({QStringLiteral("/CONTROLS")}, headless).code, 3);
    EXPECT_EQ(RunProgram({QStringLiteral("/SCRIPTUS=") + file}, headless).code, 3);
}

// No program needed: the run holds Shift through a long wait.
class ScriptusCommandSignalTest : public TTestHome
{
protected:
    static void SetUpTestSuite() { ASSERT_TRUE(TDesktopSession::Shared().Start()); }
};

TEST_F(ScriptusCommandSignalTest, SigtermAndSigintReleaseTheHeldKeysAndEndWithAFailure)
{
    const QString file = Home(QStringLiteral("halten.scriptus"));
    WriteFile(file, "0,True:256,\"\",\"\",\"\",\"\",16,0,False,False,\"\"\r\n"
                    "0,True:1026,\"\",\"\",\"\",\"30\",0,0,False,False,\"\"\r\n");
    for (const int signal : {SIGTERM, SIGINT}) {
        QProcess process;
        process.setProcessEnvironment(QProcessEnvironment::systemEnvironment());
        process.start(QStringLiteral(PLENWICK_BINARY), {QStringLiteral("/SCRIPTUS=") + file});
        QByteArray out;
        ASSERT_TRUE(RunEventsUntil(
            [&] {
                process.waitForReadyRead(50);
                out += process.readAllStandardOutput();
                return out.contains("Warte 30 Sekunden...");
            },
            20000))
            << out.toStdString();
        EXPECT_TRUE(AnyKeyDown());
        QElapsedTimer timer;
        timer.start();
        ::kill(static_cast<pid_t>(process.processId()), signal);
        ASSERT_TRUE(process.waitForFinished(10000));
        EXPECT_LT(timer.elapsed(), 5000);
        EXPECT_EQ(process.exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(process.exitCode(), 1);
        EXPECT_FALSE(AnyKeyDown()) << signal;
    }
}

INSTANTIATE_TEST_SUITE_P(Toolkits, ScriptusCommandLineTest, ::testing::Values(SCRIPTUS_QT_PROBE, SCRIPTUS_GTK_PROBE));

} // namespace
