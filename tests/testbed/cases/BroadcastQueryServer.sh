# SPDX-License-Identifier: GPL-3.0-or-later
# A fresh computer asks the network for its master server. Every configured
# computer answers; the first answer is stored and the later ones ignored.
add_host master 10
add_host client1 11
add_host fresh 20
for host in master client1; do
    knows fresh "$host"
    knows "$host" fresh
done
options master "NetServerName=master"
options client1 "NetServerName=master"

start master
start client1
wait_log master "Broadcast-Komponente hört auf UDP-Port 42424"
wait_log client1 "Broadcast-Komponente hört auf UDP-Port 42424"

start fresh /QUERYSERVER
wait_log fresh "Sende Broadcast \"QUERYSERVER\""
wait_log master "Empfange Broadcast \"QUERYSERVER\" von \"fresh\""
wait_log master "Sende Broadcast \"SETSERVER master\""
wait_log client1 "Sende Broadcast \"SETSERVER master\""
wait_log fresh "Der Master-Server \"master\" wurde konfiguriert"
expect_file fresh plenwick.config "NetServerName=master"
sleep 1
[ "$(count_log fresh 'wurde konfiguriert')" = 1 ] || fail "fresh took more than one answer"

# A configured computer's own answer reaches itself too; it asked nothing and stays as it is.
expect_file client1 plenwick.config "NetServerName=master"
[ "$(count_log master 'wurde konfiguriert')" = 0 ] || fail "master changed its server name"

stop fresh
stop client1
stop master
