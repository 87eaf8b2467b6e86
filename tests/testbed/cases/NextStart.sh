# SPDX-License-Identifier: GPL-3.0-or-later
# A target whose previous version cannot be moved aside is left for the next
# start: it stays unchanged, the new version waits beside it, and the next
# start puts it in place with the previous version as backup. A client
# without the obstacle takes the new version at once.
network master client1 client2 -- "ClientSilentInstall=1"
objects=$WORK/master/home/Objects
mkdir -p "$objects"
printf 'first\n' >"$objects/a.txt"
object master a.txt "$DISK/target/"
target=$WORK/client1/disk/target

start_listening master
start client1
start client2
for client in client1 client2; do
    wait_count $client "Synchronisation mit Server erfolgreich abgeschlossen" 1 20
done
# A non-empty folder where the backup belongs: not even root can rename onto it.
mkdir "$target/a.backup"
touch "$target/a.backup/blocker"

printf 'second version\n' >"$WORK/a.txt"
touch -d '2021-05-06 07:08:10' "$WORK/a.txt"
mv "$WORK/a.txt" "$objects/a.txt"
wait_log master "Objekt \"a.txt\" wurde modifiziert"
for client in client1 client2; do
    send master PHONEHOME $client
    wait_count $client "Synchronisation mit Server erfolgreich abgeschlossen" 2 20
done
cmp -s "$objects/a.txt" "$WORK/client2/disk/target/a.txt" || fail "client2 lacks the new version"
wait_log client1 "Objekt-Installation erfolgt beim nächsten Rechnerstart"
grep -qx first "$target/a.txt" || fail "the target changed before the next start"
cmp -s "$objects/a.txt" "$target/~\$a.txt" || fail "the new version is not staged"
grep -qF "$DISK/target/a.txt" "$WORK/client1/registry/"* || fail "the move is not recorded"

rm -r "$target/a.backup"
stop client1
start client1
wait_log client1 "Ausstehende Installation von \"$DISK/target/a.txt\" wurde ausgeführt"
wait_count client1 "Synchronisation mit Server erfolgreich abgeschlossen" 1 20
cmp -s "$objects/a.txt" "$target/a.txt" || fail "the next start did not put the new version in place"
[ "$(stat -c %Y "$objects/a.txt")" = "$(stat -c %Y "$target/a.txt")" ] || fail "the moved target lost its date"
grep -qx first "$target/a.backup" || fail "the backup lacks the previous version"
[ -e "$target/~\$a.txt" ] && fail "the staging file is still there"
grep -qF "$DISK/target/a.txt" "$WORK/client1/registry/"* && fail "the done move is still recorded"
[ "$(count_log client1 'Anfrage "DOWNLOAD "a.txt" ')" = 0 ] || fail "client1 fetched the moved object again"
stop client1
stop client2
stop master
