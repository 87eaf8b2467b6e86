// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <QStringList>

class TClientBase;

/// The program's own copy that replaces the running file when that cannot be
/// renamed: product name + "Replace" in the program folder.
QString ReplaceCopyPath();

/// One line per object that needs an action here, for the new-objects prompt:
/// target path, " (<description>)" when there is one, " löschen" for a deletion.
QStringList NewObjectLines();

/// The confirmation of an update session: false without asking when the list
/// is empty (logged), else the user's answer through the UI port.
bool AskNewObjects();

/// Brings every object of the local catalogue into the state the master
/// server asks for: deletes, fetches, stages, confirms, backs up, puts in
/// place, registers, saves the catalogue, starts, and finally restarts or
/// replaces the program when its own file was among the objects.
void RunInstallation(TClientBase& client);
