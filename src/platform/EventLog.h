// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

/// One entry in the system log under the product name; event type 1 is an error.
void WriteEventLog(const QString& text, int eventType);
