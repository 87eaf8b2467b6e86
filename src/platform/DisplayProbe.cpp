// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/DisplayProbe.h"

#include <xcb/xcb.h>

#include <QByteArray>

bool DisplayAvailable()
{
    const QByteArray display = qgetenv("DISPLAY");
    if (display.isEmpty())
        return false;
    xcb_connection_t* connection = xcb_connect(display.constData(), nullptr);
    const bool open = connection != nullptr && xcb_connection_has_error(connection) == 0;
    if (connection != nullptr)
        xcb_disconnect(connection);
    return open;
}

QString DisplayUnavailableReason()
{
    const QByteArray display = qgetenv("DISPLAY");
    if (display.isEmpty())
        return QStringLiteral("Keine Anzeige gesetzt (DISPLAY ist leer), die Anwendung läuft ohne Fenster");
    return QStringLiteral("Die Anzeige \"%1\" kann nicht geöffnet werden, die Anwendung läuft ohne Fenster")
        .arg(QString::fromLocal8Bit(display));
}
