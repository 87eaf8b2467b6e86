# SPDX-License-Identifier: GPL-3.0-or-later
# Objects with client-group rights reach only the clients whose group path
# lies below one of the object's groups; other objects reach every client.
network master client1 client2 -- "ClientSilentInstall=1"
# Known clients keep their group when they log in again.
printf '%s\r\n' \
    'client1,"client1",192.0.2.11,01.01.24 00:00:00,"Client client1","\lab\north\room1\"' \
    'client2,"client2",192.0.2.12,01.01.24 00:00:00,"Client client2","\lab\south\"' \
    >"$WORK/master/home/plenwick.clients"
objects=$WORK/master/home/Objects
mkdir -p "$objects"
for name in open north nobody; do printf '%s\n' "$name" >"$objects/$name.txt"; done
object master open.txt "$DISK/target/"
object master north.txt "$DISK/target/" UseClientGroupRights 'groups=\other\|\lab\north\'
object master nobody.txt "$DISK/target/" UseClientGroupRights

start_listening master
start client1
start client2
for client in client1 client2; do
    wait_count $client "Synchronisation mit Server erfolgreich abgeschlossen" 1 20
    cmp -s "$objects/open.txt" "$WORK/$client/disk/target/open.txt" || fail "$client lacks the open object"
    [ -e "$WORK/$client/disk/target/nobody.txt" ] && fail "$client got an object no group may have"
done
cmp -s "$objects/north.txt" "$WORK/client1/disk/target/north.txt" || fail "client1 lacks the object of its group"
[ -e "$WORK/client2/disk/target/north.txt" ] && fail "client2 got the object of another group"
[ "$(count_log master 'Objekt "north.txt" darf nicht übertragen werden, da Client-Gruppe nicht berechtigt')" = 1 ] ||
    fail "the master did not refuse north.txt once"
[ "$(count_log master 'Objekt "nobody.txt" darf nicht übertragen werden, da Client-Gruppe nicht berechtigt')" = 2 ] ||
    fail "the master did not refuse nobody.txt to both"
expect_file master plenwick.clients '"\lab\south\"'
[ "$(grep -c ',client2,' "$WORK/master/home/plenwick.downloads")" = 1 ] || fail "client2 has other downloads than the open object"
stop client1
stop client2
stop master
