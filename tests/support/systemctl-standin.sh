#!/bin/sh
# SPDX-License-Identifier: GPL-3.0-or-later
# Stands in for systemctl in tests (PLENWICK_SYSTEMCTL). Every call is
# appended to $PLENWICK_SYSTEMD_DIR/calls. "start" runs the unit's ExecStart as
# a plain process in its WorkingDirectory and keeps its pid in main.pid; "stop"
# sends it SIGTERM and then, as systemd does with the rest of a unit's control
# group unless KillMode=process, every process that descends from it (they
# carry PLENWICK_STANDIN_UNIT in their environment). With --no-block the job
# runs after the call has returned. A file fail-<command> in the folder makes
# that command fail.
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

unit_there() {
    if [ ! -s "$unit" ]; then
        echo "Unit plenwick.service not found or masked." >&2
        exit 5
    fi
}

start() {
    running && return 0
    exec_line=$(sed -n 's/^ExecStart=//p' "$unit")
    folder=$(sed -n 's/^WorkingDirectory=//p' "$unit")
    eval "set -- $exec_line"
    (cd "$folder" && PLENWICK_STANDIN_UNIT=$dir exec setsid "$@" >> "$dir/service.log" 2>&1 < /dev/null) &
    echo $! > "$pidfile"
}

stop() {
    if running; then
        kill -TERM "$(cat "$pidfile")"
        n=0
        while running && [ $n -lt 600 ]; do sleep 0.1; n=$((n + 1)); done
    fi
    [ "$(sed -n 's/^KillMode=//p' "$unit" 2>/dev/null)" = process ] && return 0
    for process in /proc/[0-9]*; do
        pid=${process#/proc/}
        [ "$pid" = $$ ] && continue
        grep -qzx "PLENWICK_STANDIN_UNIT=$dir" "$process/environ" 2>/dev/null && kill -TERM "$pid" 2>/dev/null
    done
    return 0
}

# A job without waiting: systemd runs it after the call has returned.
job() {
    if [ "$block" = 1 ]; then
        "$@"
    else
        ("$@") > /dev/null 2>&1 < /dev/null &
    fi
}

case "$command" in
is-active)
    if running; then echo active; exit 0; fi
    echo inactive
    exit 3
    ;;
start) unit_there; job start ;;
stop) job stop ;;
restart)
    unit_there
    restart() { stop; start; }
    job restart
    ;;
disable)
    [ "${1:-}" = --now ] && stop
    ;;
daemon-reload | enable) ;;
*)
    echo "Unknown command $command" >&2
    exit 1
    ;;
esac
exit 0
