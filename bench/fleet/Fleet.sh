# SPDX-License-Identifier: GPL-3.0-or-later
# A case for tests/testbed/testbed.sh, run by bench/fleet.sh: one master and
# FLEET_CLIENTS clients synchronising by a short timer; a new 64 MiB file
# appears in a distributed folder of the master. Reports the seconds until
# every client holds it byte-identical and the bytes the master sent, with
# providers on or off (FLEET_PROVIDERS=1/0). Gives up after FLEET_LIMIT s.
clients=()
for i in $(seq "$FLEET_CLIENTS"); do clients+=("c$i"); done
providers=${FLEET_PROVIDERS:-1}
network master "${clients[@]}" -- "ClientAutoInstall=1" "ClientSilentInstall=1" "ClientUpdateIntervalInMillisecs=${FLEET_INTERVAL_MS:-5000}" \
    "ClientFindObjectsOverBroadcast=$providers"
if [ -n "${FLEET_RATE:-}" ]; then
    for host in master "${clients[@]}"; do shape "$host" "$FLEET_RATE"; done
fi
# Clients know each other's names either way: with providers off nobody asks.
fleet "${clients[@]}"

# tx_bytes of the master's end of its link.
sent() { ip netns exec "$TAG-master" cat "/sys/class/net/${TAG}10/statistics/tx_bytes"; }
head -c $((64 * 1048576)) /dev/urandom >"$WORK/incoming/big.bin"
before=$(sent)
start_time=$(date +%s.%N)
mv "$WORK/incoming/big.bin" "$TREE/big.bin"
pending=("${clients[@]}")
deadline=$(( $(date +%s) + ${FLEET_LIMIT:-300} ))
while [ ${#pending[@]} -gt 0 ] && [ "$(date +%s)" -lt "$deadline" ]; do
    rest=()
    for host in "${pending[@]}"; do
        cmp -s "$TREE/big.bin" "$WORK/$host/disk/target/big.bin" || rest+=("$host")
    done
    pending=("${rest[@]}")
    [ ${#pending[@]} -gt 0 ] && sleep 0.5
done
seconds=$(echo "$(date +%s.%N) - $start_time" | bc)
bytes=$(( $(sent) - before ))
from_master=$(grep -c '\[Server\] Objekt ".*/big.bin" wird übertragen' "$WORK/master.log")
printf 'FLEET rate=%s providers=%s clients=%s done=%s seconds=%.1f master_sent_MiB=%.1f served_by_master=%s\n' \
    "${FLEET_RATE:-none}" "$providers" "$FLEET_CLIENTS" $(( FLEET_CLIENTS - ${#pending[@]} )) "$seconds" \
    "$(echo "$bytes / 1048576" | bc -l)" "$from_master"
for host in master "${clients[@]}"; do cp "$WORK/$host.log" "${FLEET_LOGS:-/tmp}/fleet-${FLEET_RATE:-none}-$providers-$FLEET_CLIENTS-$host.log" 2>/dev/null; done
[ ${#pending[@]} = 0 ] || fail "not every client got the object within the limit: ${pending[*]}"
