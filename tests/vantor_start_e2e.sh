#!/usr/bin/env bash
# Starts the real vantor under Xvfb in a fresh directory and drives it as an
# operator would: answers the Welcome box, lets it tick, exits through
# Alt+Q and the exit question. Checks the error file and the leak report.
# A second run presses Cancel in the Welcome box and expects exit code 102.
set -u
vantor=$1
here=$(cd "$(dirname "$0")" && pwd)
unset QT_QPA_PLATFORM
export LSAN_OPTIONS="suppressions=$here/lsan.supp:print_suppressions=0"
fail() { echo "FAIL: $*"; [ -n "${work:-}" ] && { echo "--- debugmsg"; cat "$work/debugmsg" 2>/dev/null; echo "--- output"; cat "$work/out.txt" 2>/dev/null; }; exit 1; }

. "$here/xvfb_support.sh"
pid=
trap 'kill $pid 2>/dev/null; xvfb_stop; [ -n "${work:-}" ] && rm -rf "$work"' EXIT
xvfb_start || { echo "FAIL: Xvfb did not start"; exit 1; }


# Waits for the program to end; sets code to its exit code.
wait_exit() {
    code=timeout
    for _ in $(seq 150); do
        kill -0 "$1" 2>/dev/null || { wait "$1"; code=$?; return 0; }
        sleep 0.1
    done
    kill "$1"
}

run() {
    work=$(mktemp -d /tmp/zyr-e2e.XXXXXX)
    cd "$work" || fail "no work directory"
    "$vantor" "$@" >out.txt 2>&1 &
    pid=$!
}

# 1. Normal start and exit.
run 5
id=$(wait_window "^Welcome$") || fail "no Welcome box"
xdotool windowfocus --sync "$id" key Return
main=$(wait_window "ZYR for Linux") || fail "no main window"
# Without page files the packets are of variable length and no parameter
# gives the length: the first page build says so once.
id=$(wait_window "^Variable Length Pkts$") || fail "no variable length warning"
xdotool windowfocus --sync "$id" key Return
sleep 1.5
xdotool windowfocus --sync "$main" key alt+q
id=$(wait_window "^ZYR Exit$") || fail "no exit question"
xdotool windowfocus --sync "$id" key y
# The default length changed the settings: the exit offers to save them.
id=$(wait_window "^System Settings$") || fail "no settings question"
xdotool windowfocus --sync "$id" key n
wait_exit $pid
[ "$code" = 0 ] || fail "exit code $code, expected 0"
head -1 zyrerr.txt | grep -q '^Filename = .*/zyrerr.txt, Opentime = ' || fail "no open header"
grep -q $'^Clockstart = 0000 ms\r$' zyrerr.txt || fail "no Clockstart line"
grep -q $'^Filename = .*zyrerr.txt, Closetime = .*,\r$' zyrerr.txt || fail "no close header"
grep -q $'^Clockstop = [0-9]*000 ms\r$' zyrerr.txt || fail "no Clockstop line"
printf 'ZYR exitcode = 0\r\n' | cmp -s - <(tail -c 18 zyrerr.txt) || fail "error file does not end with the exit code"
grep -q '^OS code = ' debugmsg || fail "no OS code line"
if grep -q '^!! ' debugmsg; then fail "leak report not empty"; fi
grep -q 'ERROR: ' out.txt && fail "sanitizer report"
cd / && rm -rf "$work"

# 2. Cancel in the Welcome box.
run
id=$(wait_window "^Welcome$") || fail "no Welcome box"
xdotool windowfocus --sync "$id" key Escape
wait_exit $pid
[ "$code" = 102 ] || fail "exit code $code, expected 102"
grep -q $'^zyr_init() fail rtn = 101\r$' debugmsg || fail "no zyr_init failure line"
grep -q 'ERROR: ' out.txt && fail "sanitizer report"
echo "vantor start/exit: OK"
