// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "scriptus/ScriptusRunner.h"

/// The runner of client installations on the real desktop: reads command
/// files with the file reader and replays them with the executor, one run
/// at a time.
class TExecutorRunner : public TScriptusRunner
{
public:
    bool DesktopReady(QString* reason) override;
    void EnableAccessibility() override;
    std::unique_ptr<TOwnDesktop> StartOwnDesktop(QString* reason) override;
    bool LoadCommandFile(const QString& path, TScriptusFile& script) override;
    TScriptusOutcome Run(const TScriptusFile& script, const std::function<bool()>& stop) override;
};

/// Plugs the executor into the program: client installations replay their
/// command files through it, and the orderly shutdown ends a running one.
void InstallScriptusExecutor();
