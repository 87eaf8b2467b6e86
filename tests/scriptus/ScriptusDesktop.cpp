// SPDX-License-Identifier: GPL-3.0-or-later
#include "scriptus/ScriptusDesktop.h"

#include <xcb/xcb.h>

#include <chrono>
#include <cstdlib>
#include <thread>

#include <QFileInfo>

#include "foundation/MainConfig.h"
#include "platform/DesktopAutomation.h"
#include "scriptus/SyncControl.h"

void TScriptusDesktopTest::SetUpTestSuite()
{
    TDesktopSession& desktop = TDesktopSession::Shared();
    ASSERT_TRUE(desktop.Start()) << desktop.Error();
}

void TScriptusDesktopTest::SetUp()
{
    TTestHome::SetUp();
    ASSERT_TRUE(TDesktopSession::Shared().Running());
    // Paths in these tests name the program unless a test says otherwise.
    MainConfig().Set(QStringLiteral("ScriptusExcludeFilenameFromPath"), false);
    FreeControlList();
}

void TScriptusDesktopTest::TearDown()
{
    FreeControlList();
    for (TDesktopSession::TProgram* program : m_programs)
        TDesktopSession::Shared().End(program);
    m_programs.clear();
    TTestHome::TearDown();
}

namespace {

bool ControlsListed(pid_t pid)
{
    for (const TDesktopControl& control : DesktopAutomation::ReadControls())
        if (control.pid == pid && control.handle != control.window)
            return true;
    return false;
}

} // namespace

// A toolkit's accessibility bridge registers the program after its first
// idle moment: only once its controls are listed does a test act on them.
TDesktopSession::TProgram* TScriptusDesktopTest::StartProbe(const std::vector<std::string>& options)
{
    std::vector<std::string> argv{GetParam()};
    argv.insert(argv.end(), options.begin(), options.end());
    TDesktopSession::TProgram* program = TDesktopSession::Shared().Launch(argv);
    m_programs.push_back(program);
    EXPECT_TRUE(Saw(program, "ready"));
    for (int waited = 0; waited < 10000 && !ControlsListed(program->pid); waited += 50)
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    return program;
}

QString TScriptusDesktopTest::ProbeName()
{
    return QFileInfo(QString::fromUtf8(GetParam())).fileName();
}

bool TScriptusDesktopTest::Saw(TDesktopSession::TProgram* program, const std::string& prefix, int timeoutMs)
{
    return !TDesktopSession::WaitForLine(*program, prefix, timeoutMs).empty();
}

bool AnyKeyDown()
{
    xcb_connection_t* x = xcb_connect(nullptr, nullptr);
    xcb_query_keymap_reply_t* keymap = xcb_query_keymap_reply(x, xcb_query_keymap(x), nullptr);
    bool down = false;
    for (int i = 0; keymap && i < 32; ++i)
        down = down || keymap->keys[i] != 0;
    std::free(keymap);
    xcb_disconnect(x);
    return down;
}
