# SPDX-License-Identifier: GPL-3.0-or-later
# A guided tour for ./run.sh demo, run by testbed.sh like a case: a master
# server and two clients distribute a small folder of objects, then one
# object is withdrawn. Not under cases/, so it is no CTest test.
# The target folder lies under $DISK, so each client has one of its own.

bold=""
plain=""
if [ -t 1 ]; then
    bold=$(printf '\033[1m')
    plain=$(printf '\033[0m')
fi

say() {
    printf '\n%s== %s%s\n' "$bold" "$*" "$plain"
}

# indent: the lines shown, indented, with the long folder names shortened.
indent() {
    sed -e "s|$DISK|\$DISK|g" -e "s|$WORK|\$WORK|g" -e 's/^/   /'
}

# show_log <host> <extended regex>: the log lines of the host that match.
show_log() {
    echo "-- log of $1:"
    grep -E -- "$2" "$WORK/$1.log" | indent
}

show_targets() {
    for c in client1 client2; do
        echo "-- $c: ls -l \$DISK/targets/"
        ls -l --time-style=+'%d.%m.%y %H:%M:%S' "$WORK/$c/disk/targets" | indent
    done
}

# The client's steps per object; on the master the overview lines, which name
# the client, and the group check.
client_lines='\[Client\].*(Schreibe Objekt|Benenne neues Objekt|Starte Zielobjekt|wurde gelöscht)'
server_lines='^Server-Informationen.*(wird übertragen|bestätigt)|darf nicht übertragen werden'

say "A small network without uplink: master 192.0.2.10, client1 192.0.2.11, client2 192.0.2.12"
echo "   (work folder \$WORK = $WORK; \$DISK = $DISK is a folder of its own on every host)"
network master client1 client2 -- "ClientSilentInstall=1"

say "The master's object folder \$WORK/master/home/Objects/, target folder \$DISK/targets/ on every client"
objects=$WORK/master/home/Objects
mkdir -p "$objects"
printf 'Willkommen! Diese Datei kam vom Master-Server.\n' >"$objects/Willkommen.txt"
printf '#!/bin/sh\necho "hallo.sh lief auf $PLENWICK_COMPUTERNAME um $(date +%%T)" >"$(dirname "$0")/hallo.out"\n' \
    >"$objects/hallo.sh"
chmod +x "$objects/hallo.sh"
printf 'Eine alte Datei, die bald zurückgezogen wird.\n' >"$objects/Altlast.txt"
printf 'Nur für die Buchhaltung.\n' >"$objects/Buchhaltung.txt"
object master Willkommen.txt "$DISK/targets/" "description=für alle"
object master hallo.sh "$DISK/targets/" StartAfterTransfer "description=wird nach der Übertragung gestartet"
object master Altlast.txt "$DISK/targets/" "description=wird später gelöscht"
object master Buchhaltung.txt "$DISK/targets/" UseClientGroupRights 'groups=\Buchhaltung\' \
    "description=nur Client-Gruppe Buchhaltung"
# client2 is known to the master as a member of the group \Buchhaltung\.
printf 'client2,"client2",192.0.2.12,01.01.00 00:00:00,"Demo-Rechner","\\Buchhaltung\\"\r\n' \
    >"$WORK/master/home/plenwick.clients"
ls -l --time-style=+'%d.%m.%y %H:%M:%S' "$objects" | indent
echo "   hallo.sh: StartAfterTransfer; Altlast.txt: withdrawn later; Buchhaltung.txt: only for the group \\Buchhaltung\\ (client2)"

say "Starting the master server, then both clients (each synchronises once at start)"
start_listening master
start client1
start client2
for c in client1 client2; do
    wait_count "$c" "Synchronisation mit Server erfolgreich abgeschlossen" 1 30
    for _ in $(seq 50); do [ -s "$WORK/$c/disk/targets/hallo.out" ] && break; sleep 0.1; done
done

say "Every session runs inside TLS: each client pinned the master's key at its first login"
show_log master "Fingerabdruck des Schlüssels dieses Computers"
for c in client1 client2; do
    show_log "$c" "wird ab jetzt vertraut"
done
show_log master 'Schlüssel .* des Clients'

say "What arrived"
show_targets
for c in client1 client2; do
    echo "-- $c: hallo.out"
    indent <"$WORK/$c/disk/targets/hallo.out" 2>/dev/null || echo "   (hallo.sh did not run)"
    show_log "$c" "$client_lines"
done
show_log master "$server_lines"
echo "   client1 has no Buchhaltung.txt: its client group \\192\\0\\2\\ is not entitled to it."

say "Altlast.txt is withdrawn: the master restarts with the object marked DeleteTarget"
stop master
mv "$WORK/master.log" "$WORK/master-first.log"
awk -F, -v OFS=, '$2 == "\"Altlast.txt\"" { $15 = "True" } 1' "$WORK/master/home/plenwick.objects" \
    >"$WORK/objects.new" && mv "$WORK/objects.new" "$WORK/master/home/plenwick.objects"
start_listening master

say "The master calls both clients back (PHONEHOME)"
for c in client1 client2; do
    send master PHONEHOME "$c"
    wait_count "$c" "Synchronisation mit Server erfolgreich abgeschlossen" 2 30
done
show_log master-send 'Antwort "PHONEHOME_OK"'
show_targets
for c in client1 client2; do
    show_log "$c" '\[Server\] Rückrufaufforderung empfangen|\[Client\].*(wurde gelöscht|konnte nicht gelöscht)'
done

say "Ending everything in order; the test bed then removes the network"
stop client1
stop client2
stop master
for host in client1 client2 master; do
    show_log "$host" 'Anwendung wurde beendet'
done
