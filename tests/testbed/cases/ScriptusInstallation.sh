# SPDX-License-Identifier: GPL-3.0-or-later
# A client with a desktop of its own installs an object with a Scriptus
# command file: the start script it receives starts the Qt test program,
# and the command file, which travelled beside it, fills in its dialog once
# the connection to the master server is closed. Accessibility is switched
# on by the client: nothing in its environment asks for it.
network master client1 -- "ClientSilentInstall=1" "ScriptusTimeout=20000" "MiscWriteProtocolToFile=1"
probe=${SCRIPTUS_QT_PROBE:?the Qt test program}
desktop client1
objects=$WORK/master/home/Objects
scripts=$WORK/master/home/Scriptus
mkdir -p "$objects" "$scripts"
printf '#!/bin/sh\necho "a11y=$QT_LINUX_ACCESSIBILITY_ALWAYS_ON" >"%s"\nexec "%s" --title=Einrichtung >>"%s"\n' \
    "$DISK/target/probe.txt" "$probe" "$DISK/target/probe.txt" >"$objects/setup.sh"
window='\\<anonymous file>\Einrichtung [filler]'
printf '%s\r\n' \
    "0,True:12,\"$window\\Name [text]\",\"Name\",\"text\",\"Vom Master\",0,0,False,False,\"Name eintragen\"" \
    "0,True:241,\"$window\\Option [check box]\",\"Option\",\"check box\",\"\",0,0,False,True,\"\"" \
    "0,True:2,\"$window\\Weiter [push button]\",\"Weiter\",\"push button\",\"\",5,5,True,False,\"\"" \
    "0,True:16,\"$window\",\"Einrichtung\",\"filler\",\"\",0,0,False,False,\"\"" >"$scripts/setup.scriptus"
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
grep -qx 'a11y=1' "$result" || fail "the test program was started without accessibility"
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
