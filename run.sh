#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Sets up, builds and starts Plenwick. Arguments go to the program.
set -euo pipefail
top=$(cd "$(dirname "$0")" && pwd)
"$top/scripts/setup.sh"
exec "${PLENWICK_BUILD_DIR:-$top/build}/src/plenwick" "$@"
