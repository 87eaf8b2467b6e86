#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Object transfer over loopback, beside gzip -9 of the same file and rsync
# --whole-file from an rsync daemon on 127.0.0.1: seconds and peak RSS of
# each side for compression off, the first compressed transfer (the server
# prepares the form) and a cache hit (a second client).
# Each case runs on a clear-text session, as an older client holds it
# (unpacked, written through a staging file in large steps and synced; the
# goals are judged on these), and as this version ships it: TLS, and the
# digest checked against the master's. Ends with the goals, each as a ratio
# to its peer with PASS or FAIL:
#   cache hit and compression off at least 1.5 times rsync's speed; first
#   compressed transfer within 0.65 times gzip -9's time; peak RSS at most
#   16 MiB on each side.
# The speed goals are judged on sizes of 64 MiB and more (below that process
# start-up outweighs the transfer), or on the largest size when all are small.
# Sizes in MiB as arguments (default: 1 256). Needs rsync; as root the
# script installs it when missing.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build=${PLENWICK_BUILD_DIR:-$top/build}
if ! command -v rsync >/dev/null; then
  [ "$(id -u)" -eq 0 ] || { echo "rsync is missing" >&2; exit 1; }
  apt-get install -y rsync >/dev/null 2>&1 || { apt-get update >/dev/null && apt-get install -y rsync >/dev/null; }
fi
cmake -S "$top" -B "$build" -G Ninja -DPLENWICK_BENCH=ON >/dev/null
cmake --build "$build" -j2 --target TransferBench >/dev/null
bench=$build/bench/TransferBench
work=$(mktemp -d)
daemon_pid=
cleanup() {
  if [ -n "$daemon_pid" ] && [ -s "$work/rsyncd.pid" ]; then kill "$(cat "$work/rsyncd.pid")" 2>/dev/null || true; fi
  rm -rf "$work"
}
trap cleanup EXIT
sizes=("$@")
[ ${#sizes[@]} -eq 0 ] && sizes=(1 256)

# shellcheck source=support/objects.sh
source "$top/bench/support/objects.sh"

# Prints "seconds rss-KiB" of a command.
measure() {
  /usr/bin/time -f "%e %M" -o "$work/time" "$@" >/dev/null
  cat "$work/time"
}
mib_of() { echo "$1/1024" | bc -l; }
# Our processes append "<peak RSS> <library pages>" in KiB here on their way out.
export PLENWICK_BENCH_MEMORY=$work/memory
# The largest own memory (peak less library pages) reported so far, in MiB.
own_mib() { awk '{ own = $1 - $2; if (own > most) most = own } END { printf "%.1f", most / 1024 }' "$PLENWICK_BENCH_MEMORY"; }

# Starts a server for the file, compressing or not; sets port and SERVER.
serve() {
  coproc SERVER { /usr/bin/time -f "%M" -o "$work/server-rss" "$bench" serve "$1" "$2" 0; }
  read -r port <&"${SERVER[0]}"
}
stop_server() {
  exec {SERVER[1]}>&-
  wait "$SERVER_PID" || true
  server_rss=$(mib_of "$(cat "$work/server-rss")")
}
# Fetches the object once as this version does (TLS, digest checked); sets
# secs and rss.
fetch() {
  read -r secs rss < <(measure "$bench" fetch "$port" "$obj" "$work/got.bin")
  cmp -s "$obj" "$work/got.bin" || { echo "received file differs" >&2; exit 1; }
  rss=$(mib_of "$rss")
}
# The same on a clear-text session; sets secs and rss.
fetch_plain() {
  read -r secs rss < <(measure "$bench" wire "$port" "$(basename "$obj")" 0 "$work/got.bin")
  cmp -s "$obj" "$work/got.bin" || { echo "the clear-text session brought a different file" >&2; exit 1; }
  rss=$(mib_of "$rss")
}
# The best of three clear-text fetches; sets secs and rss.
fetch_plain_best() {
  local best= most=0 _
  for _ in 1 2 3; do
    fetch_plain
    if [ -z "$best" ] || [ "$(echo "$secs < $best" | bc -l)" -eq 1 ]; then best=$secs; fi
    if [ "$(echo "$rss > $most" | bc -l)" -eq 1 ]; then most=$rss; fi
  done
  secs=$best rss=$most
}

# An rsync daemon on 127.0.0.1 serving the work folder read-only; sets
# rsync_port and daemon_pid. Its peak RSS covers the child that serves the
# connection, as the daemon reaps it.
start_rsync_daemon() {
  local owner=
  # Run as root, the daemon would drop to nobody, who cannot read the work folder.
  [ "$(id -u)" -eq 0 ] && owner=$'uid = root\ngid = root'
  cat >"$work/rsyncd.conf" <<EOF
use chroot = no
pid file = $work/rsyncd.pid
log file = $work/rsyncd.log
$owner
[bench]
path = $work
read only = yes
EOF
  local try
  for try in 1 2 3 4 5; do
    rsync_port=$(( 20000 + RANDOM % 40000 ))
    /usr/bin/time -f "%M" -o "$work/daemon-rss" \
      rsync --daemon --no-detach --address=127.0.0.1 --port="$rsync_port" --config="$work/rsyncd.conf" &
    daemon_pid=$!
    local tick
    for tick in $(seq 50); do
      rsync "rsync://127.0.0.1:$rsync_port/" >/dev/null 2>&1 && return 0
      kill -0 "$daemon_pid" 2>/dev/null || break
      sleep 0.1
    done
    stop_rsync_daemon
  done
  echo "rsync daemon does not start" >&2
  exit 1
}
stop_rsync_daemon() {
  sleep 0.2 # lets the daemon reap the child that served the client first
  # TERM goes to the daemon itself, so that time stays to write its peak.
  if [ -s "$work/rsyncd.pid" ]; then kill -TERM "$(cat "$work/rsyncd.pid")" 2>/dev/null || true; fi
  wait "$daemon_pid" 2>/dev/null || true
  rm -f "$work/rsyncd.pid"
  daemon_pid=
  daemon_rss=$(mib_of "$(tail -n 1 "$work/daemon-rss")")
}

row() { printf "%-6s %-22s %9s %15s %15s\n" "$@"; }
mb() { printf "%.1f" "$1"; }
# note <mib> <case> <seconds> <server RSS> <client RSS>: keeps and prints a row.
declare -A secs_of srss_of crss_of
note() {
  secs_of[$1,$2]=$3 srss_of[$1,$2]=$4 crss_of[$1,$2]=$5
  row "${1}M" "$2" "$3" "$(mb "$4")" "$(mb "$5")"
}

row size case seconds "server RSS MiB" "client RSS MiB"
for mib in "${sizes[@]}"; do
  obj=$work/obj-$mib.bin
  make_object "$mib" "$obj"

  serve "$obj" 0
  fetch; tls=("$secs" "$rss")
  fetch_plain_best
  stop_server
  note "$mib" "off" "$secs" "$server_rss" "$rss"
  note "$mib" "off, TLS+digest" "${tls[0]}" "$server_rss" "${tls[1]}"

  # A server of its own for the clear-text first transfer: its cache is new.
  serve "$obj" 1
  fetch_plain; stop_server
  note "$mib" "first" "$secs" "$server_rss" "$rss"

  serve "$obj" 1
  fetch; first=("$secs" "$rss")
  fetch; cached=("$secs" "$rss")
  fetch_plain_best
  stop_server
  # The server's peak covers every client.
  note "$mib" "first, TLS+digest" "${first[0]}" "$server_rss" "${first[1]}"
  note "$mib" "cached" "$secs" "$server_rss" "$rss"
  note "$mib" "cached, TLS+digest" "${cached[0]}" "$server_rss" "${cached[1]}"

  read -r secs rss < <(measure gzip -9 -c "$obj")
  secs_of[$mib,gzip]=$secs
  row "${mib}M" "gzip -9" "$secs" "-" "$(mb "$(mib_of "$rss")")"

  rm -f "$work/got.bin"
  start_rsync_daemon
  read -r secs rss < <(measure rsync --whole-file "rsync://127.0.0.1:$rsync_port/bench/$(basename "$obj")" "$work/got.bin")
  cmp -s "$obj" "$work/got.bin" || { echo "rsync brought a different file" >&2; exit 1; }
  rm -f "$work/got.bin"
  # rsync does not sync; the same with one sync of its file, as ours makes.
  read -r synced _ < <(measure sh -c "rsync --whole-file rsync://127.0.0.1:$rsync_port/bench/$(basename "$obj") $work/got.bin && sync -d $work/got.bin")
  stop_rsync_daemon
  secs_of[$mib,rsync]=$secs
  row "${mib}M" "rsync -W daemon" "$secs" "$(mb "$daemon_rss")" "$(mb "$(mib_of "$rss")")"
  row "${mib}M" "rsync -W, then sync" "$synced" "-" "-"
  read -r secs _ < <(measure dd if="$obj" of="$work/got.bin" bs=1M conv=fdatasync status=none)
  row "${mib}M" "dd, synced (the disk)" "$secs" "-" "-"
  rm -f "$obj" "$work/got.bin"
done
echo "Own memory (peak RSS less library pages), largest of every process of ours: $(own_mib) MiB"

# TLS against clear text: the cached form of a 256 MiB object (PLENWICK_TLS_MIB)
# taken off the wire both ways, best of three each. No kernel TLS on this
# machine, so the encryption runs in user space.
tls_mib=${PLENWICK_TLS_MIB:-256}
obj=$work/obj-tls.bin
make_object "$tls_mib" "$obj"
serve "$obj" 1
fetch # makes the cached form
best() { printf '%s\n' "$@" | sort -g | head -1; }
tls_runs=() plain_runs=()
for _ in 1 2 3; do
  tls_runs+=("$("$bench" wire "$port" "$(basename "$obj")" 1)")
  plain_runs+=("$("$bench" wire "$port" "$(basename "$obj")" 0)")
done
stop_server
rm -f "$obj" "$work/got.bin"
tls_secs=$(best "${tls_runs[@]}") plain_secs=$(best "${plain_runs[@]}")
ktls=no
grep -qw tls /proc/sys/net/ipv4/tcp_available_ulp 2>/dev/null && ktls=yes
row "${tls_mib}M" "cached, TLS" "$(printf %.2f "$tls_secs")" "-" "-"
row "${tls_mib}M" "cached, plain" "$(printf %.2f "$plain_secs")" "-" "-"
printf "TLS: %.0f MiB/s, clear text %.0f MiB/s, kernel TLS: %s\n" \
  "$(echo "$tls_mib / $tls_secs" | bc -l)" "$(echo "$tls_mib / $plain_secs" | bc -l)" "$ktls"
if command -v openssl >/dev/null; then
  openssl speed -evp aes-128-gcm -seconds 1 -bytes 16384 2>/dev/null | grep -i '^aes-128-gcm' |
    awk '{ printf "openssl speed -evp aes-128-gcm, 16 KiB blocks: %s\n", $NF }'
fi

judged=()
for mib in "${sizes[@]}"; do
  if [ "$mib" -ge 64 ]; then judged+=("$mib"); fi
done
if [ ${#judged[@]} -eq 0 ]; then
  largest=${sizes[0]}
  for mib in "${sizes[@]}"; do
    if [ "$mib" -gt "$largest" ]; then largest=$mib; fi
  done
  judged=("$largest")
fi

failed=0
# verdict <name> <true|false> <figures>
verdict() {
  local result=PASS
  if [ "$2" != true ]; then result=FAIL failed=1; fi
  printf "%-4s %s (%s)\n" "$result" "$1" "$3"
}
holds() { [ "$(echo "$1" | bc -l)" -eq 1 ] && echo true || echo false; }
# speed_goal <name> <case> <reference> <factor>: seconds of case <= factor * reference.
speed_goal() {
  local all=true figures=() m
  for m in "${judged[@]}"; do
    local mine=${secs_of[$m,$2]} theirs=${secs_of[$m,$3]}
    [ "$(holds "$mine <= $4 * $theirs")" = true ] || all=false
    figures+=("${m}M ${mine} s vs ${theirs} s, time ratio $(printf %.2f "$(echo "$mine / $theirs" | bc -l)")")
  done
  verdict "$1" "$all" "$(printf '%s; ' "${figures[@]}" | sed 's/; $//')"
}
echo
# The clear-text sessions are judged; what TLS and the digest add is in the
# rows marked TLS+digest above.
speed_goal "cache hit at least 1.5 times rsync's speed" cached rsync 0.667
speed_goal "compression off at least 1.5 times rsync's speed" off rsync 0.667
speed_goal "first compressed transfer within 0.65 times gzip -9's time" first gzip 0.65
# With kernel TLS the send stays zero-copy and the cost is small; without it
# the figures above are reported, not judged.
if [ "$ktls" = yes ]; then
  verdict "TLS cache hit within 1.1 times clear text" "$(holds "$tls_secs <= 1.1 * $plain_secs")" \
    "$tls_secs s vs $plain_secs s"
else
  echo "---- TLS cache hit within 1.1 times clear text (no kernel TLS here: reported above, not judged)"
fi
worst=0
for m in "${judged[@]}"; do
  for c in off first cached "off, TLS+digest" "first, TLS+digest" "cached, TLS+digest"; do
    for v in "${srss_of[$m,$c]}" "${crss_of[$m,$c]}"; do
      if [ "$(holds "$v > $worst")" = true ]; then worst=$v; fi
    done
  done
done
verdict "peak RSS at most 16 MiB on each side" "$(holds "$worst <= 16")" \
  "largest $(mb "$worst") MiB, of it at most $(own_mib) MiB the process's own, the rest library pages"
exit "$failed"
