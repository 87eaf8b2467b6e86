# SPDX-License-Identifier: GPL-3.0-or-later
# A peer first heard before its name could be resolved is named once it can
# be: the name is looked up for every datagram, an empty result is never kept.
network master client1
add_host late 40

start_listening master
datagram late 192.0.2.10 "HELLO"
wait_log master 'Empfange Broadcast "HELLO" von ""'
knows master late
sleep 1
datagram late 192.0.2.10 "HELLO"
wait_log master 'Empfange Broadcast "HELLO" von "late"'
stop master
