// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

/// Raises the soft limit of open descriptors toward the hard limit (up to
/// 65 536), so that a server with hundreds of sessions does not run out of
/// them at the usual 1 024. Gives the limit now in force, -1 for none.
long RaiseDescriptorLimit();
