// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

#include "base/ContentDigest.h"

/// Key of HKEY_LOCAL_MACHINE in the registry store that holds the moves left
/// for the next start: each value is named after the target path and holds
/// the staging path.
QString RunOnceKey();

/// The target path with its extension replaced by ".backup" (appended when the
/// file name has none), where the previous version is kept.
QString BackupFilePath(const QString& targetPath);

/// Leaves the move of a staging file onto its target for the next start,
/// with the size and digest the file had when it was checked. False when the
/// machine hive cannot be written.
bool RecordPendingMove(const QString& targetPath, const QString& stagingPath, const TContentDigest& digest);

/// A move onto the target is waiting for the next start.
bool HasPendingMove(const QString& targetPath);

/// Carries out every recorded move: the staging file, when it still has the
/// recorded size and digest, replaces the target, the previous target is
/// kept as its backup, and the value is deleted. A staging file that changed
/// meanwhile is removed instead. A move that fails keeps its value for the
/// next start. Reports each move.
void CarryOutPendingMoves();
