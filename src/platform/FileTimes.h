// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <optional>

#include <QString>

#include "base/DateTime.h"

/// Whether a regular file (links followed) exists at the path: one stat call,
/// cheap enough for a probe per list line.
bool IsExistingFile(const QString& path);

/// A file's last-write time as local date-time, truncated to even seconds (the
/// two-second resolution that object dates and ids are made for); none when
/// the file does not exist.
std::optional<TDateTime> FileLastWriteTime(const QString& path);

/// Sets a file's last-write time, leaving its access time; false on failure.
bool SetFileLastWriteTime(const QString& path, TDateTime value);
