# SPDX-License-Identifier: GPL-3.0-or-later
# A client connects to the master by name and logs in; the master registers
# it under its reverse name in the group of its /24 network. A client without
# reverse entry is named after its address, and its next connection takes the
# name from the client list instead of asking the resolver again.
add_host master 10
add_host client1 11
add_host client2 12
knows master client1
knows client1 master
knows client2 master
options master "NetServerName=master"
options client1 "NetServerName=master"
options client2 "NetServerName=master"

start_listening master
wait_log master "Broadcast-Komponente hört auf UDP-Port 42424"

start client1
wait_log client1 "Verbinde mit Server master:42424"
wait_log master "Namensauflösung für IP-Adresse 192.0.2.11 vornehmen"
wait_log master "Verbindung mit \"client1\" hergestellt"
wait_log master "Anmeldung durch Benutzer \"anonymous\", Ergebnis: ok noelevate"
wait_log client1 "Antwort \"LOGIN ok noelevate  \" empfangen"
wait_log client1 "Synchronisation mit Server erfolgreich abgeschlossen"
wait_log master "Verbindung mit client1 beendet"
expect_file master plenwick.clients 'client1,"client1",192.0.2.11,'
expect_file master plenwick.clients '"Client client1","\192\0\2\"'

start client2
wait_log master "Verbindung mit \"192.0.2.12\" hergestellt"
wait_log client2 "Synchronisation mit Server erfolgreich abgeschlossen"
[ "$(count_log master 'aus Cache aufgelöst')" = 0 ] || fail "first connection of client2 came from the cache"
stop client2
start client2
wait_log master "Domain-Name \"192.0.2.12\" aus Cache aufgelöst"
wait_log master "Client \"192.0.2.12\" ist bereits bekannt"
wait_log client2 "Synchronisation mit Server erfolgreich abgeschlossen"

stop client1
stop client2
stop master
