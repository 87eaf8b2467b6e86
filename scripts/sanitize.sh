#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Developer check, not part of CI: builds the program and the tests with
# AddressSanitizer and UndefinedBehaviorSanitizer in build-asan, runs every
# unit test binary and, as root, the test bed cases. Sanitizer reports land
# in build-asan/sanitizer/ (one file per process); the script fails when any
# is there. Leak checking is off (set ASAN_OPTIONS to change that).
set -euo pipefail

top=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build="$top/build-asan"
reports="$build/sanitizer"
flags="-fsanitize=address,undefined -fno-omit-frame-pointer"

if [ ! -f "$build/build.ninja" ]; then
  cmake -S "$top" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DPLENWICK_BENCH=OFF \
    -DCMAKE_CXX_FLAGS="$flags" -DCMAKE_EXE_LINKER_FLAGS="-fsanitize=address,undefined"
fi
cmake --build "$build" -j2

rm -rf "$reports"
mkdir -p "$reports"
export ASAN_OPTIONS="${ASAN_OPTIONS:-detect_leaks=0}:log_path=$reports/asan"
export UBSAN_OPTIONS="print_stacktrace=1:log_path=$reports/ubsan"
export PLENWICK_TEST_SLOWDOWN=6

status=0
for t in "$build"/tests/*_tests; do
  "$t" --gtest_brief=1 || status=1
done
if [ "$(id -u)" -eq 0 ]; then
  (cd "$build" && ctest -R testbed -j2 --output-on-failure) || status=1
fi

if compgen -G "$reports/*" >/dev/null; then
  echo "Sanitizer-Berichte in $reports:" >&2
  ls "$reports" >&2
  status=1
fi
exit $status
