// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>

#include <QElapsedTimer>
#include <QFile>

#include "foundation/MainConfig.h"
#include "scriptus/ScriptusDesktop.h"
#include "scriptus/ScriptusThread.h"
#include "scriptus/SyncControl.h"

namespace {

class ScriptusThreadTest : public TScriptusDesktopTest
{
protected:
    /// The path of the first control of that name and role now on the desktop.
    QString PathOf(const QString& name, const QString& className)
    {
        QString path;
        RunEventsUntil([&] {
            RebuildControlList();
            for (TSyncControl* c = FirstControl(); c; c = NextControl(c))
                if (c->NameElement().startsWith(name) && c->ClassName() == className) {
                    path = ControlPath(c);
                    return true;
                }
            return false;
        });
        EXPECT_FALSE(path.isEmpty()) << name.toStdString();
        return path;
    }

    static TScriptusRow Row(qint32 kind, const QString& path, const QString& text = QString(), bool active = true)
    {
        TScriptusRow row;
        row.Active = active;
        row.Command.Kind = kind;
        row.Command.ControlPath = path;
        row.Command.Text = text;
        return row;
    }

    static TScriptusRow Click(qint32 kind, const QString& path)
    {
        TScriptusRow row = Row(kind, path);
        row.Command.X = 6;
        row.Command.Y = 6;
        row.Command.HasPosition = true;
        return row;
    }

    static TScriptusRow KeyRow(int virtualKey)
    {
        TScriptusRow row = Row(KeyDown, QString());
        row.Command.X = virtualKey;
        return row;
    }

    TScriptusOutcome Run(std::vector<TScriptusRow> sequence, std::vector<TScriptusRow> events = {},
                         int timeoutMs = 60000)
    {
        std::atomic<bool> ended{false};
        std::atomic<TScriptusOutcome> outcome{TScriptusOutcome::Completed};
        EXPECT_TRUE(StartScriptus(std::move(sequence), std::move(events), [&](TScriptusOutcome o) {
            outcome = o;
            ended = true;
        }));
        EXPECT_TRUE(RunEventsUntil([&] { return ended.load(); }, timeoutMs));
        RunEventsUntil([] { return !ScriptusRunning(); });
        return outcome;
    }
};

TEST_P(ScriptusThreadTest, EveryControlCommandReachesTheProgram)
{
    TDesktopSession::TProgram* program = StartProbe();
    const QString name = PathOf(QStringLiteral("Name"), QStringLiteral("text"));
    const QString next = PathOf(QStringLiteral("Weiter"), QStringLiteral("push button"));
    const QString option = PathOf(QStringLiteral("Option"), QStringLiteral("check box"));
    const QString list =
        PathOf(QStringLiteral("Liste"),
               ProbeName().contains(QLatin1String("gtk")) ? QStringLiteral("list box") : QStringLiteral("list"));
    TScriptusRow check = Row(Check, option);
    check.Command.Checked = true;
    TScriptusRow uncheck = Row(Check, option);
    EXPECT_EQ(Run({Row(SetText, name, QStringLiteral("Hallo")), check, Click(ClickLeft, next), Click(ClickRight, next),
                   Row(SelectString, list, QStringLiteral("zw"))}),
              TScriptusOutcome::Completed);
    EXPECT_TRUE(Saw(program, "text Name Hallo"));
    EXPECT_TRUE(Saw(program, "check Option 1"));
    EXPECT_TRUE(Saw(program, "click Weiter"));
    EXPECT_TRUE(Saw(program, "rightclick Weiter"));
    EXPECT_TRUE(Saw(program, "select Liste Zwei"));

    // Checking what is checked does nothing; unchecking does.
    EXPECT_EQ(Run({check, uncheck, Click(ClickDoubleLeft, next)}), TScriptusOutcome::Completed);
    EXPECT_TRUE(Saw(program, "check Option 0"));
    EXPECT_TRUE(Saw(program, "click Weiter"));
    EXPECT_TRUE(Saw(program, "click Weiter"));
    const QStringList messages = m_ui.Messages(QStringLiteral("ScriptusThread"));
    EXPECT_EQ(messages.first(), QStringLiteral("Beginne Skriptus"));
    EXPECT_TRUE(messages.contains(QStringLiteral("3. Skriptzeile wurde ausgeführt")));
    EXPECT_EQ(messages.last(), QStringLiteral("Beende Skriptus"));
}

TEST_P(ScriptusThreadTest, ComboBoxEntryIsSelectedByItsBeginning)
{
    TDesktopSession::TProgram* program = StartProbe();
    const QString combo = PathOf(QString(), QStringLiteral("combo box"));
    EXPECT_EQ(Run({Row(SelectString, combo, QStringLiteral("BL"))}), TScriptusOutcome::Completed);
    EXPECT_TRUE(Saw(program, "select Auswahl Blau"));
}

TEST_P(ScriptusThreadTest, KeysAreTypedAndModifiersHeldForTheNextKeyOnly)
{
    TDesktopSession::TProgram* program = StartProbe();
    const QString name = PathOf(QStringLiteral("Name"), QStringLiteral("text"));
    TScriptusRow focus = Click(ClickLeft, name);
    focus.Command.X = 20;
    focus.Command.Y = 10;
    // Keys go where the focus is, so the field must have it first.
    EXPECT_EQ(Run({focus}), TScriptusOutcome::Completed);
    ASSERT_TRUE(Saw(program, "focus Name"));
    EXPECT_EQ(Run({KeyRow(0x10), KeyRow('A'), KeyRow('B'), Row(KeyUp, QString())}), TScriptusOutcome::Completed);
    EXPECT_TRUE(Saw(program, "text Name Ab"));
}

TEST_P(ScriptusThreadTest, BringToTopAndCloseActOnTheWindow)
{
    TDesktopSession::TProgram* program = StartProbe();
    const QString next = PathOf(QStringLiteral("Weiter"), QStringLiteral("push button"));
    EXPECT_EQ(Run({Row(BringToTop, next), Row(Show, next), Row(Close, next)}), TScriptusOutcome::Completed);
    EXPECT_TRUE(Saw(program, "closed"));
}

TEST_P(ScriptusThreadTest, EventRowAnswersAMessageBoxWhileTheSequenceWaits)
{
    TDesktopSession::TProgram* program = StartProbe({"--message-after=200"});
    const QString yes = PathOf(QStringLiteral("Yes"), QStringLiteral("push button"));
    MainConfig().Set(QStringLiteral("ScriptusTimeout"), 2000);
    EXPECT_EQ(Run({Row(Close, QStringLiteral("\\\\nirgends\\Fehlt [frame]"))}, {Click(ClickLeft, yes)}),
              TScriptusOutcome::NotFound);
    EXPECT_TRUE(Saw(program, "message Ja"));
}

// An installer's wizard, where controls come and go under the same paths.
using ScriptusWizardTest = ScriptusThreadTest;

TEST_P(ScriptusWizardTest, ARowThatDoesNotTakeEffectFailsWithItsReasonAndEndsTheRun)
{
    TDesktopSession::TProgram* program = StartProbe({"--wizard"});
    const QString brief = PathOf(QStringLiteral("Kurz"), QStringLiteral("text"));
    const QString finish = PathOf(QStringLiteral("Fertig"), QStringLiteral("push button"));
    MainConfig().Set(QStringLiteral("ScriptusTimeout"), 2000);
    // The field keeps three characters: the text never reads back.
    // A busy bridge may leave the field out of a read during the waits: then
    // the row fails as not found, never as done.
    EXPECT_NE(Run({Row(SetText, brief, QStringLiteral("Hallo")), Click(ClickLeft, finish)}),
              TScriptusOutcome::Completed);
    const QStringList messages = m_ui.Messages(QStringLiteral("ScriptusThread"));
    EXPECT_FALSE(messages.contains(QStringLiteral("1. Skriptzeile wurde ausgeführt")))
        << messages.join('\n').toStdString();
    EXPECT_TRUE(messages.contains(QStringLiteral("1. Skriptzeile: das Kontrollelement \"%1\" ist nicht mehr vorhanden "
                                                 "oder nimmt das Kommando nicht an")
                                      .arg(brief)))
        << messages.join('\n').toStdString();
    EXPECT_TRUE(std::any_of(messages.begin(), messages.end(), [](const QString& m) {
        return m.startsWith(QStringLiteral("1. Skriptzeile wurde nicht ausgeführt: "));
    })) << messages.join('\n').toStdString();
    EXPECT_TRUE(messages.contains(QStringLiteral("Warte 1000 Millisekunden...")));
    EXPECT_FALSE(messages.contains(QStringLiteral("2. Skriptzeile wird ausgeführt")));
    EXPECT_FALSE(Saw(program, "click Fertig", 500));
}

TEST_P(ScriptusWizardTest, AControlMadeAnewOrGoneAndBackIsLookedUpAgain)
{
    TDesktopSession::TProgram* program = StartProbe({"--wizard"});
    const QString renew = PathOf(QStringLiteral("Neu"), QStringLiteral("push button"));
    const QString finish = PathOf(QStringLiteral("Fertig"), QStringLiteral("push button"));
    // The list was read before "Fertig" was made anew: its handle is stale,
    // and its window's corner holds nothing the click may take instead. A
    // fresh read finds the new one before any wait.
    EXPECT_EQ(Run({Click(ClickLeft, renew), Click(ClickLeft, finish)}), TScriptusOutcome::Completed);
    EXPECT_TRUE(Saw(program, "renewed"));
    EXPECT_TRUE(Saw(program, "click Fertig"));
    EXPECT_TRUE(m_ui.Messages(QStringLiteral("ScriptusThread")).filter(QStringLiteral("Warte")).isEmpty());

    // Two boxes "Frage", the second 300 ms after the first closed: the
    // second row first finds the first box's button, gone by then.
    const QString ask = PathOf(QStringLiteral("Fragen"), QStringLiteral("push button"));
    EXPECT_EQ(Run({Click(ClickLeft, ask)}), TScriptusOutcome::Completed);
    ASSERT_TRUE(Saw(program, "asked 1"));
    const QString ok = PathOf(QStringLiteral("OK"), QStringLiteral("push button"));
    EXPECT_EQ(Run({Click(ClickLeft, ok), Click(ClickLeft, ok)}), TScriptusOutcome::Completed);
    EXPECT_TRUE(Saw(program, "frage 1"));
    EXPECT_TRUE(Saw(program, "frage 2"));
}

TEST_P(ScriptusWizardTest, AVisibleControlIsTakenBeforeItsHiddenTwin)
{
    TDesktopSession::TProgram* program = StartProbe({"--wizard"});
    const QString field = PathOf(QStringLiteral("Feld"), QStringLiteral("text"));
    int twins = 0;
    for (TSyncControl* c = FirstControl(); c; c = NextControl(c))
        twins += ControlPath(c) == field;
    ASSERT_EQ(twins, 2);
    EXPECT_EQ(Run({Row(SetText, field, QStringLiteral("Hallo"))}), TScriptusOutcome::Completed);
    EXPECT_TRUE(Saw(program, "text Seite2 Hallo"));
    for (const std::string& line : TDesktopSession::TakeLines(*program, 300))
        EXPECT_NE(line.rfind("text Seite1", 0), 0u) << line;
}

INSTANTIATE_TEST_SUITE_P(Toolkits, ScriptusWizardTest, ::testing::Values(SCRIPTUS_QT_PROBE, SCRIPTUS_GTK_PROBE));

INSTANTIATE_TEST_SUITE_P(Toolkits, ScriptusThreadTest, ::testing::Values(SCRIPTUS_QT_PROBE, SCRIPTUS_GTK_PROBE));

// Rows without a control need no test program.
class ScriptusRunTest : public TTestHome
{
protected:
    static void SetUpTestSuite() { ASSERT_TRUE(TDesktopSession::Shared().Start()); }
};

TEST_F(ScriptusRunTest, MissingControlEndsTheRunAfterTheGrowingWaits)
{
    MainConfig().Set(QStringLiteral("ScriptusTimeout"), 2000);
    std::atomic<bool> ended{false};
    TScriptusRow missing;
    missing.Command.Kind = ClickLeft;
    missing.Command.ControlPath = QStringLiteral("\\\\nirgends\\Fehlt [frame]");
    TScriptusRow wait;
    wait.Command.Kind = WaitForTime;
    wait.Command.Text = QStringLiteral("keine Zahl");
    TScriptusRow ignored = wait;
    ignored.Active = false;
    TScriptusOutcome outcome = TScriptusOutcome::Completed;
    ASSERT_TRUE(StartScriptus({ignored, wait, missing, wait}, {}, [&](TScriptusOutcome o) {
        outcome = o;
        ended = true;
    }));
    EXPECT_FALSE(StartScriptus({}, {}));
    ASSERT_TRUE(RunEventsUntil([&] { return ended.load(); }, 20000));
    EXPECT_EQ(outcome, TScriptusOutcome::NotFound);
    const QString notFound = QStringLiteral("Der Kontrollelementpfad \"\\\\nirgends\\Fehlt [frame]\" konnte nicht "
                                            "gefunden werden.");
    EXPECT_EQ(m_ui.Messages(QStringLiteral("ScriptusThread")),
              (QStringList{QStringLiteral("Beginne Skriptus"), QStringLiteral("1. Skriptzeile wird ignoriert"),
                           QStringLiteral("2. Skriptzeile wird ausgeführt"),
                           QStringLiteral("2. Skriptzeile wurde ausgeführt"), notFound,
                           QStringLiteral("Warte 1000 Millisekunden..."), notFound,
                           QStringLiteral("Die maximale Anzahl der Versuche wurde erreicht"),
                           QStringLiteral("3. Skriptzeile wurde nicht ausgeführt: das Kontrollelement "
                                          "\"\\\\nirgends\\Fehlt [frame]\" wurde nicht gefunden"),
                           QStringLiteral("Beende Skriptus")}));
    EXPECT_EQ(m_ui.Messages(QStringLiteral("ScriptusBase")),
              QStringList{QStringLiteral("Warte keine Zahl Sekunden...")});
    RunEventsUntil([] { return !ScriptusRunning(); });
}

TEST_F(ScriptusRunTest, AHeldKeyIsLetGoOfWhileARowWaitsAndAtTheRunsEnd)
{
    MainConfig().Set(QStringLiteral("ScriptusTimeout"), 3000);
    TScriptusRow shift;
    shift.Command.Kind = KeyDown;
    shift.Command.X = 0x10;
    TScriptusRow missing;
    missing.Command.Kind = ClickLeft;
    missing.Command.ControlPath = QStringLiteral("\\\\nirgends\\Fehlt [frame]");
    std::atomic<bool> ended{false};
    ASSERT_TRUE(StartScriptus({shift, missing}, {}, [&](TScriptusOutcome) { ended = true; }));
    // The user's own typing during the wait must not get Shift.
    ASSERT_TRUE(RunEventsUntil([&] { return m_ui.HasMessage(QStringLiteral("Warte 2000 Millisekunden...")); }));
    EXPECT_FALSE(AnyKeyDown());
    ASSERT_TRUE(RunEventsUntil([&] { return ended.load(); }));
    EXPECT_FALSE(AnyKeyDown());
    RunEventsUntil([] { return !ScriptusRunning(); });
}

TEST_F(ScriptusRunTest, TerminationEndsAPauseWithinASecond)
{
    MainConfig().Set(QStringLiteral("ScriptusTimeout"), 180000);
    std::atomic<bool> ended{false};
    TScriptusRow missing;
    missing.Command.Kind = ClickLeft;
    missing.Command.ControlPath = QStringLiteral("\\\\nirgends\\Fehlt [frame]");
    ASSERT_TRUE(StartScriptus({missing}, {}, [&](TScriptusOutcome) { ended = true; }));
    ASSERT_TRUE(RunEventsUntil([&] { return m_ui.HasMessage(QStringLiteral("Warte 1000 Millisekunden...")); }));
    RunEventsFor(1500); // into the second, longer pause
    QElapsedTimer timer;
    timer.start();
    EXPECT_FALSE(RequestScriptusTermination());
    ASSERT_TRUE(RunEventsUntil([&] { return ended.load(); }, 5000));
    EXPECT_LT(timer.elapsed(), 1000);
    EXPECT_TRUE(m_ui.HasMessage(QStringLiteral("Abbruchanforderung wurde erkannt")));
    RunEventsUntil([] { return !ScriptusRunning(); });
    EXPECT_TRUE(RequestScriptusTermination());
}

TEST_F(ScriptusRunTest, StartedProgramsGetAccessibilitySwitchedOn)
{
    const QString script = m_dir.path() + QStringLiteral("/start.sh");
    const QString marker = m_dir.path() + QStringLiteral("/started");
    WriteFile(script, ("#!/bin/sh\necho \"$QT_LINUX_ACCESSIBILITY_ALWAYS_ON\" > " + marker + "\n").toUtf8());
    QFile::setPermissions(script, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    TScriptusRow start;
    start.Command.Kind = StartExternalApplication;
    start.Command.Text = script;
    std::atomic<bool> ended{false};
    ASSERT_TRUE(StartScriptus({start}, {}, [&](TScriptusOutcome) { ended = true; }));
    ASSERT_TRUE(RunEventsUntil([&] { return ended.load() && QFile::exists(marker) && !ReadFile(marker).isEmpty(); }));
    EXPECT_EQ(ReadFile(marker), QByteArray("1\n"));
    RunEventsUntil([] { return !ScriptusRunning(); });
}

} // namespace
