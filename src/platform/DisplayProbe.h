// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

/// Whether the X display named by DISPLAY can really be opened: tried with a
/// plain connection before any window library starts, which would otherwise
/// abort the process (e.g. under sudo without XAUTHORITY). False without DISPLAY.
bool DisplayAvailable();

/// Why DisplayAvailable said no, German, for the log line of a headless start.
QString DisplayUnavailableReason();
