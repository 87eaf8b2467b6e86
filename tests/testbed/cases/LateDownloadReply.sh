# SPDX-License-Identifier: GPL-3.0-or-later
# The client's wait for a DOWNLOAD answer runs out while the master still
# compresses a large object: the late answer must not be taken for the answer
# to a later request (that object would get the large one's bytes). The run
# ends as a broken connection, and the next one brings every object whole.
network master client1 -- "ClientSilentInstall=1" "MiscSocketTimeout=500"
mkdir -p "$WORK/master/home/Objects"
# Random bytes as Base64 text: they shrink, so they are compressed, and slowly.
head -c $((72 * 1048576)) /dev/urandom | base64 -w0 >"$WORK/master/home/Objects/big.bin"
object master big.bin "$WORK/client1/target/"
# Each small object costs the client one answer window of about a second:
# thirty give the master half a minute to compress, enough on a loaded machine.
smalls=$(seq 30)
for i in $smalls; do
    echo "small object $i" >"$WORK/master/home/Objects/small$i.txt"
    object master "small$i.txt" "$WORK/client1/target/"
done
# check_targets <partly|whole>: every small target equals its source; with
# "partly" an absent one passes too.
check_targets() {
    local i file
    for i in $smalls; do
        file=$WORK/client1/target/small$i.txt
        if [ -e "$file" ] || [ "$1" = whole ]; then
            cmp -s "$WORK/master/home/Objects/small$i.txt" "$file" || fail "small$i.txt differs from its source"
        fi
    done
}

start_listening master
start client1
wait_log client1 "Keine Antwort empfangen" 30
wait_log client1 "Die Verbindung zum Server ist abgebrochen" 30
sleep 2
check_targets partly
[ "$(count_log client1 'Synchronisation mit Server erfolgreich abgeschlossen')" = 0 ] ||
    fail "the broken run passed for a successful one"
# The next run finds the compressed form ready.
for _ in $(seq 300); do
    [ -n "$(find "$WORK/master/home/Cache" -name '*.z' 2>/dev/null)" ] && break
    sleep 0.2
done
send master PHONEHOME client1
wait_count client1 "Synchronisation mit Server erfolgreich abgeschlossen" 1 60
cmp -s "$WORK/master/home/Objects/big.bin" "$WORK/client1/target/big.bin" || fail "big.bin differs from its source"
check_targets whole
stop client1
stop master
