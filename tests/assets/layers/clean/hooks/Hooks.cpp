// SPDX-License-Identifier: GPL-3.0-or-later
#include "base/Text.h"
#include <cstdint>
