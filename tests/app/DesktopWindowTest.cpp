// SPDX-License-Identifier: GPL-3.0-or-later
#include <atspi/atspi.h>
#include <csignal>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/DesktopSession.h"
#include "support/TestHome.h"

namespace {

std::string Text(gchar* owned)
{
    std::string text = owned != nullptr ? owned : "";
    g_free(owned);
    return text;
}

// The first accessible of that role and name below node, depth first (a
// new reference), or nullptr.
AtspiAccessible* Find(AtspiAccessible* node, const std::string& role, const std::string& name, int depth = 0)
{
    if (node == nullptr || depth > 40)
        return nullptr;
    if (Text(atspi_accessible_get_role_name(node, nullptr)) == role &&
        Text(atspi_accessible_get_name(node, nullptr)) == name)
        return static_cast<AtspiAccessible*>(g_object_ref(node));
    const int count = atspi_accessible_get_child_count(node, nullptr);
    for (int i = 0; i < count; ++i) {
        AtspiAccessible* child = atspi_accessible_get_child_at_index(node, i, nullptr);
        AtspiAccessible* found = Find(child, role, name, depth + 1);
        if (child != nullptr)
            g_object_unref(child);
        if (found != nullptr)
            return found;
    }
    return nullptr;
}

// The names of the children of that role that take room on the screen.
std::vector<std::string> VisibleChildren(AtspiAccessible* node, const std::string& role)
{
    std::vector<std::string> names;
    const int count = atspi_accessible_get_child_count(node, nullptr);
    for (int i = 0; i < count; ++i) {
        AtspiAccessible* child = atspi_accessible_get_child_at_index(node, i, nullptr);
        if (child == nullptr)
            continue;
        // A hidden tab keeps its accessible; it only has no extent.
        AtspiRect* extents = atspi_component_get_extents(ATSPI_COMPONENT(child), ATSPI_COORD_TYPE_SCREEN, nullptr);
        if (Text(atspi_accessible_get_role_name(child, nullptr)) == role && extents != nullptr && extents->width > 0)
            names.push_back(Text(atspi_accessible_get_name(child, nullptr)));
        g_free(extents);
        g_object_unref(child);
    }
    return names;
}

// The captions of the main window's visible pages.
std::vector<std::string> PageCaptions(AtspiAccessible* frame)
{
    std::vector<std::string> pages;
    AtspiAccessible* pageControl = Find(frame, "filler", "Seiten");
    const int count = pageControl != nullptr ? atspi_accessible_get_child_count(pageControl, nullptr) : 0;
    for (int i = 0; i < count; ++i) {
        AtspiAccessible* child = atspi_accessible_get_child_at_index(pageControl, i, nullptr);
        if (child != nullptr && Text(atspi_accessible_get_role_name(child, nullptr)) == "page tab list")
            pages = VisibleChildren(child, "page tab");
        if (child != nullptr)
            g_object_unref(child);
    }
    if (pageControl != nullptr)
        g_object_unref(pageControl);
    return pages;
}

// The top-level frame of that name, searched among the desktop's applications.
AtspiAccessible* FindFrame(const std::string& name, std::string* seen = nullptr)
{
    AtspiAccessible* desktop = atspi_get_desktop(0);
    AtspiAccessible* found = nullptr;
    const int apps = atspi_accessible_get_child_count(desktop, nullptr);
    for (int a = 0; a < apps && found == nullptr; ++a) {
        AtspiAccessible* app = atspi_accessible_get_child_at_index(desktop, a, nullptr);
        const int windows = app != nullptr ? atspi_accessible_get_child_count(app, nullptr) : 0;
        for (int w = 0; w < windows && found == nullptr; ++w) {
            AtspiAccessible* window = atspi_accessible_get_child_at_index(app, w, nullptr);
            const std::string windowName = window != nullptr ? Text(atspi_accessible_get_name(window, nullptr)) : "";
            if (seen != nullptr)
                *seen += "[" + windowName + "] ";
            if (window != nullptr && windowName == name)
                found = window;
            else if (window != nullptr)
                g_object_unref(window);
        }
        if (app != nullptr)
            g_object_unref(app);
    }
    g_object_unref(desktop);
    return found;
}

AtspiAccessible* WaitForFrame(const std::string& name, std::string& seen)
{
    for (int i = 0; i < 200; ++i) {
        seen.clear();
        if (AtspiAccessible* frame = FindFrame(name, &seen))
            return frame;
        g_usleep(50000);
    }
    return nullptr;
}

// The real program on a private desktop, found through the accessibility tree.
class DesktopWindowTest : public TTestHome
{
protected:
    static void SetUpTestSuite()
    {
        ASSERT_TRUE(TDesktopSession::Shared().Start()) << TDesktopSession::Shared().Error();
        atspi_init();
    }
    static void TearDownTestSuite() { TDesktopSession::Shared().Stop(); }

    std::vector<std::string> RunAndReadPages(const std::string& caption)
    {
        TDesktopSession& desktop = TDesktopSession::Shared();
        qunsetenv("QT_QPA_PLATFORM");
        TDesktopSession::TProgram* program = desktop.Launch({PLENWICK_BINARY});
        EXPECT_NE(program, nullptr);
        if (program == nullptr)
            return {};
        std::vector<std::string> pages;
        std::string seen;
        AtspiAccessible* frame = WaitForFrame(caption, seen);
        EXPECT_NE(frame, nullptr) << "no window \"" << caption << "\", only " << seen;
        if (frame != nullptr) {
            pages = PageCaptions(frame);
            AtspiAccessible* menuBar = Find(frame, "menu bar", "Hauptmenü");
            EXPECT_NE(menuBar, nullptr);
            if (menuBar != nullptr)
                g_object_unref(menuBar);
            g_object_unref(frame);
        }
        // SIGTERM asks as closing the window does: the program ends in order.
        kill(program->pid, SIGTERM);
        bool ended = false;
        for (int i = 0; i < 100 && !ended; ++i)
            ended = TDesktopSession::Exited(*program, 100);
        EXPECT_TRUE(ended) << "the program did not end after SIGTERM";
        const QByteArray protocol = ReadFile(qEnvironmentVariable("PLENWICK_PROTOCOL_FILE"));
        EXPECT_TRUE(protocol.contains("[Main] Signal SIGTERM empfangen"));
        EXPECT_TRUE(protocol.contains("[Quit] Anwendung ist bereit zum Terminieren"));
        EXPECT_TRUE(protocol.contains("[Main] Anwendung wurde beendet"));
        return pages;
    }
};

TEST_F(DesktopWindowTest, MasterServerShowsItsPagesAndEndsOnSigterm)
{
    WriteFile(Home(QStringLiteral("plenwick.config")), "[Options]\r\nMiscWriteProtocolToFile=1\r\n");
    const std::vector<std::string> pages = RunAndReadPages("Plenwick - [testhost:42424]");
    EXPECT_EQ(pages, (std::vector<std::string>{"Übersicht", "Objekte", "Clients", "Skriptus"}));
}

TEST_F(DesktopWindowTest, ClientLacksTheMasterServersPages)
{
    WriteFile(Home(QStringLiteral("plenwick.config")),
              "[Options]\r\nNetServerName=master01\r\nMiscShowProtocol=1\r\nMiscWriteProtocolToFile=1\r\n");
    const std::vector<std::string> pages = RunAndReadPages("Plenwick - [master01:42424]");
    EXPECT_EQ(pages, (std::vector<std::string>{"Übersicht", "Objekte", "Clients", "Protokoll"}));
}

} // namespace
