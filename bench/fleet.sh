#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Fleet: on the multi-host test bed (root), one master and N clients; a new
# 64 MiB object appears on the master. For each number of clients, with the
# links unshaped and shaped (tc tbf), providers on and off: the seconds until
# every client holds it byte-identical, the MiB the master sent and how many
# clients the master served.
#   fleet.sh [client counts, default "1 10 20"] [rate, default 100mbit] [limit in s per run]
# Logs of each host are left in $FLEET_LOGS (default /tmp/fleet-logs).
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build=${PLENWICK_BUILD_DIR:-$top/build}
cmake --build "$build" -j2 --target plenwick >/dev/null
counts=${1:-1 10 20}
rate=${2:-100mbit}
export FLEET_LIMIT=${3:-600} FLEET_LOGS=${FLEET_LOGS:-/tmp/fleet-logs}
mkdir -p "$FLEET_LOGS"
for shaped in "" "$rate"; do
  for clients in $counts; do
    for providers in 1 0; do
      FLEET_RATE=$shaped FLEET_CLIENTS=$clients FLEET_PROVIDERS=$providers \
        "$top/tests/testbed/testbed.sh" "$build/src/plenwick" "$top/bench/fleet/Fleet.sh" | grep -E '^(FLEET|FAIL)' || true
    done
  done
done
