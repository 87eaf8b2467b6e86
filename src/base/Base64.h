// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <optional>

#include <QByteArray>

/// Base64 with the RFC 2045 alphabet and no line breaks: credentials, encoded
/// options and encoded transfers all use this one pair.
QByteArray Base64Encode(const QByteArray& data);

/// Strict decoder: any character outside the alphabet, or a wrong length or
/// padding, gives no result.
std::optional<QByteArray> Base64Decode(const QByteArray& text);
