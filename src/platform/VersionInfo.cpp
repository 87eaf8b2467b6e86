// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/VersionInfo.h"

#include "platform/BuildVersion.h"

QString OwnVersionString(const QString& name)
{
    struct Entry {
        const char* name;
        const char* value;
    };
    static const Entry kEntries[] = {
        {"ProductName", "Plenwick"},
        {"CompanyName", "Plenwick"},
        {"FileDescription", "Plenwick - Verteilung von Dateien und Ordnern im Netzwerk"},
        {"FileVersion", BuildVersion()},
        {"LegalCopyright", "Copyright (C) 2026 Die Plenwick-Entwickler"},
        {"Comments", "0"},
    };
    for (const Entry& entry : kEntries)
        if (name.compare(QLatin1String(entry.name), Qt::CaseInsensitive) == 0)
            return QString::fromUtf8(entry.value);
    return QString();
}

QString ProductName()
{
    return OwnVersionString(QStringLiteral("ProductName"));
}

QString CompanyName()
{
    return OwnVersionString(QStringLiteral("CompanyName"));
}
