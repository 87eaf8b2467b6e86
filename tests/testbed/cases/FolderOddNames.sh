# SPDX-License-Identifier: GPL-3.0-or-later
# Linux file names may hold a double quote or a line break. A name with a
# quote travels like any other, in every list and on the wire; a name with a
# line break cannot stand in a line and stays on the master, with a log line.
# A description holding a quote survives the client's restart.
network master client1 -- "ClientSilentInstall=1"

tree=$WORK/master/home/Objects/tree
target=$WORK/client1/target
mkdir -p "$tree/sub"
echo "the owner" >"$tree/index.txt"
echo "quoted" >"$tree/a\"b.txt"
echo "broken" >"$tree/x
y.txt"
echo "plain" >"$tree/plain.txt"
echo "below" >"$tree/sub/c\"d.txt"
object master tree/index.txt "$target/" DistributeFolder IncludeSubfolders 'description=Der ""neue"" Stand'

start_listening master
wait_log master "Ordnerstruktur für Objekt \"tree/index.txt\" vollständig generiert"
wait_log master 'x\ny.txt" wird nicht verteilt, da der Name einen Zeilenumbruch enthält'

start client1
wait_count client1 "Synchronisation mit Server erfolgreich abgeschlossen" 1 20
for f in index.txt 'a"b.txt' plain.txt 'sub/c"d.txt'; do
    cmp -s "$tree/$f" "$target/$f" || fail "client1 lacks $f"
done
[ "$(find "$target" -name 'x*')" = "" ] || fail "the name with a line break reached client1"
grep -q inkompatibel "$WORK/client1.log" && fail "client1 found a line incompatible"
expect_file client1 plenwick.objects '"Der ""neue"" Stand"'

stop client1
start client1
wait_count client1 "Synchronisation mit Server erfolgreich abgeschlossen" 1 20
ls "$WORK/client1/home/"*.bad* >/dev/null 2>&1 && fail "client1 kept list lines aside"
grep -q "wird übertragen" "$WORK/client1.log" && fail "client1 fetched again after its restart"
expect_file client1 plenwick.objects '"Der ""neue"" Stand"'
stop client1
stop master
