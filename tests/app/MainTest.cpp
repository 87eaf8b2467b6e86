// SPDX-License-Identifier: GPL-3.0-or-later
#include <csignal>

#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QFileInfo>
#include <QProcess>
#include <QThread>

#include "support/TestHome.h"

namespace {

// The real program in the test's own program folder, its log read from stdout.
class MainTest : public TTestHome
{
protected:
    void TearDown() override
    {
        for (auto& process : m_processes)
            if (process->state() != QProcess::NotRunning) {
                process->kill();
                process->waitForFinished(2000);
            }
        TTestHome::TearDown();
    }

    QProcess& Start(const QStringList& parameters = {}, const QByteArray& busyMs = QByteArray())
    {
        auto process = std::make_unique<QProcess>();
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.remove(QStringLiteral("DISPLAY"));
        env.remove(QStringLiteral("WAYLAND_DISPLAY"));
        if (!busyMs.isEmpty())
            env.insert(QStringLiteral("PLENWICK_TEST_BUSY_MS"), QString::fromLatin1(busyMs));
        process->setProcessEnvironment(env);
        process->setProcessChannelMode(QProcess::MergedChannels);
        process->start(QStringLiteral(PLENWICK_BINARY), parameters);
        EXPECT_TRUE(process->waitForStarted(5000));
        m_processes.push_back(std::move(process));
        return *m_processes.back();
    }

    // Collects output until it holds the text (or the time is up).
    bool WaitForLine(QProcess& process, const QByteArray& text, int timeoutMs = 10000)
    {
        QElapsedTimer clock;
        clock.start();
        while (!Output(process).contains(text)) {
            if (clock.elapsed() > timeoutMs || process.state() == QProcess::NotRunning)
                return Output(process).contains(text);
            process.waitForReadyRead(100);
        }
        return true;
    }

    QByteArray& Output(QProcess& process)
    {
        QByteArray& out = m_output[&process];
        out += process.readAll();
        return out;
    }

    void Signal(QProcess& process, int signal) { ::kill(static_cast<pid_t>(process.processId()), signal); }

    // Messages of one category in order, without time stamps.
    QStringList Messages(QProcess& process, const QString& category)
    {
        QStringList out;
        const QString tag = QStringLiteral(" [") + category + QStringLiteral("] ");
        for (const QString& line : QString::fromUtf8(Output(process)).split(QLatin1Char('\n'))) {
            const qsizetype at = line.indexOf(tag);
            if (at >= 0)
                out.append(line.mid(at + tag.size()));
        }
        return out;
    }

    void WriteOptions(const QByteArray& lines) { WriteFile(Home("plenwick.config"), "[Options]\r\n" + lines); }

    std::vector<std::unique_ptr<QProcess>> m_processes;
    std::map<QProcess*, QByteArray> m_output;
};

} // namespace

TEST_F(MainTest, FileMoveInstanceRenamesAfterThreeSecondsAndEnds)
{
    WriteFile(Home("plain.new"), "a");
    WriteFile(Home("quoted new"), "b");
    QElapsedTimer clock;
    clock.start();
    QProcess& plain = Start({Home("plain.new"), Home("plain.txt")});
    QProcess& quoted = Start({"\"" + Home("quoted new") + "\"", "\"" + Home("quoted.txt") + "\""});
    ASSERT_TRUE(plain.waitForFinished(10000));
    ASSERT_TRUE(quoted.waitForFinished(10000));
    EXPECT_GE(clock.elapsed(), 2900);
    EXPECT_EQ(plain.exitCode(), 0);
    EXPECT_EQ(quoted.exitCode(), 0);
    EXPECT_EQ(ReadFile(Home("plain.txt")), QByteArray("a"));
    EXPECT_EQ(ReadFile(Home("quoted.txt")), QByteArray("b"));
    EXPECT_FALSE(QFileInfo::exists(Home("plain.new")));
    // It stood in for nothing else: no start-up, no shutdown.
    EXPECT_FALSE(Output(plain).contains("gestartet"));
    EXPECT_FALSE(Output(plain).contains("[Quit]"));
}

TEST_F(MainTest, FreshStartIsMasterAndEndsInOrderOnSigterm)
{
    QProcess& program = Start();
    ASSERT_TRUE(WaitForLine(program, "Plenwick wurde erfolgreich initialisiert")) << Output(program).constData();
    EXPECT_FALSE(Output(program).contains("Starte Synchronisation"));
    // With nothing to watch, the master's folder monitor ends at once: then nothing runs.
    ASSERT_TRUE(WaitForLine(program, "ChangeNotifyThread terminiert")) << Output(program).constData();
    // The line is the thread's last act, not its end: give it time to return.
    QThread::msleep(300);
    Signal(program, SIGTERM);
    ASSERT_TRUE(program.waitForFinished(5000));
    EXPECT_EQ(program.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(program.exitCode(), 0);
    const QStringList expected = {"Persistente Einstellungen wurden gespeichert",
                                  "Prüfe Server-Thread(s)",
                                  "Prüfe Client-Thread(s)",
                                  "Prüfe Ordnerstruktur-Thread(s)",
                                  "Prüfe Treeview-Thread",
                                  "Prüfe Listview-Thread",
                                  "Prüfe ChangeNotify-Thread",
                                  "Prüfe Skriptus-Thread",
                                  "Anwendung ist bereit zum Terminieren"};
    EXPECT_EQ(Messages(program, QStringLiteral("Quit")), expected) << Output(program).constData();
}

TEST_F(MainTest, ClientBeginsAnUpdateSessionAtTheEndOfStartUp)
{
    WriteOptions("NetServerName=otherhost\r\nNetServerPort=42425\r\n");
    QProcess& program = Start();
    ASSERT_TRUE(WaitForLine(program, "Starte Synchronisation mit Server otherhost:42425"))
        << Output(program).constData();
    Signal(program, SIGINT);
    ASSERT_TRUE(program.waitForFinished(5000));
    EXPECT_EQ(program.exitCode(), 0);
}

TEST_F(MainTest, BusyThreadKeepsTheProgramAliveUntilItEnds)
{
    QProcess& program = Start({}, "2500");
    ASSERT_TRUE(WaitForLine(program, "erfolgreich initialisiert"));
    Signal(program, SIGTERM);
    ASSERT_TRUE(WaitForLine(program, "Threads sind noch aktiv, Anwendung wird bald beendet"));
    QElapsedTimer clock;
    clock.start();
    ASSERT_TRUE(program.waitForFinished(8000));
    EXPECT_GE(clock.elapsed(), 1000);
    EXPECT_EQ(program.exitCode(), 0);
    const QStringList quit = Messages(program, QStringLiteral("Quit"));
    EXPECT_GE(quit.count(QStringLiteral("Client-Thread noch nicht terminiert...")), 2);
    EXPECT_EQ(quit.last(), QStringLiteral("Anwendung ist bereit zum Terminieren"));
}

TEST_F(MainTest, SecondSigintEndsAtOnce)
{
    QProcess& program = Start({}, "60000");
    ASSERT_TRUE(WaitForLine(program, "erfolgreich initialisiert"));
    Signal(program, SIGINT);
    ASSERT_TRUE(WaitForLine(program, "Threads sind noch aktiv"));
    Signal(program, SIGINT);
    ASSERT_TRUE(program.waitForFinished(3000));
    EXPECT_EQ(program.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(program.exitCode(), 0);
    EXPECT_FALSE(Output(program).contains("bereit zum Terminieren"));
}

TEST_F(MainTest, SecondWorkingInstanceOfOneProgramFolderIsRefused)
{
    QProcess& first = Start();
    ASSERT_TRUE(WaitForLine(first, "Plenwick wurde erfolgreich initialisiert")) << Output(first).constData();
    QProcess& second = Start();
    ASSERT_TRUE(second.waitForFinished(15000));
    EXPECT_EQ(second.exitCode(), 2);
    EXPECT_TRUE(Output(second).contains("Plenwick läuft bereits für den Programmordner"));
    EXPECT_FALSE(Output(second).contains("[Main] Plenwick ")) << Output(second).constData();
    // The first goes on; once it has ended, a new start is a working instance again.
    EXPECT_EQ(first.state(), QProcess::Running);
    Signal(first, SIGTERM);
    ASSERT_TRUE(first.waitForFinished(5000));
    QProcess& third = Start();
    EXPECT_TRUE(WaitForLine(third, "Plenwick wurde erfolgreich initialisiert")) << Output(third).constData();
    Signal(third, SIGTERM);
    EXPECT_TRUE(third.waitForFinished(5000));
}
