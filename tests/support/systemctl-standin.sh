#!/bin/sh
# SPDX-License-Identifier: GPL-3.0-or-later
# Stands in for systemctl in tests (PLENWICK_SYSTEMCTL). Every call is
# appended to $PLENWICK_SYSTEMD_DIR/calls. "start" runs the unit's ExecStart as
# a plain process in its WorkingDirectory and keeps its pid in main.pid; "stop"
# sends that one process SIGTERM, as KillMode=process does. A file
# fail-<command> in the folder makes that command fail.
set -u
dir=${PLENWICK_SYSTEMD_DIR:?}
unit="$dir/plenwick.service"
pidfile="$dir/main.pid"
echo "$*" >> "$dir/calls"

block=1
if [ "${1:-}" = --no-block ]; then block=0; shift; fi
command=${1:-}
[ $# -gt 0 ] && shift

if [ -e "$dir/fail-$command" ]; then
    echo "Failed to $command: simulated failure" >&2
    exit 1
fi

running() {
    [ -s "$pidfile" ] && kill -0 "$(cat "$pidfile")" 2>/dev/null &&
        ! grep -q '^State:.*Z' "/proc/$(cat "$pidfile")/status" 2>/dev/null
}

start() {
    running && return 0
    if [ ! -s "$unit" ]; then
        echo "Unit plenwick.service not found or masked." >&2
        exit 5
    fi
    exec_line=$(sed -n 's/^ExecStart=//p' "$unit")
    folder=$(sed -n 's/^WorkingDirectory=//p' "$unit")
    eval "set -- $exec_line"
    (cd "$folder" && exec setsid "$@" >> "$dir/service.log" 2>&1 < /dev/null) &
    echo $! > "$pidfile"
}

stop() {
    running || return 0
    kill -TERM "$(cat "$pidfile")"
    if [ "$block" = 1 ]; then
        n=0
        while running && [ $n -lt 600 ]; do sleep 0.1; n=$((n + 1)); done
    fi
}

case "$command" in
is-active)
    if running; then echo active; exit 0; fi
    echo inactive
    exit 3
    ;;
start) start ;;
stop) stop ;;
restart) stop; start ;;
disable)
    [ "${1:-}" = --now ] && { block=1; stop; }
    ;;
daemon-reload | enable) ;;
*)
    echo "Unknown command $command" >&2
    exit 1
    ;;
esac
exit 0
