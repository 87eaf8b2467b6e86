// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QString>

/// Writes a whole file through a temporary file in the same folder and a rename,
/// so a crash leaves either the old or the new content. The file keeps the
/// mode of the one it replaces; in a setgid folder it is also group-writable.
/// Raises EInOutError.
void WriteFileAtomically(const QString& path, const QByteArray& content);

/// Reads a whole file; a missing file gives no content and false.
bool ReadWholeFile(const QString& path, QByteArray& content);
