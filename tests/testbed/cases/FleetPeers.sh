# SPDX-License-Identifier: GPL-3.0-or-later
# Six clients want a new 8 MiB object at once. The master sends it to one at
# a time and only a few times; the others come back shortly and fetch it from
# the clients that hold it. A stranger on the network answers every question
# that it is busy sending the object: the clients still all get it.
clients=(c1 c2 c3 c4 c5 c6)
network master "${clients[@]}" -- "ClientAutoInstall=1" "ClientSilentInstall=1" \
    "ClientUpdateIntervalInMillisecs=2000" "ClientFindObjectsOverBroadcast=1"
add_host evil 30
cat >"$WORK/evil-answer.sh" <<'SCRIPT'
question=$(timeout 1 head -c 512)
set -- $question
[ "$1" = QUERYDOWNLOAD ] && printf 'SETDOWNLOAD %s %s busy' "$2" "$3" >"/dev/udp/$SOCAT_PEERADDR/42424"
SCRIPT
ip netns exec "$TAG-evil" socat UDP-RECVFROM:42424,reuseaddr,fork SYSTEM:"bash $WORK/evil-answer.sh" \
    >"$WORK/evil-udp.log" 2>&1 &

fleet "${clients[@]}"

head -c $((8 * 1048576)) /dev/urandom >"$WORK/incoming/big.bin"
mv "$WORK/incoming/big.bin" "$TREE/big.bin"
for host in "${clients[@]}"; do
    for _ in $(seq 900); do
        cmp -s "$TREE/big.bin" "$WORK/$host/disk/target/big.bin" && break
        sleep 0.1
    done
    cmp -s "$TREE/big.bin" "$WORK/$host/disk/target/big.bin" || fail "$host lacks the object"
done
from_master=$(grep -c '\[Server\] Objekt ".*/big.bin" wird übertragen' "$WORK/master.log")
from_peers=0
for host in "${clients[@]}"; do
    from_peers=$(( from_peers + $(grep -c "\[Server\] Objekt \"$DISK/target/big.bin\" wird übertragen" "$WORK/$host.log") ))
done
[ "$from_master" -le 3 ] || fail "the master sent the object $from_master times"
[ "$from_peers" -ge 3 ] || fail "peers passed the object on only $from_peers times"
grep -q "SETDOWNLOAD \"tree/big.bin\" [0-9]* busy\" von \"\"" "$WORK/c1.log" || fail "the stranger was never heard"
for host in "${clients[@]}"; do stop "$host"; done
stop master
