# SPDX-License-Identifier: GPL-3.0-or-later
# A client dies by SIGKILL while it receives a 1 GiB object that replaces an
# older version; afterwards the old version must be untouched, every list must
# read back whole and the next synchronisation must bring the new version.
source "$BENCH_TOP/bench/reliability/common.sh"
S=kill-client
one_large_object

start_listening master
begin=$(now)
start client1
wait_size "$staging" $((256 * 1048576)) 600
result $S "download under way after (s)" "$(elapsed "$begin")"
kill_host client1
result $S "target after kill" "$(same_file "$WORK/old.bin" "$target")"
result $S "leftovers after kill" "$(leftovers "$WORK/client1" "$WORK/master/home/Cache")"
result $S "master download records after kill" "$(download_records master)"

keep_log client1 killed
begin=$(now)
start client1
wait_count client1 "Synchronisation mit Server erfolgreich abgeschlossen" 1 600
result $S "next sync took (s)" "$(elapsed "$begin")"
result $S "target after next sync" "$(same_file "$source" "$target")"
result $S "leftovers after next sync" "$(leftovers "$WORK/client1" "$WORK/master/home/Cache")"
result $S "master download records after next sync" "$(download_records master)"
result $S "client lists on restart" "$(list_health client1)"
stop client1
stop master
start_listening master
result $S "master lists on restart" "$(list_health master)"
stop master
keep_logs
