// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

/// What "plenwick --help" prints: every command-line form and the environment
/// variables, in German.
QString HelpText();

/// What "plenwick --version" prints: product, version and copyright.
QString VersionText();
