// SPDX-License-Identifier: GPL-3.0-or-later
#include <QMainWindow>
#include "platform/Store.h"
#include "ui/dialogs/Prompt.h"
#include "ui/pages/Page.h"
