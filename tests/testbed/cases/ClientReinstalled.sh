# SPDX-License-Identifier: GPL-3.0-or-later
# The master knows each client by the key of its first login: the same
# computer reinstalled, with a new key, is refused until the administrator
# deletes it ("Client löschen", which forgets its key).
network master client1 -- "ClientSilentInstall=1"
start_listening master
start client1
wait_count client1 "Synchronisation mit Server erfolgreich abgeschlossen" 1 20
client_key=$(host_exec client1 --fingerprint)
expect_file master plenwick.clientkeys "\"client1\",$client_key"
stop client1

rm "$WORK/client1/home/plenwick.key" "$WORK/client1/home/plenwick.crt"
start client1
wait_log master "Client \"client1\" legt den Schlüssel $(host_exec client1 --fingerprint) vor, gespeichert ist $client_key" 20
wait_log client1 'Antwort "LOGIN fail noelevate" empfangen'
stop client1
stop master
