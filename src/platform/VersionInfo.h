// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

/// The program's own version strings, compiled in from the build's project
/// version: "ProductName", "CompanyName", "FileDescription", "FileVersion",
/// "LegalCopyright", "Comments". Unknown names give "".
QString OwnVersionString(const QString& name);

/// Shorthands for the two strings nearly everything needs.
QString ProductName();
QString CompanyName();
