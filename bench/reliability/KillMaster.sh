# SPDX-License-Identifier: GPL-3.0-or-later
# The master dies by SIGKILL twice: while it compresses a 1 GiB object into
# its transfer cache, and while a client receives that object in place of an
# older version. Afterwards the client's old version must be untouched, every
# list must read back whole, the cache must hold no half entry and the next
# synchronisation must bring the new version.
source "$BENCH_TOP/bench/reliability/common.sh"
S=kill-master
one_large_object
cache=$WORK/master/home/Cache

# While the cache entry is being written.
start_listening master
for _ in $(seq 600); do
    part=$(find "$cache" -name '*.part' -size +64M 2>/dev/null | head -1)
    [ -n "$part" ] && break
    sleep 0.1
done
[ -n "$part" ] || fail "the master wrote no cache entry"
kill_host master
result $S "cache after kill in preparation" "$(leftovers "$cache")"
keep_log master preparing
start_listening master
result $S "master lists after kill in preparation" "$(list_health master)"

# While the client receives.
begin=$(now)
start client1
wait_size "$staging" $((256 * 1048576)) 600
result $S "download under way after (s)" "$(elapsed "$begin")"
result $S "leftover .part after restart" "$(leftovers "$cache")"
kill_host master
wait_log client1 "Beende Thread" 60
result $S "client after kill" "$(running client1 && echo running || echo ENDED)"
result $S "target after kill" "$(same_file "$WORK/old.bin" "$target")"
result $S "leftovers after kill" "$(leftovers "$WORK/client1" "$cache")"
result $S "master download records after kill" "$(download_records master)"
result $S "client's last word on the run" "$(grep -F 'Client-Informationen:' "$WORK/client1.log" | tail -1 | cut -d'|' -f2-)"

keep_log master sending
start_listening master
result $S "master lists on restart" "$(list_health master)"
done_before=$(count_log client1 "Synchronisation mit Server erfolgreich abgeschlossen")
begin=$(now)
send master PHONEHOME client1
wait_count client1 "Synchronisation mit Server erfolgreich abgeschlossen" $((done_before + 1)) 600
result $S "next sync took (s)" "$(elapsed "$begin")"
result $S "target after next sync" "$(same_file "$source" "$target")"
result $S "leftovers after next sync" "$(leftovers "$WORK/client1" "$cache")"
result $S "master download records after next sync" "$(download_records master)"
stop client1
keep_log client1 syncing
start client1
wait_count client1 "Synchronisation mit Server erfolgreich abgeschlossen" 1 60
result $S "client lists on restart" "$(list_health client1)"
stop client1
stop master
keep_logs
