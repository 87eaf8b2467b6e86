# SPDX-License-Identifier: GPL-3.0-or-later
# A computer of the network answers every QUERYDOWNLOAD and serves a program
# of its own under the object's name, of the same size. The client asks it,
# finds that its bytes are not what the master vouches for, throws them away
# and installs the master's object; nothing of the stranger's runs or stays.
network master client1 -- "ClientSilentInstall=1"
add_host evil 20
knows client1 evil
objects=$WORK/master/home/Objects
mkdir -p "$objects"
printf 'echo genuine\n' >"$objects/a.sh"
object master a.sh "$DISK/target/"

# The stranger: a SETDOWNLOAD to client1 for every datagram it hears, with the
# name and id of the question, and its own 13 bytes for every DOWNLOAD.
cat >"$WORK/evil-answer.sh" <<'SCRIPT'
question=$(timeout 1 head -c 512)
set -- $question
[ "$1" = QUERYDOWNLOAD ] && printf 'SETDOWNLOAD %s %s' "$2" "$3" >/dev/udp/192.0.2.11/42424
SCRIPT
cat >"$WORK/evil-serve.sh" <<'SCRIPT'
read -r login
printf 'LOGIN ok noelevate  \r\n'
read -r request
set -- $request
printf 'DOWNLOAD %s 13\r\n#!/bin/sh\nid\n' "$2"
sleep 2
SCRIPT
ip netns exec "$TAG-evil" socat UDP-RECVFROM:42424,reuseaddr,fork SYSTEM:"bash $WORK/evil-answer.sh" \
    >"$WORK/evil-udp.log" 2>&1 &
# It speaks TLS with a key of its own: providers are reached with any key.
openssl req -x509 -newkey ed25519 -nodes -subj /CN=evil -days 1 -keyout "$WORK/evil.key" -out "$WORK/evil.crt" \
    >/dev/null 2>&1 || fail "no certificate for the stranger"
ip netns exec "$TAG-evil" socat OPENSSL-LISTEN:42424,reuseaddr,fork,cert="$WORK/evil.crt",key="$WORK/evil.key",verify=0 \
    SYSTEM:"bash $WORK/evil-serve.sh" >"$WORK/evil-tcp.log" 2>&1 &

start_listening master
start client1
wait_count client1 "Synchronisation mit Server erfolgreich abgeschlossen" 1 20
wait_log client1 "Provider \"evil\" bietet das Objekt \"a.sh\" an"
wait_log client1 "Objekt \"a.sh\" von \"evil\" stimmt nicht mit Größe und Prüfsumme des Master-Servers überein und wird verworfen"
cmp -s "$objects/a.sh" "$WORK/client1/disk/target/a.sh" || fail "client1 lacks the genuine object"
[ -x "$WORK/client1/disk/target/a.sh" ] && fail "the object was made runnable"
[ -e "$WORK/client1/disk/target/~\$a.sh" ] && fail "the stranger's bytes stayed behind"
expect_file master plenwick.downloads "192.0.2.11,client1,"
stop client1
stop master
