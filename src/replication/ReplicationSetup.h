// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

/// Plugs the replication into start-up and the orderly shutdown: the
/// listeners of the process-wide server, the server sessions and client
/// threads as shutdown participants, and the start of an update session.
/// Called once by the program entry, before the main window's creation.
void InstallReplication();
