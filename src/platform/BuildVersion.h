// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

/// The version text of this build ("0.1.0"). Compiled per program rather than
/// into the core, so that two programs on the same libraries may differ in it.
const char* BuildVersion();
