// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

/// Makes the window German whatever LANG says: Qt's own texts (standard
/// buttons, file dialogs, edit field menus) from Qt's German translation,
/// and German numbers, dates and times. Call once, after QApplication exists.
/// False when Qt's German translation is not installed.
bool InstallGermanTexts();
