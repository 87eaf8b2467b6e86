#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# The object views with a large catalogue, offscreen: builds ViewsBench in
# build/ and runs it (three runs of each case). Arguments go to the binary.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build=${PLENWICK_BUILD_DIR:-$top/build}
cmake -S "$top" -B "$build" -G Ninja -DPLENWICK_BENCH=ON >/dev/null
cmake --build "$build" -j2 --target ViewsBench
QT_QPA_PLATFORM=${QT_QPA_PLATFORM:-offscreen} "$build/bench/ViewsBench" "$@"
