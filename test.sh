#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Sets up and builds like run.sh, then runs the whole test suite.
set -euo pipefail
top=$(cd "$(dirname "$0")" && pwd)
"$top/scripts/setup.sh"
cd "${PLENWICK_BUILD_DIR:-$top/build}"
# The desktop tests drive other toolkits over the accessibility bus, whose
# calls now and then go unanswered on a loaded machine: a failed test gets
# one more run. Its first failure stays in the output.
ctest --output-on-failure --timeout 900 -j "$(nproc)" --repeat until-pass:2 "$@"
