# SPDX-License-Identifier: GPL-3.0-or-later
# The master sends the remote commands from a short-lived sending instance:
# PHONEHOME makes the client synchronise at once, DEINSTALL removes its
# autostart entry and leaves it running, TERMINATE ends it through the
# orderly shutdown; the master itself ignores TERMINATE.
network master client1
entry=$WORK/client1/autostart/$(basename "$BINARY").desktop
printf '[Desktop Entry]\nType=Application\nExec="%s"\n' "$BINARY" >"$entry"

start_listening master
start_listening client1
wait_count client1 "Synchronisation mit Server erfolgreich abgeschlossen" 1

send master PHONEHOME client1
wait_log master-send "Antwort \"PHONEHOME_OK\" empfangen"
wait_log client1 "Rückrufaufforderung empfangen"
wait_log client1 "Starte Synchronisation mit Server master:42424"
wait_count client1 "Synchronisation mit Server erfolgreich abgeschlossen" 2

send master DEINSTALL client1
wait_log client1 "Deinstallationskommando empfangen"
wait_log master-send "Antwort \"DEINSTALL_OK\" empfangen"
[ -e "$entry" ] && fail "the autostart entry is still there"
sleep 1
running client1 || fail "client1 ended after DEINSTALL"

send client1 TERMINATE master
wait_log master "Terminierungskommando empfangen"
wait_log client1-send "Antwort \"TERMINATE_OK\" empfangen"
sleep 2
running master || fail "the master ended on TERMINATE"

send master TERMINATE client1
wait_log client1 "Terminierungskommando empfangen"
wait_log master-send "Antwort \"TERMINATE_OK\" empfangen"
wait_log client1 "Anwendung ist bereit zum Terminieren" 15
wait_log client1 "Anwendung wurde beendet" 5
for _ in $(seq 50); do running client1 || break; sleep 0.1; done
running client1 && fail "client1 did not end after TERMINATE"
wait "${HOST_PID[client1]}" || fail "client1 ended with an error"
[ "$(count_log client1 'Terminierungskommando empfangen')" = 1 ] || fail "TERMINATE came more than once"

stop master
