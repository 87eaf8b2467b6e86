// SPDX-License-Identifier: GPL-3.0-or-later
#include <csignal>
#include <unistd.h>

#include <gtest/gtest.h>

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>

#include <xcb/xcb.h>

#include "scriptus/Hooks.h"
#include "support/DesktopSession.h"
#include "support/TestHome.h"

namespace {

// Writes down what recording asked of the page.
class TPageProbe : public TRecordingPage
{
public:
    bool ScriptusPageActive() override { return active; }
    bool LogAllEvents() override { return logAll; }
    void TrackMouse(const THooksNotification& n) override
    {
        calls.append(QStringLiteral("track %1,%2").arg(n.X).arg(n.Y));
    }
    void RecordLeftClick(const THooksNotification&) override { calls.append(QStringLiteral("click")); }
    void OpenActionMenu(const THooksNotification& n) override
    {
        calls.append(QStringLiteral("menu %1,%2").arg(n.X).arg(n.Y));
        SetRecordingHeld(true);
    }
    void ReleaseHold() override
    {
        calls.append(QStringLiteral("release"));
        SetRecordingHeld(false);
    }
    void AppendKeyDown(std::uint32_t key, std::uint32_t data) override
    {
        calls.append(QStringLiteral("keydown %1 %2").arg(key, 0, 16).arg(data, 8, 16, QLatin1Char('0')));
    }

    bool active = true;
    bool logAll = false;
    QStringList calls;
};

class HooksTest : public TTestHome
{
protected:
    void SetUp() override
    {
        TTestHome::SetUp();
        ASSERT_TRUE(m_desktop.Start()) << m_desktop.Error();
        SetRecordingPage(&m_page);
        SetRecordingHeld(false);
    }
    void TearDown() override
    {
        UnloadHooks();
        SetRecordingPage(nullptr);
        TTestHome::TearDown();
    }

    TDesktopSession m_desktop;
    TPageProbe m_page;
};

} // namespace

TEST_F(HooksTest, LoadingLogsTheOutcomeAndAMissingFileLeavesRecordingOff)
{
    EXPECT_FALSE(LoadHooks(Home("libplenwickhooks.so")));
    EXPECT_FALSE(HooksLoaded());
    EXPECT_EQ(m_ui.Messages(QStringLiteral("Hooks")),
              QStringList{QStringLiteral("Die Hooks-DLL konnte nicht erfolgreich geladen werden")});
    EXPECT_EQ(m_ui.Entries().back().icon, 22);
    InstallMessageHook();
    HandleHooksNotification({0, HookMouseMove, 0, 1, 0, 0, 0});
    EXPECT_TRUE(m_page.calls.isEmpty());

    m_ui.Clear();
    EXPECT_TRUE(LoadHooks(QStringLiteral(PLENWICK_HOOKS_LIBRARY)));
    EXPECT_EQ(m_ui.Messages(QStringLiteral("Hooks")),
              QStringList{QStringLiteral("Die Operationen der Hooks-DLL wurden erfolgreich geladen")});
    UnloadHooks();
    EXPECT_FALSE(HooksLoaded());
}

TEST_F(HooksTest, MessageHookSendsNotificationsToThePageAsRecordingWants)
{
    ASSERT_TRUE(LoadHooks(QStringLiteral(PLENWICK_HOOKS_LIBRARY)));
    // Notifications before the hook is in place are consumed unseen.
    ASSERT_EQ(std::system("xdotool mousemove 15 25"), 0);
    RunEventsFor(200);
    EXPECT_TRUE(m_page.calls.isEmpty());

    InstallMessageHook();
    ASSERT_EQ(std::system("xdotool mousemove 11 12 key Pause"), 0);
    ASSERT_TRUE(RunEventsUntil([&] { return m_page.calls.contains(QStringLiteral("menu 11,12")); }));
    EXPECT_TRUE(m_page.calls.contains(QStringLiteral("track 11,12")));
    EXPECT_TRUE(RecordingHeld());

    // Held: movements are ignored; Pause again lets go.
    m_page.calls.clear();
    ASSERT_EQ(std::system("xdotool mousemove 50 60 key Pause"), 0);
    ASSERT_TRUE(RunEventsUntil([&] { return m_page.calls.contains(QStringLiteral("release")); }));
    EXPECT_EQ(m_page.calls, QStringList{QStringLiteral("release")});
    EXPECT_FALSE(RecordingHeld());

    // With the Scriptus page not active nothing happens at all.
    m_page.calls.clear();
    m_page.active = false;
    m_page.logAll = true;
    ASSERT_EQ(std::system("xdotool mousemove 70 80 click 3 key Pause key a"), 0);
    RunEventsFor(300);
    EXPECT_TRUE(m_page.calls.isEmpty()) << m_page.calls.join(QLatin1Char('|')).toStdString();
}

TEST_F(HooksTest, OnlyPressesInOtherProgramsAreRecordedWithAllMessages)
{
    ASSERT_TRUE(LoadHooks(QStringLiteral(PLENWICK_HOOKS_LIBRARY)));
    InstallMessageHook();
    // A window of this very process, made without _NET_WM_PID: the library
    // must still know it as ours.
    xcb_connection_t* own = xcb_connect(nullptr, nullptr);
    const xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(own)).data;
    const xcb_window_t window = xcb_generate_id(own);
    xcb_create_window(own, XCB_COPY_FROM_PARENT, window, screen->root, 200, 200, 100, 100, 0,
                      XCB_WINDOW_CLASS_INPUT_OUTPUT, screen->root_visual, 0, nullptr);
    xcb_map_window(own, window);
    xcb_flush(own);

    m_page.logAll = true;
    // Over our own window: neither the click nor the key counts.
    ASSERT_EQ(std::system("xdotool mousemove 250 250 click 1 key b"), 0);
    // Elsewhere: the click and the press count, the release never.
    ASSERT_EQ(std::system("xdotool mousemove 600 600 click 1 key a"), 0);
    ASSERT_TRUE(RunEventsUntil([&] { return m_page.calls.filter(QStringLiteral("keydown")).size() >= 1; }));
    RunEventsFor(200);
    EXPECT_EQ(m_page.calls.filter(QStringLiteral("track")).size() + 2, m_page.calls.size())
        << m_page.calls.join(QLatin1Char('|')).toStdString();
    EXPECT_EQ(m_page.calls.filter(QStringLiteral("click")), QStringList{QStringLiteral("click")});
    EXPECT_EQ(m_page.calls.filter(QStringLiteral("keydown")), QStringList{QStringLiteral("keydown 41 001e0001")});

    // Without "Alle Nachrichten protokollieren" nothing is appended.
    m_page.calls.clear();
    m_page.logAll = false;
    ASSERT_EQ(std::system("xdotool click 1 key a"), 0);
    RunEventsFor(300);
    EXPECT_TRUE(m_page.calls.isEmpty()) << m_page.calls.join(QLatin1Char('|')).toStdString();
    xcb_disconnect(own);
}

TEST_F(HooksTest, TheProgramLoadsTheLibraryOnlyOnTheMasterServerAndEndsCleanly)
{
    const QString port = QString::number(43000 + getpid() % 2000);
    // With a display the program shows its window and writes its protocol
    // only to the file, which the headless run writes too.
    const QString protocolFile = qEnvironmentVariable("PLENWICK_PROTOCOL_FILE");
    auto run = [&](const QString& binary, const QString& server, bool display) {
        WriteFile(Home("plenwick.config"), ("[Options]\r\nNetServerName=" + server + "\r\nNetServerPort=" + port +
                                            "\r\nMiscWriteProtocolToFile=1\r\n")
                                               .toUtf8());
        QFile::remove(protocolFile);
        QProcess process;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        if (!display)
            env.remove(QStringLiteral("DISPLAY"));
        process.setProcessEnvironment(env);
        process.setProcessChannelMode(QProcess::MergedChannels);
        process.start(binary, {});
        EXPECT_TRUE(process.waitForStarted(5000));
        QByteArray out;
        QElapsedTimer clock;
        clock.start();
        while (!ReadFile(protocolFile).contains("[Main] Plenwick ") && clock.elapsed() < 10000) {
            process.waitForReadyRead(100);
            out += process.readAll();
        }
        ::kill(pid_t(process.processId()), SIGTERM);
        EXPECT_TRUE(process.waitForFinished(10000)) << out.constData();
        EXPECT_EQ(process.exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(process.exitCode(), 0);
        QStringList hooks;
        for (const QByteArray& line : ReadFile(protocolFile).split('\n')) {
            if (line.contains(" [Hooks] "))
                hooks.append(QString::fromUtf8(line.mid(line.indexOf(" [Hooks] ") + 9)).trimmed());
        }
        return hooks;
    };
    const QString loaded = QStringLiteral("Die Operationen der Hooks-DLL wurden erfolgreich geladen");
    const QString failed = QStringLiteral("Die Hooks-DLL konnte nicht erfolgreich geladen werden");

    EXPECT_EQ(run(QStringLiteral(PLENWICK_BINARY), QStringLiteral("testhost"), true), QStringList{loaded});
    EXPECT_EQ(run(QStringLiteral(PLENWICK_BINARY), QStringLiteral("TESTHOST"), false), QStringList{failed});
    EXPECT_EQ(run(QStringLiteral(PLENWICK_BINARY), QStringLiteral("otherhost"), true), QStringList{});

    // A copy of the program without the library beside it: the library is
    // looked for only there, never on a search path.
    const QString copy = Home("bin/plenwick");
    QDir().mkpath(Home("bin"));
    ASSERT_TRUE(QFile::copy(QStringLiteral(PLENWICK_BINARY), copy));
    QFile(copy).setPermissions(QFile(copy).permissions() | QFile::ExeOwner);
    EXPECT_EQ(run(copy, QStringLiteral("testhost"), true), QStringList{failed});
}
