#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Object transfer over loopback: seconds and peak RSS of each side for
# compression off, default settings (first client) and default settings
# (second client, cache hit), beside gzip -9 of the same file.
# Sizes in MiB as arguments (default: 1 64).
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build=${PLENWICK_BUILD_DIR:-$top/build}
cmake -S "$top" -B "$build" -G Ninja -DPLENWICK_BENCH=ON >/dev/null
cmake --build "$build" -j2 --target TransferBench >/dev/null
bench=$build/bench/TransferBench
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
sizes=("$@")
[ ${#sizes[@]} -eq 0 ] && sizes=(1 64)

# Half compressible text, half random bytes.
make_object() {
  local mib=$1 file=$2 half=$(( $1 * 512 * 1024 ))
  { (yes "Plenwick verteilt Objekte an alle Clients im Netz. $RANDOM" || true) | head -c "$half"
    head -c "$half" /dev/urandom; } >"$file"
}

# Prints "seconds rss-KiB" of a command.
measure() {
  /usr/bin/time -f "%e %M" -o "$work/time" "$@" >/dev/null
  cat "$work/time"
}

printf "%-6s %-22s %9s %14s %14s\n" size case seconds "server-RSS-MiB" "client-RSS-MiB"
for mib in "${sizes[@]}"; do
  obj=$work/obj-$mib.bin
  make_object "$mib" "$obj"
  for case in off first cache; do
    home=$work/home-$mib-$case
    mkdir -p "$home"
    compress=1; [ $case = off ] && compress=0
    [ $case = cache ] && cp -r "$work/home-$mib-first/Cache" "$home/"
    coproc SERVER { /usr/bin/time -f "%M" -o "$work/server-rss" "$bench" serve "$home" "$obj" $compress 0; }
    read -r port <&"${SERVER[0]}"
    client_home=$work/client-$mib-$case
    mkdir -p "$client_home"
    read -r secs rss < <(measure "$bench" fetch "$client_home" "$port" "$(basename "$obj")" "$work/got.bin")
    cmp -s "$obj" "$work/got.bin" || { echo "received file differs" >&2; exit 1; }
    exec {SERVER[1]}>&-
    wait "$SERVER_PID" || true
    printf "%-6s %-22s %9s %14.1f %14.1f\n" "${mib}M" "$case" "$secs" "$(echo "$(cat "$work/server-rss")/1024" | bc -l)" "$(echo "$rss/1024" | bc -l)"
  done
  read -r secs rss < <(measure gzip -9 -k -c "$obj")
  printf "%-6s %-22s %9s %14s %14.1f\n" "${mib}M" "gzip -9" "$secs" "-" "$(echo "$rss/1024" | bc -l)"
done
