# SPDX-License-Identifier: GPL-3.0-or-later
# A client connects to the master by name and logs in; the master names it
# after its reverse entry. A client without reverse entry is named after its
# address.
add_host master 10
add_host client1 11
add_host client2 12
knows master client1
knows client1 master
knows client2 master
options master "NetServerName=master"
options client1 "NetServerName=master"
options client2 "NetServerName=master"

start master
wait_log master "Server-Komponente hört auf TCP-Port 42424"
wait_log master "Broadcast-Komponente hört auf UDP-Port 42424"

start client1
wait_log client1 "Verbinde mit Server master:42424"
wait_log master "Namensauflösung für IP-Adresse 192.0.2.11 vornehmen"
wait_log master "Verbindung mit \"client1\" hergestellt"
wait_log master "Anmeldung durch Benutzer \"anonymous\", Ergebnis: ok noelevate"
wait_log client1 "Antwort \"LOGIN ok noelevate  \" empfangen"
wait_log client1 "Synchronisation mit Server erfolgreich abgeschlossen"
wait_log master "Verbindung mit client1 beendet"

start client2
wait_log master "Verbindung mit \"192.0.2.12\" hergestellt"
wait_log client2 "Synchronisation mit Server erfolgreich abgeschlossen"

stop client1
stop client2
stop master
