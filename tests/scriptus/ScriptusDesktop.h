// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>

#include <gtest/gtest.h>

#include "support/DesktopSession.h"
#include "support/TestHome.h"

/// A test program folder on the private desktop, with the two test programs
/// at hand. The desktop is shared by the whole test binary; each test ends
/// the programs it started.
class TScriptusDesktopTest : public TTestHome, public ::testing::WithParamInterface<const char*>
{
protected:
    static void SetUpTestSuite();
    void SetUp() override;
    void TearDown() override;

    /// Starts the test program of this test's toolkit and waits until it is ready.
    TDesktopSession::TProgram* StartProbe(const std::vector<std::string>& options = {});
    /// The program's base name, as control paths show it.
    static QString ProbeName();
    /// Waits for a line from the program that starts with the prefix.
    static bool Saw(TDesktopSession::TProgram* program, const std::string& prefix, int timeoutMs = 10000);

    std::vector<TDesktopSession::TProgram*> m_programs;
};

/// Whether the X server of the test desktop holds any key down.
bool AnyKeyDown();
