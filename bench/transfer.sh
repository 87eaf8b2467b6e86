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

# Starts a server for the file; sets port and SERVER.
serve() {
  coproc SERVER { /usr/bin/time -f "%M" -o "$work/server-rss" "$bench" serve "$1" "$2" 0; }
  read -r port <&"${SERVER[0]}"
}
stop_server() {
  exec {SERVER[1]}>&-
  wait "$SERVER_PID" || true
  server_rss=$(echo "$(cat "$work/server-rss")/1024" | bc -l)
}
# Fetches the object once; sets secs and rss.
fetch() {
  read -r secs rss < <(measure "$bench" fetch "$port" "$(basename "$obj")" "$work/got.bin")
  cmp -s "$obj" "$work/got.bin" || { echo "received file differs" >&2; exit 1; }
  rss=$(echo "$rss/1024" | bc -l)
}

printf "%-6s %-16s %9s %15s %15s\n" size case seconds "server RSS MiB" "client RSS MiB"
for mib in "${sizes[@]}"; do
  obj=$work/obj-$mib.bin
  make_object "$mib" "$obj"
  serve "$obj" 0
  fetch; stop_server
  printf "%-6s %-16s %9s %15.1f %15.1f\n" "${mib}M" "off" "$secs" "$server_rss" "$rss"
  serve "$obj" 1
  fetch; first=("$secs" "$rss")
  fetch; stop_server
  # The server's peak covers both clients.
  printf "%-6s %-16s %9s %15.1f %15.1f\n" "${mib}M" "default, first" "${first[0]}" "$server_rss" "${first[1]}"
  printf "%-6s %-16s %9s %15.1f %15.1f\n" "${mib}M" "default, cached" "$secs" "$server_rss" "$rss"
  read -r secs rss < <(measure gzip -9 -c "$obj")
  printf "%-6s %-16s %9s %15s %15.1f\n" "${mib}M" "gzip -9" "$secs" "-" "$(echo "$rss/1024" | bc -l)"
done
