// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <functional>
#include <memory>

#include <QString>

#include "scriptus/OwnDesktop.h"
#include "scriptus/ScriptusBase.h"
#include "scriptus/ScriptusThread.h"

/// Replays Scriptus command files for the installation run of an update
/// session. The executor implements it; tests put in their own.
class TScriptusRunner
{
public:
    virtual ~TScriptusRunner() = default;
    /// Whether scripts can run on this computer now; else why not (German).
    virtual bool DesktopReady(QString* reason) = 0;
    /// Makes the programs started from now on show their controls.
    virtual void EnableAccessibility() = 0;
    /// A desktop of the run's own, for a computer without a desktop session;
    /// nullptr with the reason (German) when none could be made.
    virtual std::unique_ptr<TOwnDesktop> StartOwnDesktop(QString* reason) = 0;
    /// Reads a command file; false (reported by the reader) when it does not load.
    virtual bool LoadCommandFile(const QString& path, TScriptusFile& script) = 0;
    /// Replays the script and returns how its run ended. stop is asked now
    /// and then; when it says yes, the run is ended early.
    virtual TScriptusOutcome Run(const TScriptusFile& script, const std::function<bool()>& stop) = 0;
};

/// Installs the runner (nullptr removes it).
void SetScriptusRunner(TScriptusRunner* runner);

/// Calls use with the installed runner, or nullptr when there is none; the
/// runner cannot be exchanged meanwhile.
void WithScriptusRunner(const std::function<void(TScriptusRunner*)>& use);
