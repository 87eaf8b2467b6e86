// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

class QAbstractItemModel;
class QListView;
class QString;
class QTreeView;
class QWidget;

/// The symbols style of a catalogue list: large pictures with captions, in
/// equal cells laid out in batches, so 100 000 rows stay cheap.
QListView* MakeSymbolsView(const QString& caption, QAbstractItemModel* model, QWidget* parent);
/// Makes a details view (one row per entry, every column) fit for a catalogue
/// list: uniform rows, whole rows selected, rows dragged.
void PrepareDetailsView(QTreeView& view, QAbstractItemModel* model);
