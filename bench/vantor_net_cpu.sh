#!/usr/bin/env bash
# The whole vantor program on the network, on 127.0.0.1:
#   as a client of net_peer streaming 64-byte packets at 1, 10 and 50 MB/s
#   with raw recording on: packets sent and recorded (the recording must be
#   packets 0, 1, ... without a gap), vantor's CPU share, resident memory
#   at the start and the end of the stream;
#   as a server with test data and echo on: 64 clients for the time, the
#   packets each got.
# The cycle takes at most one packet a pass: with the 1 ms loop time, 1000
# packets (64 kB) a second. Above that TCP holds the sender back; nothing
# is lost, the figure is the cycle's.
set -u
build=${1:-build}
secs=${2:-30}
src=$(cd "$(dirname "$0")/.." && pwd)
peer=${3:-$src/$build/net_peer}
. "$src/tests/xvfb_support.sh"
. "$src/tests/net_pages.sh"
pid=
ppid_=
work=
trap 'kill $pid $ppid_ 2>/dev/null; xvfb_stop; [ -n "$work" ] && rm -rf "$work"' EXIT
xvfb_start || { echo "Xvfb did not start"; exit 1; }
unset QT_QPA_PLATFORM
hz=$(getconf CLK_TCK)
ticks() { awk '{print $14 + $15}' "/proc/$1/stat"; }
rss() { awk '/VmRSS/ {print $2}' "/proc/$1/status"; }

page0() {
    net_page0 "$@"
    "$src/$build/qorvends" 0 9999 >/dev/null 2>&1
}

start_vantor() {
    "$src/$build/vantor" 10 >/dev/null 2>&1 &
    pid=$!
    local id
    id=$(wait_window '^Welcome$') || return 1
    xdotool windowfocus --sync "$id" key Return
    main=$(wait_window "ZYR for Linux") || return 1
    sleep 1
}

stop_vantor() {
    kill -TERM $pid 2>/dev/null
    for _ in $(seq 100); do kill -0 $pid 2>/dev/null || break; sleep 0.1; done
    kill -9 $pid 2>/dev/null
    wait $pid 2>/dev/null
    pid=
}

# label, bytes/s
client_case() {
    work=$(mktemp -d /tmp/zyr-net-cpu.XXXXXX)
    cd "$work" || return 1
    cp "$src"/demo/PAGE*.TXT .
    local port
    port=$("$peer" port)
    page0 "$port" "" ""
    "$peer" serve "$port" 0 "$2" >peer.txt 2>&1 &
    ppid_=$!
    start_vantor || { echo "$1: vantor did not start"; return 1; }
    xdotool windowfocus --sync "$main" key alt+f e r
    local id
    id=$(wait_window "^Raw Record$") || { echo "$1: no record dialog"; return 1; }
    sleep 0.5
    xdotool windowfocus --sync "$id" type "$work/rec.dat"
    xdotool key Return
    wait_gone "^Raw Record$"
    xdotool windowfocus --sync "$main" key alt+t n c
    id=$(wait_window "^Connect to Server$") || { echo "$1: no HOSTNAME dialog"; return 1; }
    sleep 0.3
    xdotool windowfocus --sync "$id" type "127.0.0.1"
    xdotool key Return
    sleep 2
    local t0 t1 r0 r1
    t0=$(ticks $pid)
    r0=$(rss $pid)
    sleep "$secs"
    t1=$(ticks $pid)
    r1=$(rss $pid)
    kill -TERM $ppid_
    wait $ppid_ 2>/dev/null
    ppid_=
    stop_vantor
    local sent recorded
    sent=$(grep -Eo 'sent [0-9]+' peer.txt | tail -1 | cut -d' ' -f2)
    recorded=$("$peer" prefix rec.dat)
    awk -v a="$t0" -v b="$t1" -v hz="$hz" -v s="$secs" -v l="$1" -v sent="$sent" -v rec="$recorded" \
        -v r0="$r0" -v r1="$r1" -v bytes="$(stat -c %s rec.dat)" \
        'BEGIN { printf "%s: %d packets sent, %s recorded in order (%d bytes, %.1f kB/s), vantor %.1f %% of one core, RSS %d -> %d kB\n", l, sent, rec, bytes, bytes / 1024 / (s + 2), (b - a) * 100 / hz / s, r0, r1 }'
    cd "$src" && rm -rf "$work"
    work=
}

server_case() {
    work=$(mktemp -d /tmp/zyr-net-cpu.XXXXXX)
    cd "$work" || return 1
    cp "$src"/demo/PAGE*.TXT .
    local port
    port=$("$peer" port)
    page0 "$port" $'\t\t[testdata]\n\t\t\tenable = on' "$(net_server_output "$port" on)"
    start_vantor || { echo "server: vantor did not start"; return 1; }
    local t0 t1
    t0=$(ticks $pid)
    "$peer" clients "$port" 64 "$secs" >clients.txt 2>&1
    t1=$(ticks $pid)
    stop_vantor
    awk -v a="$t0" -v b="$t1" -v hz="$hz" -v s="$secs" -v c="$(tail -1 clients.txt)" \
        'BEGIN { printf "server, test data every 6 ms, echo to 64 clients for %d s: %s; vantor %.1f %% of one core\n", s, c, (b - a) * 100 / hz / s }'
    cd "$src" && rm -rf "$work"
    work=
}

client_case "client, 1 MB/s offered" 1048576
client_case "client, 10 MB/s offered" 10485760
client_case "client, 50 MB/s offered" 52428800
server_case
