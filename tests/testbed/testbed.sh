#!/bin/bash
# SPDX-License-Identifier: GPL-3.0-or-later
# The multi-host test bed: every host is a network namespace on one bridge
# without uplink (192.0.2.0/24), with its own hosts file, program folder and
# computer name, running the real binary. Everything is torn down on exit,
# also when a case fails.
#
#   testbed.sh <plenwick binary> <case script>
#
# The case script is sourced and uses the functions below. Exit code 77 means
# skipped (not root, or no network namespaces here).
set -u

BINARY=$1
CASE=$2

if [ "$(id -u)" != 0 ]; then
    echo "SKIP: the multi-host test bed needs root (network namespaces)"
    exit 77
fi
if ! ip netns add "pwprobe$$" 2>/dev/null; then
    echo "SKIP: network namespaces are not available here"
    exit 77
fi
ip netns del "pwprobe$$"

TAG=pw$$                       # unique per run, so runs may overlap
BRIDGE=${TAG}br
WORK=$(mktemp -d /tmp/plenwick-testbed.XXXXXX)
# Every host sees its own folder $WORK/<host>/disk at $DISK: one target
# folder under $DISK is a different folder on each computer, as in a network.
DISK=$WORK/disk
mkdir "$DISK"
# HOST_BINARY[<host>]=<path> makes that host run another binary than
# $BINARY (a program that replaces its own executable needs a copy of its own).
# HOST_ENV[<host>]="NAME=value ..." adds to that host's environment (a host
# that runs its window on the offscreen platform).
declare -A HOST_ADDRESS HOST_PID HOST_BINARY HOST_ENV
HOSTS=()
FAILED=0

teardown() {
    # Politely first: an X server ends by a signal it can catch and takes its
    # lock and socket files with it.
    for host in "${HOSTS[@]}"; do
        for pid in $(ip netns pids "$TAG-$host" 2>/dev/null); do
            kill -TERM "$pid" 2>/dev/null
        done
    done
    for _ in $(seq 20); do
        local left=""
        for host in "${HOSTS[@]}"; do left+=$(ip netns pids "$TAG-$host" 2>/dev/null); done
        [ -z "$left" ] && break
        sleep 0.1
    done
    for host in "${HOSTS[@]}"; do
        pid=${HOST_PID[$host]:-}
        if [ -n "$pid" ] && kill -0 "$pid" 2>/dev/null; then
            kill -KILL "$pid" 2>/dev/null
            wait "$pid" 2>/dev/null
        fi
        # Processes the program started itself (a restart, its replace copy).
        for pid in $(ip netns pids "$TAG-$host" 2>/dev/null); do
            kill -KILL "$pid" 2>/dev/null
        done
        ip netns del "$TAG-$host" 2>/dev/null
        rm -rf "/etc/netns/$TAG-$host"
    done
    ip link del "$BRIDGE" 2>/dev/null
    if [ "$FAILED" != 0 ]; then
        for log in "$WORK"/*.log; do
            [ -e "$log" ] && { echo "----- $log"; cat "$log"; }
        done
    fi
    rm -rf "$WORK"
}
trap teardown EXIT
trap 'exit 1' INT TERM

ip link add "$BRIDGE" type bridge || exit 1
ip link set "$BRIDGE" up

# add_host <name> <last octet>: a computer on the bridge.
add_host() {
    local name=$1 address=192.0.2.$2 ns=$TAG-$1 veth=$TAG$2
    HOSTS+=("$name")
    HOST_ADDRESS[$name]=$address
    ip netns add "$ns"
    ip link add "$veth" type veth peer name "${veth}p"
    ip link set "${veth}p" master "$BRIDGE" up
    ip link set "$veth" netns "$ns"
    ip -n "$ns" link set lo up
    ip -n "$ns" addr add "$address/24" dev "$veth"
    ip -n "$ns" link set "$veth" up
    # A device route: broadcasts to 255.255.255.255 need one.
    ip -n "$ns" route add default dev "$veth"
    mkdir -p "/etc/netns/$ns" "$WORK/$name/home" "$WORK/$name/registry" "$WORK/$name/config" \
        "$WORK/$name/systemd" "$WORK/$name/autostart" "$WORK/$name/disk"
    printf '127.0.0.1 localhost\n' >"/etc/netns/$ns/hosts"
    # No name server reachable: lookups stay inside the namespace.
    printf 'nameserver 127.0.0.1\n' >"/etc/netns/$ns/resolv.conf"
}

# shape <host> <rate>: the host's link carries at most the rate (a tc rate,
# e.g. 100mbit) each way, as a switch port of that speed would.
shape() {
    local veth=$TAG${HOST_ADDRESS[$1]##*.}
    ip netns exec "$TAG-$1" tc qdisc add dev "$veth" root tbf rate "$2" burst 256kb latency 50ms ||
        fail "$1: tc cannot shape the link"
    tc qdisc add dev "${veth}p" root tbf rate "$2" burst 256kb latency 50ms || fail "$1: tc cannot shape the link"
}

# knows <host> <other>: host's hosts file names other (forward and reverse).
knows() {
    printf '%s %s\n' "${HOST_ADDRESS[$2]}" "$2" >>"/etc/netns/$TAG-$1/hosts"
}

# options <host> <line>...: the host's options file.
options() {
    local host=$1
    shift
    { printf '[Options]\r\n'; printf '%s\r\n' "$@"; } >"$WORK/$host/home/plenwick.config"
}

# network <master> <client>... [-- <client option>...]: the master at
# 192.0.2.10, the clients on the next addresses; the master and each client
# know each other, and every host names the master as its server, the clients
# with the options given. Clients do not know each other: one that can name
# another would fetch objects from it as provider.
network() {
    local master=$1 octet=10 host
    local -a clients=()
    add_host "$master" $octet
    shift
    while [ $# -gt 0 ] && [ "$1" != -- ]; do
        clients+=("$1")
        add_host "$1" $((++octet))
        shift
    done
    [ $# -gt 0 ] && shift
    options "$master" "NetServerName=$master"
    for host in "${clients[@]}"; do
        knows "$master" "$host"
        knows "$host" "$master"
        options "$host" "NetServerName=$master" "$@"
    done
}

# fleet <client>...: the master distributes the folder "tree" of its object
# folder (holding index.txt) to the clients, which know each other; starts
# them all and waits until each has synchronised once. A new file then goes
# into $TREE by way of $WORK/incoming.
fleet() {
    local a b host
    for a in "$@"; do
        for b in "$@"; do [ "$a" != "$b" ] && knows "$a" "$b"; done
    done
    TREE=$WORK/master/home/Objects/tree
    mkdir -p "$TREE" "$WORK/incoming"
    echo "owner" >"$TREE/index.txt"
    object master tree/index.txt "$DISK/target/" DistributeFolder
    start_listening master
    wait_log master "Veränderungen in 1 Ordnern werden überwacht"
    for host in "$@"; do start "$host"; done
    for host in "$@"; do
        wait_count "$host" "Synchronisation mit Server erfolgreich abgeschlossen" 1 120
    done
}

# probe_setup: the master's object folder holds setup.sh, which writes the
# accessibility switch and the display it finds to $DISK/target/probe.txt and
# starts the Qt test program as "Einrichtung", whose reports follow there.
# Sets OBJECTS and SCRIPTS (the master's folders) and PROBE_WINDOW (the
# program's window as a control path).
probe_setup() {
    OBJECTS=$WORK/master/home/Objects
    SCRIPTS=$WORK/master/home/Scriptus
    mkdir -p "$OBJECTS" "$SCRIPTS"
    printf '#!/bin/sh\necho "a11y=$QT_LINUX_ACCESSIBILITY_ALWAYS_ON display=$DISPLAY" >"%s"\nexec "%s" --title=Einrichtung >>"%s"\n' \
        "$DISK/target/probe.txt" "${SCRIPTUS_QT_PROBE:?the Qt test program}" "$DISK/target/probe.txt" \
        >"$OBJECTS/setup.sh"
    PROBE_WINDOW='\\<anonymous file>\Einrichtung [filler]'
}

# desktop <host>: the host gets a desktop of its own, inside its namespace
# (the abstract sockets of X and D-Bus belong to the network namespace):
# Xvfb, a session bus and the accessibility bus. The host's program runs on
# it; what the program starts inherits it.
desktop() {
    local host=$1 ns=$TAG-$1 dir=$WORK/$1/desktop bus="" a11y=""
    mkdir -p "$dir/runtime" "$dir/cache"
    chmod 700 "$dir/runtime"
    ip netns exec "$ns" Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$dir/display" >"$dir/xvfb.log" 2>&1 &
    for _ in $(seq 100); do
        [ -s "$dir/display" ] && break
        sleep 0.1
    done
    [ -s "$dir/display" ] || fail "$host: Xvfb did not start"
    # Otherwise the accessibility switch would be saved into a dconf file.
    local -a env=(DISPLAY=":$(head -1 "$dir/display")" XDG_RUNTIME_DIR="$dir/runtime" XDG_CACHE_HOME="$dir/cache"
        XDG_CONFIG_HOME="$WORK/$host/config" GSETTINGS_BACKEND=memory)
    ip netns exec "$ns" env "${env[@]}" dbus-daemon --session --nofork --nopidfile --print-address=3 \
        3>"$dir/bus" >/dev/null 2>&1 &
    for _ in $(seq 100); do
        [ -s "$dir/bus" ] && break
        sleep 0.1
    done
    bus=$(head -1 "$dir/bus")
    [ -n "$bus" ] || fail "$host: no session bus"
    env+=(DBUS_SESSION_BUS_ADDRESS="$bus")
    # Asking for the accessibility bus starts it; it is ready once its registry answers.
    for _ in $(seq 150); do
        a11y=$(ip netns exec "$ns" env "${env[@]}" dbus-send --session --print-reply=literal --dest=org.a11y.Bus \
            /org/a11y/bus org.a11y.Bus.GetAddress 2>/dev/null | grep -o 'unix:[^ ]*')
        [ -n "$a11y" ] && ip netns exec "$ns" dbus-send --bus="$a11y" --print-reply --dest=org.a11y.atspi.Registry \
            /org/a11y/atspi/accessible/root org.freedesktop.DBus.Peer.Ping >/dev/null 2>&1 && break
        a11y=""
        sleep 0.1
    done
    [ -n "$a11y" ] || fail "$host: the accessibility bus does not answer"
    HOST_ENV[$host]="${env[*]} ${HOST_ENV[$host]:-}"
}

# host_command <host> <parameter>...: sets HOST_COMMAND to the command line
# of the program in the host. Every step execs the next, so the program
# keeps the process id of the first.
host_command() {
    local host=$1 dir=$WORK/$1
    shift
    # ip netns exec gives the command a private mount namespace.
    HOST_COMMAND=(ip netns exec "$TAG-$host"
        sh -c 'mount --bind "$1" "$2" && shift 2 && exec "$@"' _ "$dir/disk" "$DISK"
        env -u DISPLAY -u WAYLAND_DISPLAY
        PLENWICK_COMPUTERNAME="$host" PLENWICK_HOME="$dir/home" PLENWICK_REGISTRY_DIR="$dir/registry"
        PLENWICK_PROTOCOL_FILE="$dir/plenwick.protocol" XDG_CONFIG_HOME="$dir/config"
        PLENWICK_SYSTEMD_DIR="$dir/systemd" PLENWICK_SYSTEM_AUTOSTART_DIR="$dir/autostart"
        ${HOST_ENV[$host]:-}
        "${HOST_BINARY[$host]:-$BINARY}" "$@")
}

# host_exec <host> <parameter>...: the program in the host, in the foreground.
host_exec() {
    host_command "$@"
    "${HOST_COMMAND[@]}"
}

# start <host> [parameter...]: runs the program in the host, its log in $WORK/<host>.log.
# A simple command in the background: its process id is the program's, so
# stop and the teardown reach the program itself, not a subshell.
start() {
    host_command "$@"
    "${HOST_COMMAND[@]}" >"$WORK/$1.log" 2>&1 &
    HOST_PID[$1]=$!
}

# start_listening <host> [parameter...]: starts the program and waits until
# it listens for connections.
start_listening() {
    start "$@"
    wait_log "$1" "Server-Komponente hört auf TCP-Port 42424"
}

# send <host> <command> <target>: a short-lived instance in the host sends a
# remote command; its log is appended to $WORK/<host>-send.log.
send() {
    host_exec "$1" /SEND "$2" "$3" >>"$WORK/$1-send.log" 2>&1 || fail "$1 could not send $2 to $3"
}

# datagram <host> <address> <text>: one UDP datagram from the host to the
# address at port 42424.
datagram() {
    ip netns exec "$TAG-$1" bash -c 'printf %s "$1" >"/dev/udp/$2/42424"' _ "$3" "$2"
}

# running <host>: the host's program has not ended.
running() {
    kill -0 "${HOST_PID[$1]}" 2>/dev/null
}

# wait_count <host> <text> <count> [seconds]: waits until the text is in that many log lines.
wait_count() {
    local limit=$(( ${4:-10} * 10 ))
    for _ in $(seq "$limit"); do
        [ "$(count_log "$1" "$2")" -ge "$3" ] && return 0
        sleep 0.1
    done
    fail "$1 did not log $3 times: $2"
}

# stop <host> [seconds]: the orderly shutdown by SIGTERM; fails when it does
# not end in time (default 10 s).
stop() {
    local pid=${HOST_PID[$1]} limit=$(( ${2:-10} * 10 ))
    kill -TERM "$pid" 2>/dev/null
    for _ in $(seq "$limit"); do
        kill -0 "$pid" 2>/dev/null || { wait "$pid"; return; }
        sleep 0.1
    done
    fail "$1 did not end after SIGTERM"
}

# wait_log <host> <text> [seconds]: waits until the host's log holds the text.
wait_log() {
    local limit=$(( ${3:-10} * 10 ))
    for _ in $(seq "$limit"); do
        grep -qF -- "$2" "$WORK/$1.log" 2>/dev/null && return 0
        sleep 0.1
    done
    fail "$1 did not log: $2"
}

# count_log <host> <text>: how many log lines hold the text.
count_log() {
    grep -cF -- "$2" "$WORK/$1.log" 2>/dev/null
}

# expect_file <host> <file in program folder> <text>
expect_file() {
    grep -qF -- "$3" "$WORK/$1/home/$2" 2>/dev/null || fail "$1: $2 lacks: $3"
}

# object <host> <source name> <target folder> [flag|key=value]...: appends an
# object to the host's object list (the master fills in date and size at its
# start). Flags: SwapOnly StartAfterTransfer Autostart RegisterOcx DeleteTarget
# DistributeFolder IncludeSubfolders UseClientGroupRights; keys: groups=
# (client-group paths joined by "|"), description=, scriptus=.
object() {
    local host=$1 source=$2 target=$3 groups="" description="" scriptus=""
    declare -A flag=()
    shift 3
    for word in "$@"; do
        case $word in
            groups=*) groups=${word#groups=} ;;
            description=*) description=${word#description=} ;;
            scriptus=*) scriptus=${word#scriptus=} ;;
            *) flag[$word]=True ;;
        esac
    done
    local f line
    line=$(printf '0,"%s","%s",01.01.00 00:00:00,"?",0,0,"%s","%s","%s"' \
        "$source" "$target" "$groups" "$description" "$scriptus")
    for f in SwapOnly StartAfterTransfer Autostart RegisterOcx DeleteTarget DistributeFolder IncludeSubfolders; do
        line+=",${flag[$f]:-False}"
    done
    line+=",True,False,${flag[UseClientGroupRights]:-False}"
    printf '%s\r\n' "$line" >>"$WORK/$host/home/plenwick.objects"
}

fail() {
    echo "FAIL: $*"
    FAILED=1
    exit 1
}

# shellcheck source=/dev/null
source "$CASE"
echo "PASS: $(basename "$CASE")"
