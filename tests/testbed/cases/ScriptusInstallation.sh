# SPDX-License-Identifier: GPL-3.0-or-later
# A client with a desktop of its own installs an object with a Scriptus
# command file: the start script it receives starts the Qt test program,
# and the command file, which travelled beside it, fills in its dialog once
# the connection to the master server is closed. Accessibility is switched
# on by the client: nothing in its environment asks for it.
network master client1 -- "ClientSilentInstall=1" "ScriptusTimeout=20000" "MiscWriteProtocolToFile=1"
desktop client1
probe_setup
printf '%s\r\n' \
    "0,True:12,\"$PROBE_WINDOW\\Name [text]\",\"Name\",\"text\",\"Vom Master\",0,0,False,False,\"Name eintragen\"" \
    "0,True:241,\"$PROBE_WINDOW\\Option [check box]\",\"Option\",\"check box\",\"\",0,0,False,True,\"\"" \
    "0,True:2,\"$PROBE_WINDOW\\Weiter [push button]\",\"Weiter\",\"push button\",\"\",5,5,True,False,\"\"" \
    "0,True:16,\"$PROBE_WINDOW\",\"Einrichtung\",\"filler\",\"\",0,0,False,False,\"\"" >"$SCRIPTS/setup.scriptus"
object master setup.sh "$DISK/target/" StartAfterTransfer scriptus=setup.scriptus
result=$WORK/client1/disk/target/probe.txt
protocol=$WORK/client1/plenwick.protocol

# line_of <text>: the number of the first protocol line that holds the text.
line_of() {
    grep -nF -- "$1" "$protocol" | head -1 | cut -d: -f1
}

start_listening master
start client1
for _ in $(seq 600); do
    grep -qx closed "$result" 2>/dev/null && break
    sleep 0.1
done
grep -qx closed "$result" 2>/dev/null || fail "the script did not close the test program: $(cat "$result" 2>/dev/null)"
grep -q '^a11y=1 ' "$result" || fail "the test program was started without accessibility"
grep -qx 'text Name Vom Master' "$result" || fail "the name field was not filled in"
grep -q '^check Option ' "$result" || fail "the option was not checked"
grep -qx 'click Weiter' "$result" || fail "Weiter was not clicked"
[ -e "$WORK/client1/disk/target/setup.scriptus" ] || fail "the command file did not travel with its object"
closed=$(line_of "Verbindung wird beendet")
installing=$(line_of "Installiere Zielobjekt \"$DISK/target/setup.scriptus\"")
[ -n "$closed" ] && [ -n "$installing" ] && [ "$closed" -lt "$installing" ] ||
    fail "the script did not run after the connection was closed"
for _ in $(seq 100); do
    grep -qF "Beende Skriptus" "$protocol" && break
    sleep 0.1
done
grep -qF "Die maximale Anzahl der Versuche wurde erreicht" "$protocol" && fail "a control was not found"
stop client1
stop master
