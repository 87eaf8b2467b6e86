#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Sets up and builds like run.sh, then runs the whole test suite.
set -euo pipefail
top=$(cd "$(dirname "$0")" && pwd)
"$top/scripts/setup.sh"
cd "${PLENWICK_BUILD_DIR:-$top/build}"
ctest --output-on-failure --timeout 900 -j "$(nproc)" "$@"
