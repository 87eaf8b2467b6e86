// SPDX-License-Identifier: GPL-3.0-or-later
// The objects page shows the object catalogue: the folder tree of the objects and the list of the selected folder.
#pragma once

#include "ui/pages/ListPage.h"

/// "Objekte": object tree, splitter, object list; three status panels (the
/// second shows progress texts, the third the clock).
class TPageObjects : public TListPage
{
    Q_OBJECT
public:
    explicit TPageObjects(QWidget* parent = nullptr);
};
