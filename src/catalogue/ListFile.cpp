// SPDX-License-Identifier: GPL-3.0-or-later
#include "catalogue/ListFile.h"

#include <QFile>

#include "base/AtomicFile.h"
#include "base/TextFields.h"
#include "foundation/PoolInterlocked.h"
#include "foundation/ServiceMode.h"
#include "foundation/UiAdapter.h"
#include "platform/ProgramPaths.h"

TListFile::TListFile(const char* extension, const char* category) : m_extension(extension), m_category(category) {}

QString TListFile::Path() const
{
    return ProgramFile(QLatin1String(m_extension));
}

bool TListFile::Load(const std::function<bool(const QString& line)>& readLine)
{
    const QString path = Path();
    QByteArray content;
    if (!ReadWholeFile(path, content))
        return false;
    bool skipped = false;
    for (const QString& line : SplitLines(content)) {
        if (line.isEmpty())
            continue;
        try {
            if (!readLine(line))
                skipped = true;
        } catch (const EConvertError& error) {
            Log(QLatin1String(m_category),
                QStringLiteral("Beim Lesen der Zeile \"%1\" aus \"%2\" %3").arg(line, path, ExceptionSuffix(error)),
                46);
            skipped = true;
        }
    }
    std::lock_guard guard(m_mutex);
    m_badOriginal = skipped ? path : QString();
    return true;
}

QString TListFile::Write(const QStringList& lines)
{
    // A monitor's lists belong to the service, which may be writing them now.
    if (IsMonitorInstance())
        return QString();
    std::lock_guard guard(m_mutex);
    const QString note = m_badOriginal.isEmpty() ? QString() : KeepOriginalAside();
    WriteFileAtomically(Path(), JoinLines(lines), TFileAccess::Group);
    return note;
}

bool TListFile::KeepsOriginalAside() const
{
    std::lock_guard guard(m_mutex);
    return !m_badOriginal.isEmpty();
}

QString TListFile::KeepOriginalAside()
{
    QString note;
    QByteArray original;
    if (ReadWholeFile(m_badOriginal, original)) {
        // Never replace an earlier copy: it may hold other unreadable lines.
        QString aside = m_badOriginal + QStringLiteral(".bad");
        for (int n = 2; QFile::exists(aside); ++n)
            aside = m_badOriginal + QStringLiteral(".bad.") + QString::number(n);
        WriteFileAtomically(aside, original, TFileAccess::Group);
        note = QStringLiteral("Datei \"%1\" enthielt unlesbare Zeilen und wurde als \"%2\" aufbewahrt")
                   .arg(m_badOriginal, aside);
    }
    m_badOriginal.clear();
    return note;
}

void ShowListWarning(const QString& text)
{
    TUiAdapter::ShowMessage(TMessageKind::Warning, text);
}
