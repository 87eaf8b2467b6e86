// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

/// Plugs the catalogue's list loads into the start-up sequence.
void InstallCatalogue();
