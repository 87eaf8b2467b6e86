# SPDX-License-Identifier: GPL-3.0-or-later
# Helpers for the reliability cases; sourced by a case, which the test bed
# sources in turn ($BENCH_TOP is the source tree, $RELIABILITY_RESULTS the
# file the figures go to).
# shellcheck source=../support/objects.sh
source "$BENCH_TOP/bench/support/objects.sh"

# result <scenario> <what> <value>: one row of the results table.
result() {
    printf '%s|%s|%s\n' "$1" "$2" "$3" >>"$RELIABILITY_RESULTS"
}

# now: seconds since the epoch, with fractions.
now() {
    date +%s.%N
}

# elapsed <since>: seconds since then, one decimal.
elapsed() {
    printf '%.1f' "$(echo "$(now) - $1" | bc -l)"
}

# wait_size <file> <bytes> <seconds>: waits until the file is at least that large.
wait_size() {
    local limit=$(( $3 * 10 ))
    for _ in $(seq "$limit"); do
        [ "$(stat -c %s "$1" 2>/dev/null || echo 0)" -ge "$2" ] && return 0
        sleep 0.1
    done
    fail "$1 did not reach $2 bytes"
}

# kill_host <host>: SIGKILL, the way a crash or power cut ends it.
kill_host() {
    kill -KILL "${HOST_PID[$1]}"
    wait "${HOST_PID[$1]}" 2>/dev/null
    true
}

# keep_log <host> <label>: keeps the host's log before a restart overwrites it.
keep_log() {
    cp "$WORK/$1.log" "$WORK/$1-$2.log"
}

# leftovers <folder>...: the staging and cache part files below the folders.
leftovers() {
    find "$@" \( -name '~$*' -o -name '*.part' \) -printf '%P (%s bytes)\n' 2>/dev/null | sort | paste -sd ' ' -
}

# list_health <host>: "whole" when the last start read every list without a
# complaint and no list was put aside as unreadable, else what went wrong.
list_health() {
    local complaints bad
    complaints=$(grep -cE 'inkompatibel|unlesbare Zeilen|Beim Lesen der Zeile' "$WORK/$1.log")
    bad=$(find "$WORK/$1/home" -maxdepth 1 -name '*.bad*' -printf '%f ')
    if [ "$complaints" = 0 ] && [ -z "$bad" ]; then
        echo whole
    else
        echo "$complaints complaints; put aside: ${bad:-none}"
    fi
}

# same_file <a> <b>: "identical", "absent" or "DIFFERS".
same_file() {
    if [ ! -e "$2" ]; then
        echo absent
    elif cmp -s "$1" "$2"; then
        echo identical
    else
        echo DIFFERS
    fi
}

# download_records <host>: the lines of the host's download list.
download_records() {
    cat "$WORK/$1/home/plenwick.downloads" 2>/dev/null | grep -c . || true
}

# keep_logs: copies every log of the run to $RELIABILITY_LOGS/<case>/, when set.
keep_logs() {
    [ -n "${RELIABILITY_LOGS:-}" ] || return 0
    local folder=$RELIABILITY_LOGS/$(basename "$CASE" .sh)
    mkdir -p "$folder"
    cp "$WORK"/*.log "$folder"/
}

# one_large_object: a master and client1; the master offers the 1 GiB object
# big.bin ($source), whose older version of 1 MiB ($WORK/old.bin) is the
# client's target ($target); $staging is the client's staging file for it.
one_large_object() {
    network master client1 -- "ClientSilentInstall=1"
    mkdir -p "$WORK/master/home/Objects" "$WORK/client1/target"
    source=$WORK/master/home/Objects/big.bin
    target=$WORK/client1/target/big.bin
    staging=$WORK/client1/target/~\$big.bin
    make_object 1024 "$source"
    head -c 1048576 /dev/urandom >"$WORK/old.bin"
    cp "$WORK/old.bin" "$target"
    object master big.bin "$WORK/client1/target/"
}
