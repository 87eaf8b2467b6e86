// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <optional>

#include <QString>

/// The key fingerprint each client presented at its first login, by the
/// computer name its LOGIN gives (ignoring case), in the file
/// plenwick.clientkeys beside the options: one line "<computer>",<fingerprint>.
/// Thread-safe; read at the first use, written whole on every change.

/// The fingerprint recorded for the computer, if any.
std::optional<QString> RecordedClientKey(const QString& computer);
/// Records the fingerprint of a computer that has none yet; a recorded one
/// stays. Raises EInOutError when the file cannot be written.
void RecordClientKey(const QString& computer, const QString& fingerprint);
/// Forgets the computer's key, so that its next login records a new one.
void ForgetClientKey(const QString& computer);
