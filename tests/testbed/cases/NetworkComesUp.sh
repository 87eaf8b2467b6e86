# SPDX-License-Identifier: GPL-3.0-or-later
# A client that synchronises by itself does so a few seconds after an address
# appears (a cable plugged in, a laptop waking), not only at the next tick of
# its half-hour timer.
network master client1 -- "ClientSilentInstall=1" "ClientAutoInstall=1"
objects=$WORK/master/home/Objects
mkdir -p "$objects"
printf 'eins\n' >"$objects/a.txt"
object master a.txt "$DISK/target/"

start_listening master
start client1
wait_count client1 "Synchronisation mit Server erfolgreich abgeschlossen" 1 20
ip -n "$TAG-client1" addr add 192.0.2.111/24 dev "${TAG}11"
wait_log client1 "Das Netzwerk ist verfügbar, Synchronisation wird gestartet" 15
wait_count client1 "Synchronisation mit Server erfolgreich abgeschlossen" 2 20
stop client1
stop master
