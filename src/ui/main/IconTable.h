// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QIcon>
#include <QString>

/// The program's image list: every icon index the protocol, the pages and the
/// lists use, each with a freedesktop icon-theme name and a picture of our own
/// in the resources, so each index stays distinct whatever theme is installed.
namespace IconTable {

/// The icon of an index; the theme's picture when the theme has the name,
/// else our own. A null icon for -1 and for indices the table lacks.
QIcon Icon(int index);

/// Our own picture only (tests, and where a theme icon would not fit).
QIcon OwnIcon(int index);

/// Gives every window of the program its own icon (46), so dialogs and the
/// prompts' logo show it too. Once, after QApplication exists.
void InstallProgramIcon();

/// The theme name of an index; empty when the table lacks it.
QString ThemeName(int index);

/// Every index of the table, ascending.
QList<int> Indices();

} // namespace IconTable
