# SPDX-License-Identifier: GPL-3.0-or-later
# A computer that takes over the master's name and address with another key
# is refused by a client that pinned the first: the client's options and
# files stay as they are. With the master's own key back, the client logs in
# again. A local user on the client with a key of their own sends remote
# commands over loopback in vain.
network master client1 -- "ClientSilentInstall=1" "ClientAutoInstall=1"
objects=$WORK/master/home/Objects
mkdir -p "$objects"
printf 'echt\n' >"$objects/a.txt"
object master a.txt "$DISK/target/"

start_listening master
start_listening client1
wait_count client1 "Synchronisation mit Server erfolgreich abgeschlossen" 1 20
master_key=$(host_exec master --fingerprint)
expect_file client1 plenwick.config "NetServerKey=$master_key"
stop master

# The impostor: the same namespace, name and address, another key.
mkdir "$WORK/genuine"
mv "$WORK/master/home/plenwick.key" "$WORK/master/home/plenwick.crt" "$WORK/genuine/"
printf 'falsch\n' >"$objects/a.txt"
cp "$WORK/client1/home/plenwick.config" "$WORK/config.before"
start_listening master
impostor_key=$(host_exec master --fingerprint)
[ "$impostor_key" != "$master_key" ] || fail "the impostor has the master's key"
send master PHONEHOME client1
wait_log client1 "Der Master-Server \"master\" legt den Schlüssel $impostor_key vor, vertraut wird aber $master_key" 20
cmp -s "$WORK/config.before" "$WORK/client1/home/plenwick.config" || fail "the impostor changed client1's options"
grep -q echt "$WORK/client1/disk/target/a.txt" || fail "the impostor replaced client1's file"
count=$(count_log client1 "Synchronisation mit Server erfolgreich abgeschlossen")
[ "$count" = 1 ] || fail "client1 synchronised with the impostor"
send master SETSERVER client1
wait_log client1 'Kommando "SETSERVER" von "master" wird nicht ausgeführt'
stop master

# A local user on client1: a key of their own, commands over loopback.
mkdir -p "$WORK/local/home"
ip netns exec "$TAG-client1" env -u DISPLAY -u WAYLAND_DISPLAY PLENWICK_HOME="$WORK/local/home" \
    PLENWICK_COMPUTERNAME=master PLENWICK_REGISTRY_DIR="$WORK/local" PLENWICK_PROTOCOL_FILE="$WORK/local/protocol" \
    "$BINARY" /SEND TERMINATE 127.0.0.1 >>"$WORK/local.log" 2>&1
wait_log client1 'Kommando "TERMINATE" von "localhost" wird nicht ausgeführt'
sleep 1
running client1 || fail "a local user's key ended client1"

# The genuine master again.
mv "$WORK/genuine/plenwick.key" "$WORK/genuine/plenwick.crt" "$WORK/master/home/"
printf 'echt, neu\n' >"$objects/a.txt"
start_listening master
send master PHONEHOME client1
wait_count client1 "Synchronisation mit Server erfolgreich abgeschlossen" 2 20
stop client1
stop master
