// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

class QAbstractItemView;
class QRect;
class TFormMain;

/// The layout configuration's column-width text of a list: the widths of all
/// columns in order, joined by ",". Empty for a list without columns.
QString ColumnWidthsText(const QAbstractItemView* list);

/// Applies such a text: each number that is 0 or more becomes the width of
/// the column at its position; negative numbers, missing numbers and text
/// that is no number leave their column as it is.
void ApplyColumnWidthsText(QAbstractItemView* list, const QString& text);

/// The window's geometry from the layout: a geometry that lies on no screen,
/// and a position never stored, is centred on the primary screen.
QRect RestoredGeometry(int left, int top, int width, int height, bool positionStored);

/// Geometry, tree widths and column widths from the layout configuration.
void RestoreMainLayout(TFormMain& form);
/// The same, and the active page, into the layout configuration (not saved).
void SaveMainLayout(TFormMain& form);
