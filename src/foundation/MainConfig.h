// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

#include "foundation/PoolConfig.h"

/// Creates the main configuration (plenwick.config, section "Options") and the
/// layout configuration (registry, "Styles") and registers every option with
/// its default and filters. Called once at start, on the main thread; calling
/// it again discards both instances and starts afresh (tests).
void RegisterAllOptions();

/// The two instances; valid after RegisterAllOptions.
TConfig& MainConfig();
TConfig& LayoutConfig();
bool OptionsRegistered();

/// NetServerName equals this computer's name, ignoring case.
bool IsMasterServer();

/// Whether the options file held NetServerName at registration.
bool ServerConfigured();

/// "Plenwick - [server:port]", or "Plenwick - [Monitor]" in a monitor instance.
QString MainCaption();
