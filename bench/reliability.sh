#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Reliability of the replication on the multi-host test bed (run as root):
#   kill-client  a client dies by SIGKILL while it receives a 1 GiB object
#   kill-master  the master dies by SIGKILL while it prepares, then while it sends one
#   rounds       20 synchronisation rounds of 100 small objects with two clients
# Prints one table of what was observed. Arguments: the cases to run
# (KillClient KillMaster Rounds; default all). RELIABILITY_ROUNDS sets the
# number of rounds, RELIABILITY_LOGS a folder that keeps every host's log.
set -uo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build=${PLENWICK_BUILD_DIR:-$top/build}
cmake -S "$top" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null || exit 1
cmake --build "$build" -j2 --target plenwick >/dev/null || exit 1
cases=("$@")
[ ${#cases[@]} -eq 0 ] && cases=(KillClient KillMaster Rounds)
results=$(mktemp)
trap 'rm -f "$results"' EXIT
export BENCH_TOP=$top RELIABILITY_RESULTS=$results
status=0
for name in "${cases[@]}"; do
  begin=$SECONDS
  "$top/tests/testbed/testbed.sh" "$build/src/plenwick" "$top/bench/reliability/$name.sh" >"$results.out" 2>&1
  rc=$?
  [ $rc = 0 ] || { status=1; sed -n '/^FAIL/p;/^SKIP/p' "$results.out"; }
  printf '%s|case %s|%s in %d s\n' "$name" "$([ $rc = 0 ] && echo passed || echo FAILED)" "$name" \
    $((SECONDS - begin)) >>"$results"
  rm -f "$results.out"
done
printf '%-12s %-52s %s\n' scenario observation value
printf '%-12s %-52s %s\n' -------- ----------- -----
while IFS='|' read -r scenario what value; do
  printf '%-12s %-52s %s\n' "$scenario" "$what" "$value"
done <"$results"
exit $status
