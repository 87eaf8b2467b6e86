// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <optional>

#include <QString>

/// Reverse lookup of a dotted IPv4 address (the hosts file and DNS both
/// serve); nothing when the address has no name.
std::optional<QString> ResolveAddress(const QString& address);
