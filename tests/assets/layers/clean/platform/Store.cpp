// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/Store.h"
#include "base/Text.h"
#include <QFile>
