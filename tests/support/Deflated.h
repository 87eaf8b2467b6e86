// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>

/// The whole buffer as one zlib stream, the form a compressed transfer sends.
QByteArray Deflated(const QByteArray& data);
