// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include "base/DateTime.h"
#include "support/TestHome.h"

class TSyncObject;

/// A test home with a folder for source trees. At the end of each test the
/// imports and the folder monitor are stopped and the object list freed.
class TFolderTreeHome : public TTestHome
{
protected:
    void SetUp() override;
    void TearDown() override;

    /// Writes a file below the tree folder (folders made as needed), dated a
    /// day ago unless given; returns its absolute path.
    QString MakeFile(const QString& relative, const QByteArray& content = QByteArray(), TDateTime date = 0) const;
    /// Appends a persistent object for a source name, refreshed from its file.
    TSyncObject* AddObject(const QString& sourceName, bool distributeFolder = false, bool includeSubfolders = false);
    /// The source names of the object list, in list order.
    QStringList SourceNames() const;
    /// Runs events until a protocol entry with this text is there, count times.
    bool WaitForMessage(const QString& message, int count = 1, int timeoutMs = 10000);
    /// Runs events until the imports have ended and the monitor watches.
    bool WaitUntilWatching(int count = 1);

    QString m_tree; ///< absolute, with trailing "/"
};
