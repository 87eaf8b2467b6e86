# SPDX-License-Identifier: GPL-3.0-or-later
# The first complete replication to two clients: a new object arrives with
# the master's date and size and is recorded as downloaded; a changed source
# arrives again and leaves the previous version as backup; an object marked
# for deletion disappears with its empty folder; a swap-only object replaces
# an existing target and is never created.
network master client1 client2 -- "ClientSilentInstall=1"
objects=$WORK/master/home/Objects
mkdir -p "$objects" "$WORK/client1/disk/swap"
printf 'first\n' >"$objects/a.txt"
printf 'old\n' >"$objects/old.txt"
printf 'swapped\n' >"$objects/swap.txt"
touch -d '2020-03-04 05:06:08' "$objects"/*.txt # even seconds: the resolution of object dates
printf 'local\n' >"$WORK/client1/disk/swap/swap.txt"
object master a.txt "$DISK/target/"
object master old.txt "$DISK/gone/"
object master swap.txt "$DISK/swap/" SwapOnly

# same_file <source> <copy>: same content, size and modification time.
same_file() {
    cmp -s "$1" "$2" || fail "$2 differs from $1"
    [ "$(stat -c '%s %Y' "$1")" = "$(stat -c '%s %Y' "$2")" ] || fail "$2 has not the size and date of $1"
}
# sync_all <count>: both clients have synchronised that many times.
sync_all() {
    for client in client1 client2; do
        wait_count $client "Synchronisation mit Server erfolgreich abgeschlossen" "$1" 20
    done
}
phone_home() {
    for client in client1 client2; do send master PHONEHOME $client; done
    sync_all "$1"
}
# offered_id <source name>: the id of the object the master offered last.
offered_id() {
    grep -oE "Antwort \"[0-9]+,\"$1\"" "$WORK/master.log" | tail -1 | grep -oE '[0-9]+'
}

start_listening master
start client1
start client2
sync_all 1
id=$(offered_id a.txt)
for client in client1 client2; do
    same_file "$objects/a.txt" "$WORK/$client/disk/target/a.txt"
    same_file "$objects/old.txt" "$WORK/$client/disk/gone/old.txt"
    expect_file master plenwick.downloads "${HOST_ADDRESS[$client]},$client,$id"
done
same_file "$objects/swap.txt" "$WORK/client1/disk/swap/swap.txt"
grep -qx local "$WORK/client1/disk/swap/swap.backup" || fail "the swapped target was not backed up"
[ -e "$WORK/client2/disk/swap" ] && fail "a swap-only object was created"
wait_log client2 "Zielobjekt \"swap.txt\" ignoriert; darf nur getauscht werden, ist aber lokal gar nicht vorhanden"

# A new version moved in, so the watcher sees the finished file only.
printf 'second version\n' >"$WORK/a.txt"
touch -d '2021-05-06 07:08:10' "$WORK/a.txt"
mv "$WORK/a.txt" "$objects/a.txt"
wait_log master "Objekt \"a.txt\" wurde modifiziert"
phone_home 2
for client in client1 client2; do
    same_file "$objects/a.txt" "$WORK/$client/disk/target/a.txt"
    grep -qx first "$WORK/$client/disk/target/a.backup" || fail "$client: the backup lacks the previous version"
    expect_file master plenwick.downloads "${HOST_ADDRESS[$client]},$client,$(offered_id a.txt)"
done

stop master
list=$WORK/master/home/plenwick.objects
awk -F, -v OFS=, '$2 == "\"old.txt\"" { $15 = "True" } { print }' "$list" >"$list.new" && mv "$list.new" "$list"
start_listening master
phone_home 3
for client in client1 client2; do
    wait_log $client "Objekt \"$DISK/gone/old.txt\" wurde gelöscht"
    [ -e "$WORK/$client/disk/gone" ] && fail "$client: the emptied folder is still there"
    [ -e "$WORK/$client/disk/target/a.txt" ] || fail "$client: a.txt went with the deletion"
done
stop client1
stop client2
stop master
