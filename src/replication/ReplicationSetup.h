// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

/// Plugs the replication into start-up and the orderly shutdown: the
/// listeners of the process-wide server, the server sessions and client
/// threads as shutdown participants, and the start of an update session.
/// Called once by the program entry, before the main window's creation.
void InstallReplication();

/// Starts an update conversation with the host, or, while one runs, marks
/// one more to follow it (however many are asked meanwhile): a call-back or
/// timer tick during an update never runs a second one beside it.
void RequestUpdate(const QString& host, int port);
