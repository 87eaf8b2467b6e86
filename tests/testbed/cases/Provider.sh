# SPDX-License-Identifier: GPL-3.0-or-later
# A client that already holds an object provides it to another client: the
# second client asks by broadcast, the first answers, and the second fetches
# the object from it instead of from the master, which gives only its digest.
network master client1 client2 -- "ClientSilentInstall=1"
knows client1 client2
knows client2 client1
objects=$WORK/master/home/Objects
mkdir -p "$objects"
printf 'provided\n' >"$objects/a.txt"
object master a.txt "$DISK/target/"

start_listening master
start client1
wait_count client1 "Synchronisation mit Server erfolgreich abgeschlossen" 1 20
start client2
wait_count client2 "Synchronisation mit Server erfolgreich abgeschlossen" 1 20
wait_log client2 "Provider \"client1\" bietet das Objekt \"a.txt\" an"
cmp -s "$objects/a.txt" "$WORK/client2/disk/target/a.txt" || fail "client2 lacks the object"
wait_log client1 "Objekt \"$DISK/target/a.txt\" wird übertragen"
[ "$(count_log master "[Server] Objekt \"$objects/a.txt\" wird übertragen")" = 1 ] || fail "client2 fetched from the master"
expect_file master plenwick.downloads "192.0.2.12,client2,"
stop client2
stop client1
stop master
