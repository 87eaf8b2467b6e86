#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# The window's speed goals on a private X display: start-up to the window shown
# with an empty and a 100 000-object catalogue (also on the objects page in
# the details style, sorted by name) and the main thread's stalls
# until the object views are built (goals: shown < 0.5 s, no stall over
# 50 ms), and the stalls while 5 000 protocol entries a second arrive. Three
# runs each; each start-up run also gives the stalls of an idle window.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build=${PLENWICK_BUILD_DIR:-$top/build}
cmake --build "$build" -j2 --target WindowBench plenwick >/dev/null

work=$(mktemp -d)
xvfb_pid=
cleanup() {
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null && wait "$xvfb_pid" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT
exec 3<> "$work/display"
Xvfb -displayfd 3 -screen 0 1280x860x24 -nolisten tcp -noreset >/dev/null 2>&1 &
xvfb_pid=$!
for _ in $(seq 50); do [ -s "$work/display" ] && break; sleep 0.1; done
export DISPLAY=":$(head -n1 "$work/display")" QT_QPA_PLATFORM=xcb XDG_RUNTIME_DIR="$work"
unset WAYLAND_DISPLAY

# A session bus, as on every desktop: without one, each program would start
# a bus launcher of its own while it starts. What the bus and the services it
# starts write is left out.
bench() {
  dbus-run-session -- sh -c 'exec "$@" >&3 2>&4' sh "$build/bench/WindowBench" "$@" 3>&1 4>&2 >/dev/null 2>&1
}
bench --startup 0
bench --startup 100000
bench --startup 100000 details
bench --stall
