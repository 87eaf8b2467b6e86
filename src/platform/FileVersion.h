// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QString>

/// The file version from the fixed file info of a PE file's version resource,
/// as "major.minor.release.build"; "?" for a missing file, a file that is no PE
/// file or has no version resource, and for any header or size that does not
/// fit the file.
QString FileVersion(const QString& path);

/// A string of the version resource's string table ("ProductName",
/// "CompanyName", ...) in the first language/code-page pair of its translation
/// list; "" when there is none.
QString FileVersionString(const QString& path, const QString& name);

/// The same two readers over a file image in memory.
QString ImageVersion(const QByteArray& image);
QString ImageVersionString(const QByteArray& image, const QString& name);
