// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <functional>

#include <gtest/gtest.h>

#include <QString>
#include <QTemporaryDir>

#include "support/QtPrinters.h"
#include "support/RecordingUi.h"

/// Gives each test its own program folder, registry folder, protocol file and
/// XDG folders (the machine-wide autostart folder too), a recording
/// front-end, and freshly registered options.
class TTestHome : public ::testing::Test
{
protected:
    void SetUp() override;
    void TearDown() override;

    /// Path of a file in the program folder.
    QString Home(const QString& name = QString()) const;
    void WriteFile(const QString& path, const QByteArray& content) const;
    QByteArray ReadFile(const QString& path) const;
    /// Registers all options again, as a new start of the program would.
    void Restart();

    QTemporaryDir m_dir;
    TRecordingUi m_ui;
};

/// Runs the main event loop until the condition holds or the time is up
/// (times PLENWICK_TEST_SLOWDOWN when set). Once it holds, whatever workers
/// reported to the front-end so far has arrived.
bool RunEventsUntil(const std::function<bool()>& condition, int timeoutMs = 10000);
/// Runs the main event loop for exactly that long (a pause a test relies on).
void RunEventsFor(int milliseconds);
