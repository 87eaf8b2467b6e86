// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <QStringList>

#include "replication/ClientBase.h"

/// Which instance the command line asks for.
enum class TStartForm {
    Working,     ///< no form of its own: the working instance (or the monitor)
    FileMove,    ///< exactly two parameters: rename the first file to the second
    Send,        ///< "/SEND <command> <host>": send one remote command, then end
    QueryServer, ///< "/QUERYSERVER" alone: a working instance that asks for its master server
    Controls,    ///< "/CONTROLS" alone: list the desktop's controls, start nothing else
    Scriptus,    ///< "/SCRIPTUS=<file>" alone: run a command file, start nothing else
    Help,        ///< "--help" alone: print the usage, start nothing
    Version,     ///< "--version" alone: print the version, start nothing
    Fingerprint, ///< "--fingerprint" alone: print this computer's key fingerprint
};

/// The command line, read once at start.
struct TCommandLine {
    TStartForm form = TStartForm::Working;
    /// "/SVC" is among the parameters, in any letter case, whatever the form.
    bool serviceSwitch = false;
    /// FileMove: the two paths as given (they may be quoted).
    QString moveFrom;
    QString moveTo;
    /// Send: the command and the host it goes to.
    TConnectKind sendKind = TConnectKind::Terminate;
    QString sendHost;
    /// Scriptus: the command file as given.
    QString scriptusFile;
};

/// The parameters of main's argument vector, without the program path.
QStringList CommandLineParameters(int argc, char* argv[]);

/// Parameters are the command line without the program path. A new form
/// gets its value above and its test in ParseCommandLine, nowhere else.
TCommandLine ParseCommandLine(const QStringList& parameters);
