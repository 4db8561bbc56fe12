#!/usr/bin/env bash
# vantor on pseudo-terminals, as an operator runs it: zyrcom.cfg maps COM1
# and COM2 to links that serial_feeder holds; page 0 opens COM1 for input
# and COM2 for the echo. Packets written into COM1 come back on COM2 packet
# for packet; silence past the timeout period reopens COM1 and reports
# error 6; the device behind the COM1 link is replaced and reading goes on.
set -u
vantor=$1
qorvends=$2
feeder=$3
src=$(cd "$(dirname "$0")/.." && pwd)
unset QT_QPA_PLATFORM
export LSAN_OPTIONS="suppressions=$src/tests/lsan.supp:print_suppressions=0"
work=$(mktemp -d /tmp/zyr-serial-e2e.XXXXXX)
fail() {
    echo "FAIL: $*"
    for f in feeder.txt debugmsg zyrerr.txt out.txt; do echo "--- $f"; cat "$work/$f" 2>/dev/null; done
    exit 1
}

. "$src/tests/xvfb_support.sh"
. "$src/tests/serial_pages.sh"
pid=
fpid=
trap 'kill $pid $fpid 2>/dev/null; xvfb_stop; rm -rf "$work"' EXIT
xvfb_start || fail "Xvfb did not start"

cd "$work" || exit 1
cp "$src"/demo/PAGE*.TXT .
serial_page0 64 2 10
"$qorvends" 0 9999 >/dev/null 2>&1 || fail "the pages do not compile"
"$feeder" e2e >feeder.txt 2>&1 &
fpid=$!
for _ in $(seq 100); do grep -q ready feeder.txt 2>/dev/null && break; sleep 0.1; done
grep -q ready feeder.txt || fail "the feeder did not start"
"$vantor" 10 >out.txt 2>&1 &
pid=$!
id=$(wait_window "^Welcome$") || fail "no Welcome box"
xdotool windowfocus --sync "$id" key Return
main=$(wait_window "ZYR for Linux") || fail "no main window"
wait $fpid
frc=$?
fpid=
[ "$frc" = 0 ] || fail "feeder: $(tail -1 feeder.txt)"
xdotool windowfocus --sync "$main" key alt+q
id=$(wait_window "^ZYR Exit$") || fail "no exit question"
xdotool windowfocus --sync "$id" key y
for _ in $(seq 100); do kill -0 $pid 2>/dev/null || break; sleep 0.1; done
wait $pid
code=$?
pid=
[ "$code" = 0 ] || fail "exit code $code"
# Error lines are "time place code": error 6 after the silence, no other
# error (no checksum, sequence or sync fault in any packet).
errors=$(tr -d '\r' <zyrerr.txt | grep -E '^[0-9:]+ [0-9]+ [0-9]+$')
echo "$errors" | grep -qE ' 6$' || fail "no error 6 after the silence"
echo "$errors" | grep -vqE ' 6$' && fail "errors besides the timeout"
grep -q 'COM1 com_in lost' debugmsg || fail "the pulled device was not reported"
# Reported once while it was away (the feeder's exit pulls it again later).
[ "$(sed -n '1,/COM1 com_in open again/p' debugmsg | grep -c 'lost')" = 1 ] || fail "the loss was reported more than once"
if grep -qE '^!! (mem_alloc_cnt|qob_)' debugmsg; then fail "leak report not empty"; fi
grep -q 'ERROR: ' out.txt && fail "sanitizer report"
cat feeder.txt
echo "vantor serial: OK"
