// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

/// Renames a file in one step with rename(2), replacing an existing target.
/// Never falls back to copying: a move that cannot be done atomically fails,
/// so nobody ever sees half a file under either name.
bool MoveFileReplacing(const QString& from, const QString& to);
