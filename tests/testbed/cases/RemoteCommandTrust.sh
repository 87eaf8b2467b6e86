# SPDX-License-Identifier: GPL-3.0-or-later
# Anyone may log in, but a client with a master server takes SETSERVER,
# TERMINATE and DEINSTALL from that master only: a third computer gets its
# replies and is ignored. PHONEHOME stays open. A computer without a master
# server takes the first SETSERVER from anyone, and from then on only from
# the master it names.
network master client1
add_host rogue 30
add_host fresh 31
options rogue "NetServerName=rogue"
knows rogue client1
knows rogue fresh
knows client1 rogue
knows fresh master
knows master fresh
knows fresh rogue
entry=$WORK/client1/autostart/$(basename "$BINARY").desktop
printf '[Desktop Entry]\nType=Application\nExec="%s"\n' "$BINARY" >"$entry"

start_listening master
start_listening client1
start_listening fresh
wait_count client1 "Synchronisation mit Server erfolgreich abgeschlossen" 1

send rogue SETSERVER client1
wait_log client1 'Kommando "SETSERVER" von "rogue" wird nicht ausgeführt: nur der Master-Server "master" darf es senden'
expect_file client1 plenwick.config "NetServerName=master"
send rogue DEINSTALL client1
wait_log rogue-send 'Antwort "DEINSTALL_OK" empfangen'
wait_log client1 'Kommando "DEINSTALL" von "rogue" wird nicht ausgeführt'
[ -e "$entry" ] || fail "a third computer removed the autostart entry"
send rogue TERMINATE client1
wait_log rogue-send 'Antwort "TERMINATE_OK" empfangen'
wait_log client1 'Kommando "TERMINATE" von "rogue" wird nicht ausgeführt'
sleep 2
running client1 || fail "a third computer ended client1"
send rogue PHONEHOME client1
wait_count client1 "Synchronisation mit Server erfolgreich abgeschlossen" 2

# The first start needs a master server from anyone; after that it is fixed.
send master SETSERVER fresh
wait_log fresh 'Der Master-Server "master" wurde konfiguriert'
send rogue SETSERVER fresh
wait_log fresh 'Kommando "SETSERVER" von "rogue" wird nicht ausgeführt: nur der Master-Server "master" darf es senden'
expect_file fresh plenwick.config "NetServerName=master"

send master TERMINATE client1
wait_log client1 "Anwendung wurde beendet" 15
for _ in $(seq 50); do running client1 || break; sleep 0.1; done
running client1 && fail "client1 did not end on its master's TERMINATE"
stop fresh
stop master
