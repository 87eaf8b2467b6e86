# SPDX-License-Identifier: GPL-3.0-or-later
# A client without any display installs an object with a Scriptus command
# file kept in a subfolder of the master's Scriptus folder. The client makes a
# desktop of its own before it starts the object, the start script's test
# program lives on it, the command file (installed under its subfolder) fills
# in the dialog there, and its next row, for a button that never comes,
# fails. The desktop ends after the time-out with the program still on it,
# and the master learns of the failure in the next session.
network master client1 -- "ClientAutoInstall=1" "ClientSilentInstall=1" "ClientUpdateIntervalInMillisecs=3000" \
    "ScriptusTimeout=8000"
probe_setup
mkdir -p "$SCRIPTS/office"
printf '%s\r\n' \
    "0,True:12,\"$PROBE_WINDOW\\Name [text]\",\"Name\",\"text\",\"Ohne Sitzung\",0,0,False,False,\"Name eintragen\"" \
    "0,True:2,\"$PROBE_WINDOW\\Weiter [push button]\",\"Weiter\",\"push button\",\"\",5,5,True,False,\"\"" \
    "0,True:2,\"\\\\<anonymous file>\\Fertig [filler]\\Fertig [push button]\",\"Fertig\",\"push button\",\"\",5,5,True,False,\"\"" \
    "0,True:16,\"$PROBE_WINDOW\",\"Einrichtung\",\"filler\",\"\",0,0,False,False,\"\"" >"$SCRIPTS/office/setup.scriptus"
object master setup.sh "$DISK/target/" StartAfterTransfer scriptus=office/setup.scriptus
result=$WORK/client1/disk/target/probe.txt

start_listening master
start client1
for _ in $(seq 600); do
    grep -qx 'click Weiter' "$result" 2>/dev/null && break
    sleep 0.1
done
grep -q '^a11y=1 display=:[0-9]' "$result" || fail "the test program did not start on a desktop of its own: $(head -1 "$result")"
grep -qx 'text Name Ohne Sitzung' "$result" || fail "the name field was not filled in"
grep -qx 'click Weiter' "$result" || fail "Weiter was not clicked"
[ -e "$WORK/client1/disk/target/office/setup.scriptus" ] || fail "the command file was not installed in its subfolder"
wait_log client1 "für die Skriptus-Kommandodateien gestartet"
wait_log client1 "Installiere Zielobjekt \"$DISK/target/office/setup.scriptus\""
# The test program stays open: the desktop ends with it after the time-out.
wait_log client1 "beendet, 1 Programm(e) darauf wurden mit ihr beendet" 30
wait_log master "Skriptus-Kommandodatei \"setup.scriptus\" auf \"client1\":" 30
for pid in $(ip netns pids "$TAG-client1"); do
    [ "$(cat "/proc/$pid/comm" 2>/dev/null)" = Xvfb ] && fail "the desktop of its own outlived the run"
done
stop client1
stop master
