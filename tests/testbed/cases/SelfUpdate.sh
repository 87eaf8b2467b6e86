# SPDX-License-Identifier: GPL-3.0-or-later
# The master hands out a newer build of the program file the client runs.
# First the running file can be moved aside: the client puts the new one in
# place, keeps the old one as plenwick.backup and restarts itself. Then the
# backup is blocked: the client starts its replace copy, which moves the
# staged file into place after the pause and starts the new version.
[ -x "${PLENWICK_NEXT_BINARY:-}" ] || fail "PLENWICK_NEXT_BINARY names no second build"

network master client1 -- "ClientSilentInstall=1"
# Stripped copies: the same programs, a fraction of the bytes to send.
old_build=$WORK/plenwick-old
new_build=$WORK/plenwick-new
strip -o "$old_build" "$BINARY" && strip -o "$new_build" "$PLENWICK_NEXT_BINARY" || fail "strip failed"
bin=$WORK/client1/bin
mkdir -p "$bin" "$WORK/master/home/Objects"
# Both builds have the same size: only an older date tells the client's file apart.
cp "$old_build" "$bin/plenwick"
touch -d "1 hour ago" "$bin/plenwick"
HOST_BINARY[client1]=$bin/plenwick
cp "$new_build" "$WORK/master/home/Objects/plenwick"
object master plenwick "$bin/"

# first_line <host> <text>: the number of the first log line after line
# <after> (default 0) that holds the text.
first_line() {
    awk -v text="$2" -v after="${3:-0}" 'NR > after && index($0, text) { print NR; exit }' "$WORK/$1.log"
}

# started_version <host> <n>: the version of the n-th start in the log.
started_version() {
    grep -o 'Plenwick [^ ]* gestartet' "$WORK/$1.log" | sed -n "$2s/Plenwick \(.*\) gestartet/\1/p"
}

# wait_started <host> <n> [seconds]: waits for the n-th start in the log.
wait_started() {
    for _ in $(seq $(( ${3:-10} * 10 ))); do
        [ -n "$(started_version "$1" "$2")" ] && return 0
        sleep 0.1
    done
    fail "$1 did not start $2 times"
}

# adopt <host>: the one process left in the host's namespace is its program now.
adopt() {
    local pids
    pids=$(ip netns pids "$TAG-$1")
    [ "$(wc -w <<<"$pids")" = 1 ] || fail "$1 runs $(wc -w <<<"$pids") processes, not one"
    HOST_PID[$1]=$pids
}

# stop_adopted <host>: the orderly shutdown of a process this shell did not start.
stop_adopted() {
    kill -TERM "${HOST_PID[$1]}"
    for _ in $(seq 100); do
        running "$1" || return 0
        sleep 0.1
    done
    fail "$1 did not end after SIGTERM"
}

# old_ended <host>: the process the test bed started has ended cleanly.
old_ended() {
    for _ in $(seq 150); do running "$1" || break; sleep 0.1; done
    running "$1" && fail "the old program on $1 did not end"
    wait "${HOST_PID[$1]}" || fail "the old program on $1 ended with an error"
}

start_listening master

# Part one: restart.
start client1
wait_started client1 1
old=$(started_version client1 1)
wait_log client1 "Erstelle Sicherungskopie \"plenwick.backup\" des bisherigen Objekts \"$bin/plenwick\"" 30
wait_log client1 "Verbindung wird beendet" 10
wait_started client1 2 15
new=$(started_version client1 2)
[ "$new" != "$old" ] || fail "the restarted program reports the old version $old"
old_ended client1
wait_count client1 "Server-Komponente hört auf TCP-Port 42424" 2
grep -q "Serverkomponente konnte nicht gestartet werden" "$WORK/client1.log" &&
    fail "the restarted program could not take the ports"
wait_count client1 "Synchronisation mit Server erfolgreich abgeschlossen" 2 20
handover=$(first_line client1 "Verbindung wird beendet")
restart=$(first_line client1 "Plenwick $new gestartet")
ready=$(first_line client1 "Anwendung ist bereit zum Terminieren")
[ "$handover" -lt "$restart" ] || fail "the new program started before the old one let go"
[ -n "$ready" ] && [ -n "$(first_line client1 "Anwendung wurde beendet" "$ready")" ] ||
    fail "the old program did not end through the orderly shutdown"
cmp -s "$bin/plenwick" "$new_build" || fail "the new program is not in place"
cmp -s "$bin/plenwick.backup" "$old_build" || fail "the old program was not kept as plenwick.backup"
[ -e "$bin/~\$plenwick" ] && fail "the staging file is left over"
[ "$(count_log client1 'Erstelle Sicherungskopie')" = 1 ] || fail "the restarted program installed again"

# Part two: the backup cannot be made, the replace copy takes over.
adopt client1
stop_adopted client1
mv "$WORK/client1.log" "$WORK/client1-restart.log"
cp "$old_build" "$bin/plenwick"
touch -d "1 hour ago" "$bin/plenwick"
rm -f "$bin/plenwick.backup"
mkdir -p "$bin/plenwick.backup/blocker"
start client1
wait_log client1 "Verbindung wird beendet" 30
# The hand-over happened; the move waits for the pause.
[ -e "$bin/~\$plenwick" ] || fail "no staged program is waiting for the replace copy"
cmp -s "$bin/plenwick" "$old_build" || fail "the program was replaced before the pause"
cmp -s "$WORK/client1/home/PlenwickReplace" "$old_build" || fail "the replace copy is not the running program"
old_ended client1
wait_started client1 2 15
[ "$(started_version client1 2)" = "$new" ] || fail "the replaced program does not report $new"
cmp -s "$bin/plenwick" "$new_build" || fail "the replace copy did not put the new program in place"
[ -e "$bin/~\$plenwick" ] && fail "the staging file is left over"
wait_count client1 "Synchronisation mit Server erfolgreich abgeschlossen" 2 20
adopt client1
stop_adopted client1
stop master
