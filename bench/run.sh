#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Builds every benchmark (one binary per bench/*.cpp) in build/ and runs each.
# Arguments go to every benchmark binary (for example --benchmark_filter=Load).
# TransferBench is a server and client pair driven by transfer.sh, WindowBench
# needs a display and is driven by window.sh; both run last. Ends with the
# speed and memory goals, each beside its figure, with PASS or FAIL (a goal
# whose case a filter left out shows as not measured):
#   object list of 100 000 objects: save under 150 ms, load under 150 ms
#   without the look at each source (each load less the looks timed right
#   after it), each the best of five runs;
#   1 000 000 download records in at most 100 MiB of the process, with the
#   confirmation rate flat (at 10^6 records at least 0.8 times the rate at
#   10^3), the most memory and the median rate of three runs each, the sizes
#   taking turns; and the transfer goals transfer.sh judges.
# With --goals first, only the benchmarks behind the goals run.
# Exits with 1 when a goal fails.
set -euo pipefail
goals_only=
if [ "${1:-}" = --goals ]; then
  goals_only=1
  shift
fi
top=$(cd "$(dirname "$0")/.." && pwd)
build=${PLENWICK_BUILD_DIR:-$top/build}
cmake -S "$top" -B "$build" -G Ninja -DPLENWICK_BENCH=ON >/dev/null
targets=()
for src in "$top"/bench/*.cpp; do
  targets+=("$(basename "$src" .cpp)")
done
cmake --build "$build" -j2 --target "${targets[@]}"
results=$(mktemp -d)
trap 'rm -rf "$results"' EXIT
for name in "${targets[@]}"; do
  [ "$name" = TransferBench ] || [ "$name" = WindowBench ] && continue
  [ -n "$goals_only" ] && [ "$name" != CatalogueBench ] && [ "$name" != DownloadBench ] && continue
  echo "== $name"
  extra=()
  # The download sizes take turns, so that a slower spell of the machine does
  # not fall on one size alone and pass for a rate that is not flat.
  [ "$name" = DownloadBench ] && extra=(--benchmark_enable_random_interleaving=true)
  "$build/bench/$name" --benchmark_out="$results/$name.json" --benchmark_out_format=json "${extra[@]}" "$@"
done
echo "== transfer.sh"
"$top/bench/transfer.sh" | tee "$results/transfer.txt" || true
if [ -z "$goals_only" ]; then
  echo "== window.sh"
  "$top/bench/window.sh"
fi

# figure <bench> <case> <field>: one value of a benchmark's JSON output (a
# field to a line), empty when the case did not run.
figure() {
  [ -f "$results/$1.json" ] || return 0
  awk -v name="$2" -v field="\"$3\":" '
    $1 == "\"name\":" { current = $0; sub(/^[^"]*"name": "/, "", current); sub(/",?$/, "", current); next }
    current == name && $1 == field { printf "%.6f\n", $2 + 0; exit }' "$results/$1.json"
}
failed=0
# goal <name> <condition for bc, or empty when not measured> <figures>
goal() {
  if [ -z "$2" ]; then
    printf -- "---- %s (not measured)\n" "$1"
    return
  fi
  local result=PASS
  if [ "$(echo "$2" | bc -l)" -ne 1 ]; then result=FAIL failed=1; fi
  printf "%-4s %s (%s)\n" "$result" "$1" "$3"
}
round() { printf "%.${2:-0}f" "$1"; }

echo
echo "== Goals"
save=$(figure CatalogueBench SaveObjects/repeats:5_min real_time)
goal "object list of 100 000 saved under 150 ms" "${save:+$save < 150}" "$(round "${save:-0}") ms"
load=$(figure CatalogueBench LoadObjects/repeats:5_min real_time)
bare=$(figure CatalogueBench LoadObjects/repeats:5_min without_looks_ms)
looks=$(figure CatalogueBench LoadObjects/repeats:5_min looks_ms)
goal "object list of 100 000 loaded under 150 ms without the look at each source" "${bare:+$bare < 150}" \
  "$(round "${bare:-0}") ms; with the looks $(round "${load:-0}") ms, the looks alone $(round "${looks:-0}") ms"
downloads=BM_DownloadOkRoundTrip/records
rss=$(figure DownloadBench "$downloads:1000000/repeats:3/real_time_max" rss_MiB)
per=$(figure DownloadBench "$downloads:1000000/repeats:3/real_time_max" bytes_per_record)
goal "1 000 000 download records in at most 100 MiB" "${rss:+$rss <= 100}" \
  "process $(round "${rss:-0}" 1) MiB, the list $(round "${per:-0}" 1) bytes a record"
few=$(figure DownloadBench "$downloads:1000/repeats:3/real_time_median" items_per_second)
many=$(figure DownloadBench "$downloads:1000000/repeats:3/real_time_median" items_per_second)
if [ -n "$few" ] && [ -n "$many" ]; then
  goal "confirmations as fast at 10^6 records as at 10^3 (at least 0.8 times)" "$many >= 0.8 * $few" \
    "$(round "$many")/s against $(round "$few")/s, ratio $(round "$(echo "$many / $few" | bc -l)" 2)"
else
  goal "confirmations as fast at 10^6 records as at 10^3 (at least 0.8 times)" "" ""
fi
grep -E '^(PASS|FAIL|----) ' "$results/transfer.txt" || true
grep -q '^FAIL ' "$results/transfer.txt" && failed=1
exit "$failed"
