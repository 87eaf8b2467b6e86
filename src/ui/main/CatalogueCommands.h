// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <functional>

#include <QString>
#include <QStringList>

class QObject;

/// Asks a yes/no question; true for yes.
using TAsk = std::function<bool(const QString& text)>;
/// Shows a warning with OK.
using TWarn = std::function<void(const QString& text)>;

/// Removes the objects of these list keys (stored source names) after asking
/// for each; a folder-structure object is refused with a warning. Both view
/// builds and the folder monitoring are stopped first, a folder tree's
/// generated objects go with it; afterwards the list is saved, the object
/// views are rebuilt and the monitoring starts again. Returns how many went.
int DeleteObjects(const QStringList& keys, const TAsk& ask, const TWarn& warn);

/// Removes the clients of these names after asking for each, saves the
/// client list and rebuilds the client views. Returns how many went.
int DeleteClients(const QStringList& names, const TAsk& ask);

/// "Objekt öffnen" (explore false): opens the installed target of the object
/// of this list key with its program, else its source. "Im Explorer öffnen"
/// (explore true): shows the target folder in the file manager, else the
/// source folder. The files are looked at and the program started off the
/// main thread; a failure reaches warn there afterwards, unless context is gone.
void OpenObject(const QString& key, bool explore, QObject* context, const TWarn& warn);
