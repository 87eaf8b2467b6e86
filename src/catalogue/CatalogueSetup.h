// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

/// Plugs the catalogue's list loads into the start-up sequence: the object
/// list is followed by its imports and the folder monitor, which the last
/// import to end starts anew.
void InstallCatalogue();
