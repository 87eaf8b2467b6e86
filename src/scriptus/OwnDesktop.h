// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <functional>
#include <memory>

#include <QString>

#include "scriptus/ScriptusThread.h"

/// A desktop of an installation run's own, where no desktop session can be
/// used (the service, nobody logged in): the programs the run starts live on
/// it, and each command file is replayed on it by a process of this program
/// of its own, since the accessibility library binds a process to one bus.
class TOwnDesktop
{
public:
    virtual ~TOwnDesktop() = default;
    /// The display, for the protocol.
    virtual QString Name() const = 0;
    /// Replays the command file on this desktop; stop is asked now and then,
    /// and a yes ends the replay early.
    virtual TScriptusOutcome Run(const QString& commandFile, const std::function<bool()>& stop) = 0;
    /// How many programs other than the desktop's own still live on it.
    virtual int ProgramsOnIt() const = 0;
};

/// Makes the headless desktop; nullptr with the reason (German) when a part
/// of it does not come up.
std::unique_ptr<TOwnDesktop> StartHeadlessDesktop(QString* reason);
