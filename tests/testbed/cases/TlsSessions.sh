# SPDX-License-Identifier: GPL-3.0-or-later
# Two clients and their master talk TLS only: no segment on the master's link
# carries a protocol word in clear text. Each client pins the master's key at
# its first login and the master records each client's key; a browser still
# gets the status page in clear text.
network master client1 client2 -- "ClientSilentInstall=1" "ClientAutoInstall=1"
objects=$WORK/master/home/Objects
mkdir -p "$objects"
printf 'geheim\n' >"$objects/a.txt"
object master a.txt "$DISK/target/"

ip netns exec "$TAG-master" tcpdump -i "${TAG}10" -U -w "$WORK/master.pcap" tcp port 42424 >"$WORK/tcpdump.log" 2>&1 &
capture=$!
wait_log tcpdump "listening on" 10

start_listening master
start client1
start client2
for client in client1 client2; do
    wait_count $client "Synchronisation mit Server erfolgreich abgeschlossen" 1 20
    cmp -s "$objects/a.txt" "$WORK/$client/disk/target/a.txt" || fail "$client did not receive a.txt"
done
page=$(ip netns exec "$TAG-client1" curl -s --max-time 5 "http://${HOST_ADDRESS[master]}:42424/")
grep -q "Serverkomponente" <<<"$page" || fail "curl got no status page: $page"
sleep 1
kill -INT $capture
wait $capture

# The status page is the only clear text there.
ip netns exec "$TAG-master" tcpdump -r "$WORK/master.pcap" -A 2>/dev/null | grep -v "GET / HTTP" >"$WORK/capture.txt"
[ -s "$WORK/capture.txt" ] || fail "nothing captured on the master's link"
for word in LOGIN OBJLIST DOWNLOAD DOWNLOAD_OK blueheron geheim; do
    grep -q -- "$word" "$WORK/capture.txt" && fail "clear text on the wire: $word"
done

master_key=$(host_exec master --fingerprint)
for client in client1 client2; do
    expect_file $client plenwick.config "NetServerKey=$master_key"
    wait_log $client "Dem Schlüssel $master_key des Master-Servers \"master\" wird ab jetzt vertraut"
    expect_file master plenwick.clientkeys "\"$client\",$(host_exec $client --fingerprint)"
done
[ "$(stat -c %a "$WORK/master/home/plenwick.key")" = 640 ] || fail "the key file is not 0640"
stop client1
stop client2
stop master
