#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Builds every benchmark (one binary per bench/*.cpp) in build/ and runs each.
# Arguments go to every benchmark binary (for example --benchmark_filter=Load).
# TransferBench is a server and client pair driven by transfer.sh, WindowBench
# needs a display and is driven by window.sh; both run last.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build=${PLENWICK_BUILD_DIR:-$top/build}
cmake -S "$top" -B "$build" -G Ninja -DPLENWICK_BENCH=ON >/dev/null
targets=()
for src in "$top"/bench/*.cpp; do
  targets+=("$(basename "$src" .cpp)")
done
cmake --build "$build" -j2 --target "${targets[@]}"
for name in "${targets[@]}"; do
  [ "$name" = TransferBench ] || [ "$name" = WindowBench ] && continue
  echo "== $name"
  "$build/bench/$name" "$@"
done
echo "== transfer.sh"
"$top/bench/transfer.sh"
echo "== window.sh"
"$top/bench/window.sh"
