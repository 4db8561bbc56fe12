#!/usr/bin/env bash
# vantor's network services on 127.0.0.1, driven from the menus as an
# operator drives them, with net_peer as the other end:
#   1. as a client of a server that streams 1000 packets and then drops
#      the connection: every packet is decoded and recorded raw, the box
#      "Remote server disconnected" and the reconnect offer follow;
#   2. the UDP receiver takes 200 more packets as datagrams, recorded too;
#   3. as a server with test data and echo on, 64 clients each get whole
#      packets in counter order and the 65th is closed at once; the exit
#      saves the settings;
#   4. the next start brings the server back from page 0.
set -u
vantor=$1
qorvends=$2
peer=$3
src=$(cd "$(dirname "$0")/.." && pwd)
unset QT_QPA_PLATFORM
export LSAN_OPTIONS="suppressions=$src/tests/lsan.supp:print_suppressions=0"
work=$(mktemp -d /tmp/zyr-net-e2e.XXXXXX)
fail() {
    echo "FAIL: $*"
    for f in peer.txt clients.txt debugmsg zyrerr.txt out.txt; do echo "--- $f"; tail -40 "$work/$f" 2>/dev/null; done
    exit 1
}

. "$src/tests/xvfb_support.sh"
. "$src/tests/net_pages.sh"
. "$src/tests/vantor_session.sh"
pid=
ppid_=
trap 'kill $pid $ppid_ 2>/dev/null; xvfb_stop; rm -rf "$work"' EXIT
xvfb_start || fail "Xvfb did not start"
cd "$work" || exit 1
port=$("$peer" port) || fail "no free port"

page0() {
    net_page0 "$port" "$1" "$2"
    "$qorvends" 0 9999 >/dev/null 2>&1 || fail "the pages do not compile"
}

cp "$src"/demo/PAGE*.TXT .

# ---- 1. client of a streaming server --------------------------------------
page0 "" ""
"$peer" serve "$port" 1000 200000 >peer.txt 2>&1 &
ppid_=$!
for _ in $(seq 50); do grep -q ready peer.txt 2>/dev/null && break; sleep 0.1; done
start_vantor
xdotool windowfocus --sync "$main" key alt+f e r
id=$(wait_window "^Raw Record$") || fail "no Raw Record file dialog"
sleep 0.5
xdotool windowfocus --sync "$id" type "$work/net.dat"
xdotool key Return
wait_gone "^Raw Record$" || fail "the file dialog stayed open"
xdotool windowfocus --sync "$main" key alt+t n c
id=$(wait_window "^Connect to Server$") || fail "no HOSTNAME dialog"
sleep 0.3
xdotool windowfocus --sync "$id" type "127.0.0.1"
xdotool key Return
id=$(wait_window "^Network$" 600) || fail "no box when the server went away"
wait $ppid_
ppid_=
xdotool windowfocus --sync "$id" key Return
id=$(wait_window "^Network Server Service$") || fail "no reconnect offer"
xdotool windowfocus --sync "$id" key n
wait_gone "^Network Server Service$" || fail "the reconnect offer stayed"
grep -q 'Connected to server 127.0.0.1' debugmsg || fail "no connection message"
grep -q 'Remote server disconnected' debugmsg || fail "no disconnection message"

# ---- 2. the UDP receiver ----------------------------------------------------
xdotool windowfocus --sync "$main" key alt+t n r
for _ in $(seq 50); do grep -q 'UDP receive service opened' debugmsg && break; sleep 0.1; done
grep -q 'UDP receive service opened' debugmsg || fail "the UDP receiver did not open"
"$peer" udp "$port" 1000 200 >>peer.txt 2>&1 || fail "the datagrams were not sent"
sleep 2
stop_vantor n
"$peer" expect net.dat 0 1200 >>peer.txt 2>&1 || fail "net.dat does not hold packets 0 to 1199"
errors=$(tr -d '\r' <zyrerr.txt 2>/dev/null | grep -E '^[0-9:]+ [0-9]+ [0-9]+$')
[ -z "$errors" ] || fail "errors reported: $errors"
recorded=$(($(stat -c %s net.dat) / 64))

# ---- 3. server with 64 clients ---------------------------------------------
rm -f debugmsg
page0 $'\t\t[testdata]\n\t\t\tenable = on' "$(net_server_output "$port")"
start_vantor
xdotool windowfocus --sync "$main" key alt+t n s
for _ in $(seq 50); do grep -q 'listening for client connection' debugmsg && break; sleep 0.1; done
grep -q 'listening for client connection' debugmsg || fail "the server did not start"
"$peer" clients "$port" 64 4 refused >clients.txt 2>&1 || fail "the clients: $(cat clients.txt)"
grep -q 'Max clients 64 exceeded' debugmsg || fail "no message for the 65th client"
stop_vantor y
rm -f debugmsg

# ---- 4. the saved server comes back ------------------------------------------
start_vantor
for _ in $(seq 50); do grep -q 'listening for client connection' debugmsg && break; sleep 0.1; done
"$peer" clients "$port" 1 2 >>clients.txt 2>&1 || fail "no server after the restart: $(tail -1 clients.txt)"
stop_vantor ""
grep -q 'ERROR: ' out.txt && fail "sanitizer report"
echo "client: $recorded packets recorded, all in order; $(head -1 clients.txt); after the restart $(tail -1 clients.txt)"
echo "vantor network: OK"
