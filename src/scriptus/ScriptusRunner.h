// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <functional>

#include <QString>

/// Replays Scriptus command files. The executor implements it; the
/// installation run of an update session uses it.
class TScriptusRunner
{
public:
    virtual ~TScriptusRunner() = default;
    /// Loads a command file; false (reported by the runner) when it does not load.
    virtual bool LoadCommandFile(const QString& path) = 0;
    /// Replays the file loaded last.
    virtual void StartExecutor() = 0;
};

/// Installs the runner (nullptr removes it).
void SetScriptusRunner(TScriptusRunner* runner);

/// Calls use with the installed runner, or nullptr when there is none; the
/// runner cannot be exchanged meanwhile.
void WithScriptusRunner(const std::function<void(TScriptusRunner*)>& use);
