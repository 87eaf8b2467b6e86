// SPDX-License-Identifier: GPL-3.0-or-later
#include "catalogue/ListFile.h"

#include <sys/mman.h>

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
    return LoadUtf8([&readLine](QByteArrayView line) { return readLine(QString::fromUtf8(line)); });
}

bool TListFile::LoadUtf8(const std::function<bool(QByteArrayView line)>& readLine)
{
    const QString path = Path();
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    // Mapped rather than copied: the page cache is read in place, where a copy
    // would first fault in fresh memory as large as the list. The lists are
    // replaced by a rename or grown at their end, never rewritten in place, so
    // the mapping stays whole.
    const qint64 size = file.size();
    QByteArray content;
    QByteArrayView view;
    if (uchar* mapped = size > 0 ? file.map(0, size) : nullptr) {
        // All page entries at once rather than a fault per few pages; an
        // older kernel without it faults them in as they are read.
        ::madvise(mapped, static_cast<size_t>(size), MADV_POPULATE_READ);
        view = QByteArrayView(mapped, size);
    } else
        view = content = file.readAll();
    bool skipped = false;
    TLineCursor lines(view);
    for (QByteArrayView line; lines.Next(line);) {
        if (line.isEmpty())
            continue;
        try {
            if (!readLine(line))
                skipped = true;
        } catch (const EConvertError& error) {
            Log(QLatin1String(m_category),
                QStringLiteral("Beim Lesen der Zeile \"%1\" aus \"%2\" %3")
                    .arg(QString::fromUtf8(line), path, ExceptionSuffix(error)),
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
    return Write([&lines](TAtomicFile& file) { file.Buffer() = JoinLines(lines); });
}

QString TListFile::Write(const std::function<void(TAtomicFile& file)>& fill)
{
    // A monitor's lists belong to the service, which may be writing them now.
    if (IsMonitorInstance())
        return QString();
    std::lock_guard guard(m_mutex);
    const QString note = m_badOriginal.isEmpty() ? QString() : KeepOriginalAside();
    TAtomicFile file(Path(), TFileAccess::Group);
    fill(file);
    file.Commit();
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
