# SPDX-License-Identifier: GPL-3.0-or-later
# A client that asks before it installs: its window shows the new-objects
# prompt, nobody answers, the countdown confirms it and the object arrives.
# Only the window waits for the countdown; without one the answer is at once.
network master client1 -- "ClientSilentInstall=0" "ClientInputWaitTimeInSecs=3" "MiscWriteProtocolToFile=1"
HOST_ENV[client1]="QT_QPA_PLATFORM=offscreen XDG_RUNTIME_DIR=$WORK/client1/config"
objects=$WORK/master/home/Objects
mkdir -p "$objects"
printf 'asked first\n' >"$objects/a.txt"
object master a.txt "$DISK/target/"
target=$WORK/client1/disk/target/a.txt
protocol=$WORK/client1/plenwick.protocol

# wait_protocol <text> [seconds]: the client's protocol file holds the text.
wait_protocol() {
    for _ in $(seq $(( ${2:-10} * 10 ))); do
        grep -qF -- "$1" "$protocol" 2>/dev/null && return 0
        sleep 0.1
    done
    fail "client1 did not write to its protocol: $1"
}

start_listening master
start client1
wait_protocol "Objektliste abgeglichen, Objekte sind zu bearbeiten" 20
sleep 1
[ -e "$target" ] && fail "the object arrived before the prompt's countdown ran out"
for _ in $(seq 100); do
    [ -e "$target" ] && break
    sleep 0.1
done
grep -qx 'asked first' "$target" 2>/dev/null || fail "the object did not arrive after the countdown"
stop client1
stop master
