// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/EventLog.h"

#include <syslog.h>

#include "platform/VersionInfo.h"

void WriteEventLog(const QString& text, int eventType)
{
    // openlog keeps the pointer: the identity must outlive every later entry.
    static const QByteArray identity = ProductName().toUtf8();
    openlog(identity.constData(), LOG_PID, LOG_DAEMON);
    syslog(eventType == 1 ? LOG_ERR : LOG_INFO, "%s", text.toUtf8().constData());
}
