// SPDX-License-Identifier: GPL-3.0-or-later
#include <atspi/atspi.h>

#include <gtest/gtest.h>

#include <string>

#include "support/DesktopSession.h"

namespace {

// Depth-first search for a control of that role and name below an accessible.
bool Contains(AtspiAccessible* node, const std::string& role, const std::string& name, int depth = 0)
{
    if (!node || depth > 30)
        return false;
    gchar* nodeRole = atspi_accessible_get_role_name(node, nullptr);
    gchar* nodeName = atspi_accessible_get_name(node, nullptr);
    const bool match = nodeRole && nodeName && role == nodeRole && name == nodeName;
    g_free(nodeRole);
    g_free(nodeName);
    if (match)
        return true;
    const int count = atspi_accessible_get_child_count(node, nullptr);
    for (int i = 0; i < count; ++i) {
        AtspiAccessible* child = atspi_accessible_get_child_at_index(node, i, nullptr);
        const bool found = Contains(child, role, name, depth + 1);
        if (child)
            g_object_unref(child);
        if (found)
            return true;
    }
    return false;
}

bool DesktopContains(const std::string& role, const std::string& name)
{
    AtspiAccessible* desktop = atspi_get_desktop(0);
    const bool found = Contains(desktop, role, name);
    g_object_unref(desktop);
    return found;
}

class DesktopSessionTest : public ::testing::Test
{
protected:
    static void SetUpTestSuite()
    {
        ASSERT_TRUE(TDesktopSession::Shared().Start()) << TDesktopSession::Shared().Error();
        atspi_init();
    }
};

TEST_F(DesktopSessionTest, ControlsOfBothToolkitsAreSeenThroughTheAccessibilityBus)
{
    TDesktopSession& desktop = TDesktopSession::Shared();
    for (const char* probe : {SCRIPTUS_QT_PROBE, SCRIPTUS_GTK_PROBE}) {
        SCOPED_TRACE(probe);
        TDesktopSession::TProgram* program = desktop.Launch({probe});
        ASSERT_NE(program, nullptr);
        ASSERT_EQ(TDesktopSession::WaitForLine(*program, "ready"), "ready");
        bool seen = false;
        for (int i = 0; i < 100 && !seen; ++i) {
            seen = DesktopContains("push button", "Weiter") && DesktopContains("check box", "Option");
            if (!seen)
                g_usleep(50000);
        }
        EXPECT_TRUE(seen);
        desktop.End(program);
    }
}

TEST_F(DesktopSessionTest, ExportsTheDesktopToChildPrograms)
{
    EXPECT_EQ(std::string(getenv("DISPLAY")), TDesktopSession::Shared().Display());
    EXPECT_NE(getenv("DBUS_SESSION_BUS_ADDRESS"), nullptr);
    EXPECT_STREQ(getenv("QT_LINUX_ACCESSIBILITY_ALWAYS_ON"), "1");
}

} // namespace
