# SPDX-License-Identifier: GPL-3.0-or-later
# While a fleet moves to TLS, a master with NetAllowPlainClients serves a
# client of an older version that speaks clear text; a master without it
# closes such a session unanswered.
network master client1
options master "NetServerName=master" "NetAllowPlainClients=1" "ServerCompressData=0"
objects=$WORK/master/home/Objects
mkdir -p "$objects"
printf 'für alle\n' >"$objects/a.txt"
object master a.txt "$DISK/target/"

# plain_session <line>...: the lines in clear text from client1, then what
# came back within five seconds.
plain_session() {
    ip netns exec "$TAG-client1" bash -c 'exec 3<>"/dev/tcp/$1/42424"; shift; printf "%s\r\n" "$@" >&3; timeout 5 cat <&3' \
        _ "${HOST_ADDRESS[master]}" "$@"
}
login='LOGIN YW5vbnltb3Vz,Ymx1ZWhlcm9u 01.01.26 client1'

start_listening master
reply=$(plain_session "$login" OBJLIST 'DOWNLOAD "a.txt"')
grep -q "LOGIN ok" <<<"$reply" || fail "no login for a plain client: $reply"
grep -q '"a.txt"' <<<"$reply" || fail "no object list for a plain client: $reply"
grep -q "für alle" <<<"$reply" || fail "no object for a plain client: $reply"
wait_log master 'Client "client1" meldet sich unverschlüsselt an (NetAllowPlainClients)'
stop master

options master "NetServerName=master" "ServerCompressData=0"
start_listening master
reply=$(plain_session "$login" OBJLIST)
[ -z "$reply" ] || fail "a plain client was answered: $reply"
wait_log master 'Unverschlüsselte Anfrage "LOGIN ***'
stop master
