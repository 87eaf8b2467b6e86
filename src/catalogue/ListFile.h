// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <functional>
#include <mutex>

#include <QByteArrayView>
#include <QString>
#include <QStringList>

#include "base/AtomicFile.h"

/// The file of one catalogue list beside the program. A load that meets a line
/// it cannot read skips it and reads on; the next write then first keeps the
/// original file aside (".bad", ".bad.2", ...) so that what could not be read
/// is never overwritten. Writes are atomic.
class TListFile
{
public:
    /// extension: ".objects", ".clients", ...; category: the owning unit's log category.
    TListFile(const char* extension, const char* category);

    QString Path() const;

    /// Hands every non-empty line to readLine. A line it refuses (false) or that
    /// raises a conversion error (logged with the line) is skipped. Returns false
    /// when there is no file.
    bool Load(const std::function<bool(const QString& line)>& readLine);
    /// Load with each line as its UTF-8 bytes, a view into the mapped file, for
    /// lists long enough that a text per line would count.
    bool LoadUtf8(const std::function<bool(QByteArrayView line)>& readLine);

    /// Replaces the file with these lines, each ended by CR LF; a monitor
    /// instance writes nothing. Returns the
    /// protocol text telling where the original was kept aside, or "": the
    /// caller logs it once it holds no lock the main thread may wait for.
    [[nodiscard]] QString Write(const QStringList& lines);
    /// Write with lines that fill appends to the file, as UTF-8 ended by CR LF
    /// each, for lists too long to stand in memory twice.
    [[nodiscard]] QString Write(const std::function<void(TAtomicFile& file)>& fill);

    /// Whether the last load skipped a line that has not been kept aside yet.
    bool KeepsOriginalAside() const;

private:
    QString KeepOriginalAside();

    const char* m_extension;
    const char* m_category;
    mutable std::mutex m_mutex;
    QString m_badOriginal; // the file a skipped line came from, until kept aside
};

/// The warning box for an incompatible list line; from any thread, never in
/// the service process.
void ShowListWarning(const QString& text);
