// SPDX-License-Identifier: GPL-3.0-or-later
#include "foundation/UiPort.h"

QString TProtocolEntry::FileLine() const
{
    return QStringLiteral("%1 [%2] %3").arg(time, category, message);
}
