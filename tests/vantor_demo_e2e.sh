#!/usr/bin/env bash
# vantor on the demo pages under Xvfb, as an operator runs it: the pages are
# compiled with qorvends, vantor starts on page 10 with test data, the window
# image is taken twice a second apart (it must show more than a few colours
# and must change as the values move), and the program exits cleanly.
set -u
vantor=$1
qorvends=$2
src=$(cd "$(dirname "$0")/.." && pwd)
unset QT_QPA_PLATFORM
export LSAN_OPTIONS="suppressions=$src/tests/lsan.supp:print_suppressions=0"
work=$(mktemp -d /tmp/zyr-demo-e2e.XXXXXX)
fail() { echo "FAIL: $*"; cat "$work/debugmsg" 2>/dev/null; cat "$work/out.txt" 2>/dev/null; exit 1; }

. "$src/tests/xvfb_support.sh"
pid=
trap 'kill $pid 2>/dev/null; xvfb_stop; rm -rf "$work"' EXIT
xvfb_start || fail "Xvfb did not start"


cd "$work" || exit 1
cp "$src"/demo/PAGE*.TXT .
"$qorvends" 0 9999 >/dev/null 2>&1 || fail "the demo pages do not compile"
"$vantor" 10 >out.txt 2>&1 &
pid=$!
id=$(wait_window "^Welcome$") || fail "no Welcome box"
xdotool windowfocus --sync "$id" key Return
main=$(wait_window "ZYR for Linux") || fail "no main window"
sleep 2
import -window "$main" one.png || fail "no window image"
sleep 1
import -window "$main" two.png || fail "no second window image"
colours=$(convert one.png -format %k info:)
[ "$colours" -gt 4 ] || fail "the window shows only $colours colours"
# The autoplot of the demo page draws on black: a plot drawn shows as a
# large black area, which nothing else of the page has.
black=$(convert one.png -fill white +opaque "#000000" -format "%[fx:int((1-mean)*w*h)]" info:)
[ "$black" -gt 40000 ] || fail "the plots are not drawn ($black black pixels)"
changed=$(compare -metric AE one.png two.png null: 2>&1)
[ "${changed%% *}" -gt 0 ] 2>/dev/null || fail "the values did not move ($changed pixels changed)"
xdotool windowfocus --sync "$main" key alt+q
id=$(wait_window "^ZYR Exit$") || fail "no exit question"
xdotool windowfocus --sync "$id" key y
for _ in $(seq 100); do kill -0 $pid 2>/dev/null || break; sleep 0.1; done
wait $pid
code=$?
[ "$code" = 0 ] || fail "exit code $code"
printf 'ZYR exitcode = 0\r\n' | cmp -s - <(tail -c 18 zyrerr.txt) || fail "error file does not end with the exit code"
if grep -q '^!! ' debugmsg; then fail "leak report not empty"; fi
grep -q 'ERROR: ' out.txt && fail "sanitizer report"
echo "vantor demo: OK ($colours colours, $changed pixels moved in a second)"
