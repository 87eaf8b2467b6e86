# SPDX-License-Identifier: GPL-3.0-or-later
# Repeated synchronisation: 100 small objects per client, two clients (each
# its own set through client groups, since both write to one file system).
# Round 1 brings all of them; every later round changes some objects on the
# master, waits until the master has noticed, calls both clients home and
# checks every target. Figures: seconds per round, objects noticed, failures.
source "$BENCH_TOP/bench/reliability/common.sh"
S=rounds
ROUNDS=${RELIABILITY_ROUNDS:-20}
OBJECTS=100
CHANGED=10
network master client1 client2 -- "ClientSilentInstall=1"
objects=$WORK/master/home/Objects
mkdir -p "$objects"
printf '%s\r\n' 'client1,"client1",192.0.2.11,01.01.26 00:00:00,"","\c1\"' \
    'client2,"client2",192.0.2.12,01.01.26 00:00:00,"","\c2\"' >"$WORK/master/home/plenwick.clients"

# fill <n>: new content of a few KiB for object n of both clients, each
# written beside the folder and moved in whole, as a deployment would.
fill() {
    local name
    name=$(printf 'obj%03d.txt' "$1")
    head -c $((2048 + RANDOM % 4096)) /dev/urandom | base64 >"$WORK/new"
    cp "$WORK/new" "$WORK/new2"
    mv "$WORK/new" "$objects/c1-$name"
    mv "$WORK/new2" "$objects/c2-$name"
    changed+=("c1-$name" "c2-$name")
}
for n in $(seq $OBJECTS); do
    fill "$n"
    name=$(printf 'obj%03d.txt' "$n")
    object master "c1-$name" "$WORK/client1/target/" UseClientGroupRights 'groups=\c1\'
    object master "c2-$name" "$WORK/client2/target/" UseClientGroupRights 'groups=\c2\'
done

# differing <client>: its targets that are absent or differ from their sources.
differing() {
    local c=${1#client} source
    for source in "$objects"/c"$c"-*; do
        cmp -s "$source" "$WORK/$1/target/$(basename "$source")" || printf '%s ' "$(basename "$source")"
    done
}
# noticed <from line>: how many of the changed objects the master has
# noticed since that line of its log.
noticed() {
    local name got=0
    for name in "${changed[@]}"; do
        tail -n +"$1" "$WORK/master.log" | grep -qF "[ChangeNotifyThread] Objekt \"$name\" wurde modifiziert" &&
            got=$((got + 1))
    done
    echo $got
}
synced() {
    count_log "$1" "Synchronisation mit Server erfolgreich abgeschlossen"
}

start_listening master
wait_log master "Ordner \"$objects/\" wird überwacht" 30
times=()
noticing=()
changed=()
failures=0
missed=0
begin=$(now)
start client1
start client2
wait_count client1 "Synchronisation mit Server erfolgreich abgeschlossen" 1 120
wait_count client2 "Synchronisation mit Server erfolgreich abgeschlossen" 1 120
times+=("$(elapsed "$begin")")
for c in client1 client2; do
    bad=$(differing $c)
    [ -z "$bad" ] || { failures=$((failures + 1)); result $S "round 1 $c" "differ: $bad"; }
done

for round in $(seq 2 "$ROUNDS"); do
    changed=()
    from=$(( $(wc -l <"$WORK/master.log") + 1 ))
    done1=$(synced client1)
    done2=$(synced client2)
    begin=$(now)
    # Ten different objects each round, spread over the list.
    for k in $(seq 0 $((CHANGED - 1))); do
        fill $(( (round * 7 + k * OBJECTS / CHANGED) % OBJECTS + 1 ))
    done
    for _ in $(seq 150); do
        [ "$(noticed "$from")" -ge $((2 * CHANGED)) ] && break
        sleep 0.2
    done
    got=$(noticed "$from")
    noticing+=("$(elapsed "$begin")")
    if [ "$got" -lt $((2 * CHANGED)) ]; then
        missed=$((missed + 1))
        result $S "round $round" "master noticed $got of $((2 * CHANGED)) changed objects within 30 s"
    fi
    send master PHONEHOME client1
    send master PHONEHOME client2
    wait_count client1 "Synchronisation mit Server erfolgreich abgeschlossen" $((done1 + 1)) 120
    wait_count client2 "Synchronisation mit Server erfolgreich abgeschlossen" $((done2 + 1)) 120
    times+=("$(elapsed "$begin")")
    for c in client1 client2; do
        bad=$(differing $c)
        [ -z "$bad" ] || { failures=$((failures + 1)); result $S "round $round $c" "differ: $bad"; }
    done
done

sorted=$(printf '%s\n' "${times[@]:1}" | sort -n)
count=$(echo "$sorted" | wc -l)
result $S "round 1, all $OBJECTS new, both clients (s)" "${times[0]}"
result $S "later rounds: min / median / max (s)" \
    "$(echo "$sorted" | head -1) / $(echo "$sorted" | sed -n "$(( (count + 1) / 2 ))p") / $(echo "$sorted" | tail -1)"
result $S "later rounds: change noticed after, median (s)" "$(printf '%s\n' "${noticing[@]}" | sort -n | sed -n "$(( (${#noticing[@]} + 1) / 2 ))p")"
result $S "rounds with a target differing after sync" "$failures"
result $S "rounds where the master missed a change" "$missed"
result $S "master lists" "$(list_health master)"
keep_logs
stop client1
stop client2
stop master
