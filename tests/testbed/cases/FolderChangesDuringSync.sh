# SPDX-License-Identifier: GPL-3.0-or-later
# Files of a distributed folder keep changing on the master while its client
# synchronises again and again: every change regenerates the tree's objects
# under the sessions that are listing and serving them. The master must stay
# up and the client must keep completing its synchronisations.
network master client1 -- "ClientSilentInstall=1" "ClientFindObjectsOverBroadcast=0"

tree=$WORK/master/home/Objects/tree
mkdir -p "$tree" "$WORK/incoming"
echo "the owner of the tree" >"$tree/index.txt"
for i in $(seq 300); do echo "file $i" >"$tree/f$i.txt"; done
object master tree/index.txt "$WORK/client1/target/" DistributeFolder

start master
wait_log master "Veränderungen in 1 Ordnern werden überwacht" 20
start client1
wait_count client1 "Synchronisation mit Server erfolgreich abgeschlossen" 1 30

(
    for i in $(seq 200); do
        echo "version $i" >"$WORK/incoming/t.txt"
        mv "$WORK/incoming/t.txt" "$tree/t$((i % 5)).txt"
        sleep 0.03
    done
) &
mover=$!
for _ in $(seq 15); do
    running master || break
    send master PHONEHOME client1
    sleep 0.3
done
wait "$mover"
running master || fail "the master ended while its tree changed under a synchronisation"
[ "$(count_log master "Generiere Ordnerstruktur")" -ge 10 ] || fail "the tree was hardly regenerated"
# Call-backs during an update queue one more run instead of a second one
# beside it. A run may wait for the reply time-out (20 s) for an object the
# churn removed; the one queued after it still completes.
done_before=$(count_log client1 "Synchronisation mit Server erfolgreich abgeschlossen")
send master PHONEHOME client1
wait_count client1 "Synchronisation mit Server erfolgreich abgeschlossen" $((done_before + 1)) 60
# A request for an object the churn removed gets no answer: the shutdown waits
# for its reply time-out (20 s).
stop client1 30
stop master
