// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

/// Plugs the catalogue's list loads into the start-up sequence: once every
/// list is in, the object list's imports and the folder monitor follow (the
/// last import to end starts it anew), and the download list is written
/// back cleaned.
void InstallCatalogue();
