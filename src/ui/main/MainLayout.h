// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

class QRect;
class TFormMain;

/// The window's geometry from the layout: a geometry that lies on no screen,
/// and a position never stored, is centred on the primary screen.
QRect RestoredGeometry(int left, int top, int width, int height, bool positionStored);

/// Geometry, tree widths and column widths from the layout configuration.
void RestoreMainLayout(TFormMain& form);
/// The same, and the active page, into the layout configuration (not saved).
void SaveMainLayout(TFormMain& form);
