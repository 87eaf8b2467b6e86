#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Runs the checks of .clang-tidy (the naming rule among them) over the given
# source files, or over every file of src/, against the build's compile
# database. Slow: minutes per hundred files. Exit status 1 on any finding.
set -euo pipefail

top=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build="${PLENWICK_BUILD_DIR:-$top/build}"
cd "$top"
if [ $# -gt 0 ]; then
  files=("$@")
else
  mapfile -t files < <(find src -name '*.cpp' | sort)
fi
out=$(printf '%s\n' "${files[@]}" | xargs -P "$(nproc)" -n 4 clang-tidy -p "$build" --quiet 2>/dev/null || true)
findings=$(grep -E '(warning|error):' <<<"$out" || true)
if [ -n "$findings" ]; then
  echo "$out"
  exit 1
fi
echo "clang-tidy: keine Befunde in ${#files[@]} Dateien"
