// SPDX-License-Identifier: GPL-3.0-or-later
#include <signal.h>

#include <QFile>

#include "replication/Installation.h"
#include "replication/ReplicationFixture.h"
#include "scriptus/ExecutorRunner.h"
#include "scriptus/ScriptusThread.h"
#include "support/DesktopSession.h"

namespace {

// A client installs objects whose command files drive the Qt test program
// on a private desktop, through the real runner.
class TInstallationDesktopTest : public TReplicationTest
{
protected:
    static void SetUpTestSuite()
    {
        TDesktopSession& desktop = TDesktopSession::Shared();
        ASSERT_TRUE(desktop.Start()) << desktop.Error();
    }

    void SetUp() override
    {
        TReplicationTest::SetUp();
        // The installation has to switch accessibility on itself.
        qunsetenv("QT_LINUX_ACCESSIBILITY_ALWAYS_ON");
        qunsetenv("QT_ACCESSIBILITY");
        // A control that does not come up ends the run after 1 + 2 + 4 + 8 s.
        MainConfig().Set(QStringLiteral("ScriptusTimeout"), 16000);
        SetScriptusRunner(&m_runner);
    }

    void TearDown() override
    {
        SetScriptusRunner(nullptr);
        // The script closes the program; after a failure it may still run.
        if (const int pid = ReadFile(Home("probe.pid")).trimmed().toInt(); pid > 0)
            kill(pid, SIGKILL);
        TReplicationTest::TearDown();
    }

    // The start script records the switch it inherited, then becomes the
    // program, whose reports go to probe.txt.
    TSyncObject* MakeProbeStarter(const QString& title)
    {
        const QByteArray home = Home().toUtf8();
        const QByteArray script =
            "#!/bin/sh\necho $$ > '" + home + "probe.pid'\necho \"a11y=$QT_LINUX_ACCESSIBILITY_ALWAYS_ON\" > '" + home +
            "probe.txt'\nexec '" SCRIPTUS_QT_PROBE "' '--title=" + title.toUtf8() + "' >> '" + home + "probe.txt'\n";
        TSyncObject* starter = MakeObject(QStringLiteral("setup.sh"), script);
        starter->SetStartAfterTransfer(true);
        return starter;
    }

    // One command file line of the sequence list on a control of the program.
    static QByteArray Row(int kind, const QString& path, const QString& text = QString(), bool checked = false)
    {
        return QStringLiteral("0,True:%1,\"%2\",\"\",\"\",\"%3\",0,0,False,%4,\"\"\r\n")
            .arg(kind)
            .arg(path, text, checked ? QStringLiteral("True") : QStringLiteral("False"))
            .toUtf8();
    }

    int IndexOf(const QString& message, int from = 0) const { return m_ui.Messages().indexOf(message, from); }

    TExecutorRunner m_runner;
};

TEST_F(TInstallationDesktopTest, ScriptsFillInTheStartedProgramOneAfterTheOtherAndABadFileIsPassedOver)
{
    // The program's file name is left out of paths unless an option asks for it.
    const QString window = QStringLiteral("\\\\<anonymous file>\\Einrichtung [filler]");
    MakeFile(Home("Scriptus/setup.scriptus"),
             Row(SetText, window + QStringLiteral("\\Name [text]"), QStringLiteral("Vom Client")) +
                 Row(Check, window + QStringLiteral("\\Option [check box]"), QString(), true) + Row(Close, window),
             SomeDate());
    MakeProbeStarter(QStringLiteral("Einrichtung"))->SetScriptusFile(QStringLiteral("setup.scriptus"));
    MakeObject(QStringLiteral("fehlt.bin"), "MZ")->SetScriptusFile(QStringLiteral("fehlt.scriptus"));
    MakeFile(Home("Scriptus/danach.scriptus"), Row(WaitForTime, QString(), QStringLiteral("1")), SomeDate());
    MakeObject(QStringLiteral("danach.bin"), "MZ")->SetScriptusFile(QStringLiteral("danach.scriptus"));

    RunClient([](TClientBase& client) { RunInstallation(client); }, 0, 60000);
    ASSERT_TRUE(RunEventsUntil([&] { return ReadFile(Home("probe.txt")).contains("closed"); }))
        << m_ui.Messages().join(QLatin1Char('\n')).toStdString() << ReadFile(Home("probe.txt")).toStdString();
    const QByteArray reports = ReadFile(Home("probe.txt"));
    EXPECT_TRUE(reports.startsWith("a11y=1\n")) << reports.toStdString();
    EXPECT_TRUE(reports.contains("\ntext Name Vom Client\n")) << reports.toStdString();
    EXPECT_TRUE(reports.contains("\ncheck Option ")) << reports.toStdString();
    EXPECT_FALSE(m_ui.HasMessage(QStringLiteral("Die maximale Anzahl der Versuche wurde erreicht")));

    // Closed before the first script, each run ended before the next began.
    const int closed = IndexOf(QStringLiteral("Verbindung wird beendet"));
    const int first = IndexOf(QStringLiteral("Installiere Zielobjekt \"%1\"").arg(Home("Scriptus/setup.scriptus")));
    const int firstEnd = IndexOf(QStringLiteral("Beende Skriptus"), first);
    const int second = IndexOf(QStringLiteral("Installiere Zielobjekt \"%1\"").arg(Home("Scriptus/danach.scriptus")));
    EXPECT_GE(closed, 0);
    EXPECT_GT(first, closed);
    EXPECT_GT(firstEnd, first);
    EXPECT_GT(second, firstEnd);
    EXPECT_GT(IndexOf(QStringLiteral("Beende Skriptus"), second), second);
    EXPECT_FALSE(m_ui.HasMessage(QStringLiteral("Warte auf das Ende der laufenden Skriptus-Ausführung")));
    const QString unreadable =
        QStringLiteral("Beim Öffnen der Skriptus-Datei \"%1\" ist eine Ausnahme").arg(Home("Target/fehlt.scriptus"));
    EXPECT_TRUE(m_ui.Messages(QStringLiteral("ScriptusBase")).filter(unreadable).size() == 1);
    EXPECT_TRUE(m_ui.clientPane.join(QLatin1Char('\n'))
                    .contains(QStringLiteral("Synchronisation mit Server erfolgreich abgeschlossen")));
}

TEST_F(TInstallationDesktopTest, AScriptWaitsUntilTheRunGoingOnHasEnded)
{
    // One started by hand, say, on this computer's Scriptus page.
    TScriptusRow pause;
    pause.Command.Kind = WaitForTime;
    pause.Command.Text = QStringLiteral("2");
    ASSERT_TRUE(StartScriptus({pause}, {}));
    MakeFile(Home("Scriptus/danach.scriptus"), Row(WaitForTime, QString(), QStringLiteral("0")), SomeDate());
    MakeObject(QStringLiteral("danach.bin"), "MZ")->SetScriptusFile(QStringLiteral("danach.scriptus"));

    RunClient([](TClientBase& client) { RunInstallation(client); }, 0, 60000);
    const int waiting = IndexOf(QStringLiteral("Warte auf das Ende der laufenden Skriptus-Ausführung"));
    const int handEnd = IndexOf(QStringLiteral("Beende Skriptus"));
    const int mine = IndexOf(QStringLiteral("Beginne Skriptus"), handEnd);
    EXPECT_GE(waiting, 0);
    EXPECT_GT(handEnd, waiting);
    EXPECT_GT(mine, handEnd);
    EXPECT_GT(IndexOf(QStringLiteral("Beende Skriptus"), mine), mine);
}

} // namespace
