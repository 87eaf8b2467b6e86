// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include <QFile>
#include <QThread>
#include <QTime>

#include "foundation/MainConfig.h"
#include "foundation/PoolInterlocked.h"
#include "foundation/ServiceMode.h"
#include "foundation/UiAdapter.h"
#include "support/TestHome.h"

class UiAdapterTest : public TTestHome
{
};

// The main thread keeps out of its event loop while the worker runs: a call
// that waited for it would never return.
TEST_F(UiAdapterTest, WorkersReportWithoutWaitingAndMainThreadCallsArriveAtOnce)
{
    std::thread worker([] {
        Log("Test", "vom Arbeiter");
        ClientMessage("Hallo");
        TUiAdapter::RebuildObjectViews();
        TUiAdapter::UpdateActionStates();
        TUiAdapter::SetObjectStatusText("Import");
        TUiAdapter::ShowMessage(TMessageKind::Warning, "Achtung");
    });
    worker.join();
    EXPECT_TRUE(m_ui.Messages("Test").isEmpty());
    EXPECT_EQ(m_ui.objectViewRebuilds, 0);

    Log("Test", "vom Haupt-Thread");
    TUiAdapter::RebuildObjectViews();
    EXPECT_EQ(m_ui.Messages("Test"), QStringList{"vom Haupt-Thread"});
    EXPECT_EQ(m_ui.objectViewRebuilds, 1);

    ASSERT_TRUE(RunEventsUntil([&] { return m_ui.Messages("Test").size() == 2; }));
    EXPECT_EQ(m_ui.objectViewRebuilds, 2);
    EXPECT_EQ(m_ui.clientPane.size(), 1);
    EXPECT_EQ(m_ui.objectStatusTexts, QStringList{"Import"});
    EXPECT_EQ(m_ui.messageBoxes, QStringList{"Achtung"});
}

TEST_F(UiAdapterTest, EntryCarriesTheTimeItWasMadeAndReachesTheFileInOrder)
{
    MainConfig().Set("MiscWriteProtocolToFile", true);
    std::thread worker([] {
        for (int i = 0; i < 3; ++i)
            Log("Test", QStringLiteral("e%1").arg(i));
    });
    worker.join();
    QThread::msleep(400);
    const QTime delivered = QTime::currentTime();
    TUiAdapter::DeliverPending();
    const auto entries = m_ui.Entries();
    ASSERT_EQ(entries.size(), 3u);
    const QTime stamped = QTime::fromString(entries[0].time.mid(9), "hh:mm:ss.zzz");
    ASSERT_TRUE(stamped.isValid()) << entries[0].time.toStdString();
    EXPECT_GE(stamped.msecsTo(delivered), 350);
    const QByteArray file = ReadFile(qEnvironmentVariable("PLENWICK_PROTOCOL_FILE"));
    EXPECT_LT(file.indexOf("[Test] e0"), file.indexOf("[Test] e1"));
    EXPECT_LT(file.indexOf("[Test] e1"), file.indexOf("[Test] e2"));
}

TEST_F(UiAdapterTest, PromptsWaitForTheAnswerAndFollowWhatWasReportedBefore)
{
    m_ui.restartAnswer = false;
    m_ui.newObjectsAnswer = true;
    std::atomic<bool> done{false};
    bool restart = true;
    bool install = false;
    int entriesAtPrompt = -1;
    std::thread worker([&] {
        Log("Test", "vor der Frage");
        restart = TUiAdapter::AskRestart();
        entriesAtPrompt = m_ui.Messages("Test").size();
        install = TUiAdapter::AskNewObjects({"C:/Ziel/a.exe"});
        done = true;
    });
    ASSERT_TRUE(RunEventsUntil([&] { return done.load(); }));
    worker.join();
    EXPECT_FALSE(restart);
    EXPECT_TRUE(install);
    EXPECT_EQ(entriesAtPrompt, 1);
    EXPECT_EQ(m_ui.restartPrompts, 1);
    ASSERT_EQ(m_ui.newObjectPrompts.size(), 1u);

    TUiAdapter::Install(nullptr);
    EXPECT_FALSE(TUiAdapter::AskRestart()); // no front-end: no
}

TEST_F(UiAdapterTest, NoMessageBoxInTheServiceProcess)
{
    SetRunningAsService(true);
    TUiAdapter::ShowMessage(TMessageKind::Error, "Haupt-Thread");
    std::thread([] { TUiAdapter::ShowMessage(TMessageKind::Error, "Arbeiter"); }).join();
    TUiAdapter::DeliverPending();
    EXPECT_TRUE(m_ui.messageBoxes.isEmpty());
    SetRunningAsService(false);
}

TEST_F(UiAdapterTest, BoxesOfOneKindFromAWorkerMergeIntoOneWithCountAndFirstLines)
{
    std::thread worker([] {
        for (int i = 1; i <= 12; ++i)
            TUiAdapter::ShowMessage(TMessageKind::Warning,
                                    QStringLiteral("Die Objektliste ist inkompatibel.\r\nZeile: z%1").arg(i));
        TUiAdapter::ShowMessage(TMessageKind::Warning, "Anderes");
        TUiAdapter::ShowMessage(TMessageKind::Warning, "Anderes");
        TUiAdapter::ShowMessage(TMessageKind::Error, "Einmal");
    });
    worker.join();
    TUiAdapter::DeliverPending();
    ASSERT_EQ(m_ui.messageBoxes.size(), 3);
    EXPECT_EQ(m_ui.messageBoxes[0], "Die Objektliste ist inkompatibel.\r\nZeile: z1\r\nZeile: z2\r\nZeile: z3\r\n"
                                    "Zeile: z4\r\nZeile: z5\r\n(insgesamt 12 Meldungen)");
    EXPECT_EQ(m_ui.messageBoxes[1], "Anderes\r\n(insgesamt 2 Meldungen)");
    EXPECT_EQ(m_ui.messageBoxes[2], "Einmal");

    // Once shown, the next box of the kind is a box of its own.
    std::thread([] { TUiAdapter::ShowMessage(TMessageKind::Warning, "Anderes"); }).join();
    TUiAdapter::DeliverPending();
    EXPECT_EQ(m_ui.messageBoxes.size(), 4);
    EXPECT_EQ(m_ui.messageBoxes.back(), "Anderes");
}

TEST_F(UiAdapterTest, RemovingTheFrontEndDeliversEveryPendingEntryFirst)
{
    MainConfig().Set("MiscWriteProtocolToFile", true);
    std::thread worker([] {
        for (int i = 0; i < 200; ++i)
            Log("Ende", QStringLiteral("e%1").arg(i));
    });
    worker.join();
    TUiAdapter::Install(nullptr);
    EXPECT_EQ(m_ui.Messages("Ende").size(), 200);
    EXPECT_EQ(ReadFile(qEnvironmentVariable("PLENWICK_PROTOCOL_FILE")).count("[Ende] e"), 200);
}
