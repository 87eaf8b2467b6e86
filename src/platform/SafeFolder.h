// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <sys/types.h>

#include <optional>

#include <QString>

#include "base/Exceptions.h"

/// A folder could not be opened as one.
class ESafeFolderError : public EPlenwick
{
public:
    using EPlenwick::EPlenwick;
};

/// A folder opened once, whose entries are reached through that handle and
/// never through a symbolic link: in a folder an ordinary user may write to,
/// a link planted under a name that root writes is removed, not followed.
class TSafeFolder
{
public:
    /// Raises ESafeFolderError when the path is no folder that can be opened.
    explicit TSafeFolder(const QString& path);
    ~TSafeFolder();
    TSafeFolder(const TSafeFolder&) = delete;
    TSafeFolder& operator=(const TSafeFolder&) = delete;

    /// The folder's path with a trailing slash.
    const QString& Path() const { return m_path; }
    /// Whether anything, a link too, lies under the name.
    bool Exists(const QString& name) const;
    /// The mode of a regular file under the name; none for a link or anything else.
    std::optional<mode_t> RegularFileMode(const QString& name) const;
    /// Removes the entry itself (a link, never what it points to); true when
    /// nothing is left under the name.
    bool Remove(const QString& name);
    /// A new regular file under the name, open for writing; fails (-1) when
    /// anything lies there already. The caller owns the descriptor.
    int CreateExclusive(const QString& name, mode_t mode);
    /// A regular file under the name, open for reading; -1 for a link or none.
    int OpenForReading(const QString& name) const;
    /// Renames within the folder, replacing what lies under the new name.
    bool Rename(const QString& from, const QString& to);

private:
    int m_fd = -1;
    QString m_path;
};
