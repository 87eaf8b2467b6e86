# SPDX-License-Identifier: GPL-3.0-or-later
# A folder tree distributed from the master: every file arrives on the client
# in its subfolder with the master's modification time; a file added on the
# master reaches the client at its next synchronisation (PHONEHOME), and a
# file deleted on the master is deleted on the client (the master turns it
# into a delete object) also across a restart of the client.
network master client1 -- "ClientSilentInstall=1"
options master "NetServerName=master" "ClientQueryMissingObjects=1"

tree=$WORK/master/home/Objects/tree
target=$WORK/client1/target
mkdir -p "$tree/sub/deep" "$WORK/incoming"
echo "the owner of the tree" >"$tree/index.txt"
echo "top level file" >"$tree/a.txt"
echo "in a subfolder" >"$tree/sub/b.txt"
echo "two levels down" >"$tree/sub/deep/c.txt"
touch -d "2021-03-04 05:06:07" "$tree/index.txt"
touch -d "2020-01-02 03:04:05" "$tree/a.txt"
touch -d "2019-07-08 09:10:11" "$tree/sub/b.txt"
touch -d "2018-12-31 23:59:58" "$tree/sub/deep/c.txt"
object master tree/index.txt "$target/" DistributeFolder IncludeSubfolders

# same_file <master file> <client file>: same content and modification time
# (file times are kept to even seconds).
same_file() {
    [ -f "$2" ] || fail "missing on client1: $2"
    cmp -s "$1" "$2" || fail "content differs: $2"
    local time
    time=$(stat -c %Y "$1")
    [ "$(( time - time % 2 ))" = "$(stat -c %Y "$2")" ] || fail "modification time differs: $2"
}

# syncs <count>: client1 has finished that many synchronisations.
syncs() {
    wait_count client1 "Synchronisation mit Server erfolgreich abgeschlossen" "$1" 20
}

start_listening master
wait_log master "Ordnerstruktur für Objekt \"tree/index.txt\" vollständig generiert"
wait_log master "Veränderungen in 3 Ordnern werden überwacht"

start client1
syncs 1
same_file "$tree/index.txt" "$target/index.txt"
same_file "$tree/a.txt" "$target/a.txt"
same_file "$tree/sub/b.txt" "$target/sub/b.txt"
same_file "$tree/sub/deep/c.txt" "$target/sub/deep/c.txt"

# Files are moved in complete: one change each, with content and time final.
# A newer copy of a file only refreshes its object; a new file and a new
# folder regenerate the tree.
echo "a newer copy" >"$WORK/incoming/b.txt"
touch -d "2023-01-02 03:04:06" "$WORK/incoming/b.txt"
mv "$WORK/incoming/b.txt" "$tree/sub/b.txt"
wait_log master "Objekt \"tree/sub/b.txt\" wurde modifiziert"
echo "added later" >"$WORK/incoming/new.txt"
touch -d "2022-05-06 07:08:09" "$WORK/incoming/new.txt"
mv "$WORK/incoming/new.txt" "$tree/sub/new.txt"
wait_count master "Ordnerstruktur für Objekt \"tree/index.txt\" vollständig generiert" 2
wait_count master "Veränderungen in 3 Ordnern werden überwacht" 2
mkdir "$WORK/incoming/extra"
echo "in a new folder" >"$WORK/incoming/extra/x.txt"
mv "$WORK/incoming/extra" "$tree/extra"
wait_log master "Veränderungen in 4 Ordnern werden überwacht"
[ "$(count_log master "Generiere Ordnerstruktur")" = 3 ] || fail "the tree was regenerated for the newer copy"
send master PHONEHOME client1
syncs 2
same_file "$tree/sub/b.txt" "$target/sub/b.txt"
same_file "$tree/sub/new.txt" "$target/sub/new.txt"
same_file "$tree/extra/x.txt" "$target/extra/x.txt"

rm "$tree/a.txt"
wait_log master "Objekt \"tree/a.txt\" fehlt und wird als gelöscht gekennzeichnet"
wait_count master "Veränderungen in 4 Ordnern werden überwacht" 2
# Stored as a delete object (field 15 is DeleteTarget), the tree's other files are not.
[ "$(awk -F, '$2 == "\"tree/a.txt\"" { print $15 }' "$WORK/master/home/plenwick.objects")" = True ] ||
    fail "the master did not store tree/a.txt as a delete object"
[ "$(wc -l <"$WORK/master/home/plenwick.objects")" = 2 ] || fail "the master stored folder-structure objects"
stop client1
start client1
syncs 1
[ -e "$target/a.txt" ] && fail "the deleted file is still on client1"
same_file "$tree/index.txt" "$target/index.txt"
same_file "$tree/sub/b.txt" "$target/sub/b.txt"
same_file "$tree/sub/new.txt" "$target/sub/new.txt"
same_file "$tree/sub/deep/c.txt" "$target/sub/deep/c.txt"
same_file "$tree/extra/x.txt" "$target/extra/x.txt"

stop client1
stop master
