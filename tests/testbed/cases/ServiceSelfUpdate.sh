# SPDX-License-Identifier: GPL-3.0-or-later
# A client runs as the service (the stand-in systemctl plays systemd) and is
# handed a newer build of its own program while its backup cannot be made:
# the service starts its replace copy and ends. Ending the service is a stop
# of the whole unit for systemd; the unit's KillMode=process lets the replace
# copy live on, put the new program in place and start the service again.
[ -x "${PLENWICK_NEXT_BINARY:-}" ] || fail "PLENWICK_NEXT_BINARY names no second build"
standin=$(cd "$(dirname "$CASE")/../../support" && pwd)/systemctl-standin.sh
export PLENWICK_SYSTEMCTL=$standin

network master client1 -- "ClientSilentInstall=1"
old_build=$WORK/plenwick-old
new_build=$WORK/plenwick-new
strip -o "$old_build" "$BINARY" && strip -o "$new_build" "$PLENWICK_NEXT_BINARY" || fail "strip failed"
bin=$WORK/client1/bin
units=$WORK/client1/systemd
mkdir -p "$bin" "$WORK/master/home/Objects" "$bin/plenwick.backup/blocker"
cp "$old_build" "$bin/plenwick"
touch -d "1 hour ago" "$bin/plenwick"
cp "$new_build" "$WORK/master/home/Objects/plenwick"
object master plenwick "$bin/"
printf '[Unit]\nDescription=Plenwick\n\n[Service]\nExecStart="%s" /SVC\nWorkingDirectory=%s\nKillMode=process\nRestart=on-failure\n' \
    "$bin/plenwick" "$WORK/client1/home" >"$units/plenwick.service"
# The service writes where the stand-in puts its output.
ln -s "$units/service.log" "$WORK/client1.log"

# systemctl <host> <argument>...: the stand-in inside the host, with its environment.
systemctl() {
    local host=$1
    shift
    HOST_BINARY[$host]=$standin
    host_exec "$host" "$@"
    unset "HOST_BINARY[$host]"
}

# alive <pid>: the process runs (an ended one may wait as a zombie for a reaper).
alive() {
    kill -0 "$1" 2>/dev/null && ! grep -q '^State:.*Z' "/proc/$1/status" 2>/dev/null
}

start_listening master
systemctl client1 start plenwick.service
wait_log client1 "gestartet" 10
old=$(grep -o 'Plenwick [^ ]* gestartet' "$WORK/client1.log" | head -1)
main=$(cat "$units/main.pid")
wait_log client1 "Verbindung wird beendet" 30
replace=$(pgrep -f "^$WORK/client1/home/PlenwickReplace ")
[ -n "$replace" ] || fail "no replace copy runs"
# The service has ended (or ends now); systemd ends the unit's leftovers unless KillMode=process.
systemctl client1 stop plenwick.service
alive "$main" && fail "the old service still runs"
alive "$replace" || fail "the replace copy did not survive the stop"
wait_count client1 "gestartet" 2 15
new=$(grep -o 'Plenwick [^ ]* gestartet' "$WORK/client1.log" | sed -n 2p)
[ "$new" != "$old" ] || fail "the service started again with the old version: $new"
cmp -s "$bin/plenwick" "$new_build" || fail "the new program is not in place"
[ "$(cat "$units/main.pid")" != "$main" ] || fail "the service was not started anew"
grep -q -- "--no-block start plenwick.service" "$units/calls" || fail "the replace copy did not start the service"
wait_count client1 "Synchronisation mit Server erfolgreich abgeschlossen" 1 20
systemctl client1 stop plenwick.service
wait_count client1 "Anwendung wurde beendet" 2 10
stop master
