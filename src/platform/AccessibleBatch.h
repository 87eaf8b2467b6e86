// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct DBusConnection;

/// An accessible object as the accessibility bus names it.
struct TAccessibleRef {
    std::string bus;
    std::string path; ///< empty for a null reference
    std::string Key() const { return bus + '\n' + path; }
};

/// What one look at an accessible tells.
struct TAccessibleFacts {
    std::string name;
    std::string roleName;
    std::uint64_t states = 0; ///< bit n is state n of the accessibility library
    /// In child order; a null reference keeps its place with an empty path.
    std::vector<TAccessibleRef> children;
};

/// Asks a program's accessibility bridge for name, role, states and children
/// of many accessibles at once. Every question is sent before the first
/// answer is awaited, so the bridge answers them back to back rather than
/// one round trip each. An accessible that does not answer within the time
/// has empty facts. Runs on the desktop thread, on the library's connection.
std::vector<TAccessibleFacts> AskAccessibles(DBusConnection* connection, const std::vector<TAccessibleRef>& refs,
                                             int timeoutMs);
