# SPDX-License-Identifier: GPL-3.0-or-later
# Two datagrams from one sender 500 ms apart: the second is filtered and not
# answered; after a quiet second the sender is heard again.
add_host master 10
add_host client1 11
knows master client1
options master "NetServerName=master"

start master
wait_log master "Broadcast-Komponente hört auf UDP-Port 42424"

datagram client1 192.0.2.10 QUERYSERVER
sleep 0.5
datagram client1 192.0.2.10 QUERYSERVER
wait_log master "Broadcast \"QUERYSERVER\" von \"client1\" gefiltert"
[ "$(count_log master 'Sende Broadcast "SETSERVER master"')" = 1 ] || fail "the filtered datagram was answered"

sleep 1
datagram client1 192.0.2.10 QUERYSERVER
wait_count master 'Sende Broadcast "SETSERVER master"' 2

# Broken datagrams do not stop the listener.
datagram client1 192.0.2.10 "$(printf 'QUERYDOWNLOAD \x01')"
sleep 1
datagram client1 192.0.2.10 "QUERYDOWNLOAD"
wait_log master "Unvollständiger Broadcast \"QUERYDOWNLOAD\" verworfen"
sleep 1
datagram client1 192.0.2.10 QUERYSERVER
wait_count master 'Sende Broadcast "SETSERVER master"' 3

stop master
