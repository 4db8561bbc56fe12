#!/usr/bin/env bash
# vantor's echo and telecommands end to end, driven as an operator drives
# them. COM2 is a pseudo-terminal (pty_capture) named in zyrcom.cfg.
#   1. test data echoed raw to COM2 arrives packet for packet; the server
#      started from the menu takes the echo over and a TCP client gets
#      whole packets in order;
#   2. with asciiout on, COM2 carries the hex text layout;
#   3. a command typed in the Command output dialog arrives as its bytes on
#      COM2, and deftc.bin is gone within two seconds.
set -u
vantor=$1
qorvends=$2
peer=$3
src=$(cd "$(dirname "$0")/.." && pwd)
unset QT_QPA_PLATFORM
export LSAN_OPTIONS="suppressions=$src/tests/lsan.supp:print_suppressions=0"
work=$(mktemp -d /tmp/zyr-echo-e2e.XXXXXX)
fail() {
    echo "FAIL: $*"
    for f in cap.txt clients.txt debugmsg out.txt; do echo "--- $f"; tail -30 "$work/$f" 2>/dev/null; done
    exit 1
}

. "$src/tests/xvfb_support.sh"
. "$src/tests/net_pages.sh"
. "$src/tests/vantor_session.sh"
pid=
cpid=
trap 'kill $pid $cpid 2>/dev/null; xvfb_stop; rm -rf "$work"' EXIT
xvfb_start || fail "Xvfb did not start"
cd "$work" || exit 1
cp "$src"/demo/PAGE*.TXT .
echo "COM2=com2" > zyrcom.cfg
port=$("$peer" port) || fail "no free port"

# $1 the [input] block, $2 more keys of the COM2 output entry
page0() {
    net_page0 "$port" "$1" "$(printf '\t\t[serial]\n\t\t\tenable = yes\n\t\t\tcomport = 2\n\t\t\tbaud = 115200\n\t\t\tdatabits = 8\n\t\t\tstopbits = 1\n\t\t\tparity = "none"\n%s' "$2")"
    sed -i 's/looptime = 1$/looptime = 10/' PAGE0000.TXT
    "$qorvends" 0 9999 >/dev/null 2>&1 || fail "the pages do not compile"
}

# Captures COM2 into $1 until stop_capture.
capture() {
    rm -f stop
    python3 "$src/tests/pty_capture.py" com2 "$1" 120 stop >cap.txt 2>&1 &
    cpid=$!
    for _ in $(seq 50); do grep -q ready cap.txt 2>/dev/null && break; sleep 0.1; done
    grep -q ready cap.txt || fail "no pseudo-terminal"
}
stop_capture() {
    touch stop
    wait $cpid
    cpid=
}

testdata=$'\t\t[testdata]\n\t\t\tenable = on'

# ---- 1. raw echo to COM2, then to a TCP client ----------------------------------
page0 "$testdata" $'\t\t\techo = on'
capture raw.bin
start_vantor
sleep 3
stop_capture
raw=$(python3 "$src/tests/echo_check.py" raw raw.bin) || fail "COM2: $raw"
[ "$raw" -ge 50 ] || fail "only $raw packets echoed to COM2"
xdotool windowfocus --sync "$main" key alt+t n s
id=$(wait_window "^Network Output$") || fail "no question about the serial output"
xdotool windowfocus --sync "$id" key y
for _ in $(seq 50); do grep -q 'listening for client connection' debugmsg && break; sleep 0.1; done
"$peer" clients "$port" 1 3 >clients.txt 2>&1 || fail "the TCP client: $(cat clients.txt)"
stop_vantor ""

# ---- 2. ascii echo ----------------------------------------------------------------
rm -f debugmsg
page0 "$testdata" $'\t\t\techo = on\n\t\t\tasciiout = on'
capture ascii.bin
start_vantor
sleep 3
stop_capture
stop_vantor ""
ascii=$(python3 "$src/tests/echo_check.py" ascii ascii.bin) || fail "ascii echo: $ascii"
[ "$ascii" -ge 10 ] || fail "only $ascii packets in the ascii echo"

# ---- 3. a telecommand ---------------------------------------------------------------
rm -f debugmsg
page0 "" ""
capture cmd.bin
start_vantor
xdotool windowfocus --sync "$main" key alt+t c
id=$(wait_window "^Command output$") || fail "no Command output switch"
sleep 0.3
xdotool windowfocus --sync "$id" key alt+o
sleep 0.3
xdotool key Return
# The value dialog has the switch's title: it is the window that is not the switch.
switch=$id
id=
for _ in $(seq 100); do
    for w in $(xdotool search --onlyvisible --name "^Command output$" 2>/dev/null); do
        [ "$w" != "$switch" ] && id=$w
    done
    [ -n "$id" ] && break
    sleep 0.1
done
[ -n "$id" ] || fail "no Command output dialog"
sleep 0.3
xdotool windowfocus --sync "$id" type "tcs 1 2 255"
xdotool key Return
box=$(wait_window "^Telecommand Out$") || fail "no Telecommand Out question"
xdotool windowfocus --sync "$box" key Return
wait_gone "^Telecommand Out$" || fail "the question stayed"
gone=
for _ in $(seq 20); do [ -e deftc.bin ] || { gone=1; break; }; sleep 0.1; done
[ -n "$gone" ] || fail "deftc.bin still there after two seconds"
id=$(wait_window "^Command output$") || fail "the Command output dialog closed after a command"
xdotool windowfocus --sync "$id" key Escape
wait_gone "^Command output$" || fail "Escape did not close the dialog"
sleep 0.5
stop_capture
stop_vantor ""
python3 "$src/tests/echo_check.py" bytes cmd.bin 0102ff || fail "COM2 did not carry the command"
grep -q 'Command file DEFTC.BIN Processed by dispatcher OK' debugmsg || fail "no dispatcher log line"
grep -q 'ERROR: ' out.txt && fail "sanitizer report"
echo "echo: $raw packets raw on COM2, $(cat clients.txt) by TCP, $ascii packets as hex text; command 01 02 ff on COM2"
echo "vantor echo: OK"
