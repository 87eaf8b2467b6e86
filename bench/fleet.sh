#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Fleet: on the multi-host test bed (root), one master and N clients (default
# 20); a new 64 MiB object appears on the master. Prints, with providers on
# and off, the seconds until every client holds it byte-identical and the
# MiB the master sent. Arguments: [clients] [limit in seconds per run].
# Logs of each host are left in $FLEET_LOGS (default /tmp/fleet-logs).
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build=${PLENWICK_BUILD_DIR:-$top/build}
cmake --build "$build" -j2 --target plenwick >/dev/null
export FLEET_CLIENTS=${1:-20} FLEET_LIMIT=${2:-300} FLEET_LOGS=${FLEET_LOGS:-/tmp/fleet-logs}
mkdir -p "$FLEET_LOGS"
for providers in 1 0; do
  FLEET_PROVIDERS=$providers "$top/tests/testbed/testbed.sh" "$build/src/plenwick" "$top/bench/fleet/Fleet.sh" |
    grep -E '^(FLEET|FAIL)' || true
done
