# SPDX-License-Identifier: GPL-3.0-or-later
# A client that starts again imports its installed copy of a distributed tree
# while its first synchronisation after the start already runs. A file the
# master deleted meanwhile stands early in the master's list but late in the
# client's tree: it must still be deleted in that first synchronisation, and
# the client's list keeps one line per name.
add_host master 10
add_host client1 11
knows master client1
knows client1 master
options master "NetServerName=master"
options client1 "NetServerName=master" "ClientSilentInstall=1"

tree=$WORK/master/home/Objects/tree
target=$WORK/client1/target
mkdir -p "$tree/bulk" "$tree/zz"
echo "the owner of the tree" >"$tree/index.txt"
for i in $(seq -w 1 1200); do echo "file $i" >"$tree/bulk/f$i.txt"; done
echo "walked last" >"$tree/zz/last.txt"
object master tree/index.txt "$target/" DistributeFolder IncludeSubfolders

syncs() {
    wait_count client1 "Synchronisation mit Server erfolgreich abgeschlossen" "$1" 40
}

start master
wait_log master "Ordnerstruktur für Objekt \"tree/index.txt\" vollständig generiert"
wait_log master "Veränderungen in 3 Ordnern werden überwacht"
start client1
syncs 1
[ -f "$target/zz/last.txt" ] || fail "zz/last.txt did not reach client1"
[ -f "$target/bulk/f1200.txt" ] || fail "bulk/f1200.txt did not reach client1"

stop client1
rm "$tree/zz/last.txt"
wait_log master "Objekt \"tree/zz/last.txt\" fehlt und wird als gelöscht gekennzeichnet"
wait_count master "Veränderungen in 3 Ordnern werden überwacht" 2

start client1
syncs 1
[ -e "$target/zz/last.txt" ] && fail "the first synchronisation after the start left zz/last.txt on client1"
[ -f "$target/bulk/f1200.txt" ] || fail "bulk/f1200.txt is gone from client1"
twice=$(awk -F, '{ print $2 }' "$WORK/client1/home/plenwick.objects" | sort | uniq -d)
[ -z "$twice" ] || fail "client1 lists more than once: $twice"

stop client1
stop master
