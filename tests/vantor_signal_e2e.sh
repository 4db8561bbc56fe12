#!/usr/bin/env bash
# A recording vantor under Xvfb ended by a signal, as a logout or a service
# stop ends it: the demo pages and a page whose parameter is recorded are
# compiled with qorvends, vantor runs on that page with test data, and each
# of SIGTERM, SIGINT and SIGHUP must leave the record file with its close
# header and the error file with its exit code line.
set -u
vantor=$1
qorvends=$2
src=$(cd "$(dirname "$0")/.." && pwd)
unset QT_QPA_PLATFORM
export LSAN_OPTIONS="suppressions=$src/tests/lsan.supp:print_suppressions=0"
work=
fail() { echo "FAIL: $*"; cat "$work/debugmsg" 2>/dev/null; cat "$work/out.txt" 2>/dev/null; exit 1; }

. "$src/tests/xvfb_support.sh"
pid=
trap 'kill -9 $pid 2>/dev/null; xvfb_stop; [ -n "$work" ] && rm -rf "$work"' EXIT
xvfb_start || fail "Xvfb did not start"

for sig in TERM INT HUP; do
    work=$(mktemp -d /tmp/zyr-signal-e2e.XXXXXX)
    cd "$work" || exit 1
    cp "$src"/demo/PAGE*.TXT .
    printf '[valueport]\n\tmnemonic = "PKTCOUNT"\n\ttitle = "Recorded counter"\n\tview = packetheader\n\tbyteindex = 8\n\tdatatype = "%%5hu"\n\trow = 4\n\tcolumn = 2\n\tfilename = "counter.rec"\n' >PAGE0011.TXT
    "$qorvends" 0 9999 >/dev/null 2>&1 || fail "the pages do not compile"
    [ -f PAGE0011.BIN ] || fail "page 11 was not compiled"
    "$vantor" 11 >out.txt 2>&1 &
    pid=$!
    id=$(wait_window "^Welcome$") || fail "no Welcome box"
    xdotool windowfocus --sync "$id" key Return
    wait_window "ZYR for Linux" >/dev/null || fail "no main window"
    sleep 2
    [ -e counter.rec ] || fail "no record file before the signal"
    kill -s "$sig" "$pid"
    code=timeout
    for _ in $(seq 100); do
        kill -0 "$pid" 2>/dev/null || { wait "$pid"; code=$?; break; }
        sleep 0.1
    done
    [ "$code" = 0 ] || fail "SIG$sig: exit code $code, expected 0"
    grep -q $'^Clockstart = ' counter.rec || fail "SIG$sig: no open header in the record file"
    [ "$(grep -c 'Opentime' counter.rec)" = 1 ] || fail "SIG$sig: more than one recording"
    tail -2 counter.rec | head -1 | grep -q $'^Filename = counter.rec, Closetime = .*,\r$' ||
        fail "SIG$sig: the record file has no close header at its end"
    tail -1 counter.rec | grep -q $'^Clockstop = [0-9]* ms\r$' || fail "SIG$sig: no Clockstop line at the end"
    lines=$(grep -c $'^[0-9]*\\.[0-9]* ' counter.rec)
    [ "$lines" -gt 5 ] || fail "SIG$sig: only $lines values recorded"
    printf 'ZYR exitcode = 0\r\n' | cmp -s - <(tail -c 18 zyrerr.txt) || fail "SIG$sig: the error file does not end with the exit code"
    grep -q "^Signal [0-9]*: ZYR exits" debugmsg || fail "SIG$sig: no signal line in the debug log"
    if grep -q '^!! ' debugmsg; then fail "SIG$sig: leak report not empty"; fi
    grep -q 'ERROR: ' out.txt && fail "SIG$sig: sanitizer report"
    cd / && rm -rf "$work"
    work=
done
echo "vantor stop signals: OK"
