#!/usr/bin/env bash
# vantor driven from its menus under Xvfb, as an operator drives it, on the
# demo pages with test data: a raw record started from File > Record >
# Raw bin... and stopped through its on/off dialog (the file must hold whole
# test packets in counter order), the loop time changed through Options >
# System > Loop-time after an entry out of range, and an exit that saves the
# settings (page 0 must then hold the loop time and the recorded file).
set -u
vantor=$1
qorvends=$2
src=$(cd "$(dirname "$0")/.." && pwd)
unset QT_QPA_PLATFORM
export LSAN_OPTIONS="suppressions=$src/tests/lsan.supp:print_suppressions=0"
work=$(mktemp -d /tmp/zyr-menu-e2e.XXXXXX)
fail() { echo "FAIL: $*"; cat "$work/debugmsg" 2>/dev/null; cat "$work/out.txt" 2>/dev/null; exit 1; }

. "$src/tests/xvfb_support.sh"
pid=
trap 'kill $pid 2>/dev/null; xvfb_stop; rm -rf "$work"' EXIT
xvfb_start || fail "Xvfb did not start"

cd "$work" || exit 1
cp "$src"/demo/PAGE*.TXT .
"$qorvends" 0 9999 >/dev/null 2>&1 || fail "the demo pages do not compile"
rm PAGE0000.TXT  # saving page 0 writes its text anew
"$vantor" 10 >out.txt 2>&1 &
pid=$!
id=$(wait_window "^Welcome$") || fail "no Welcome box"
xdotool windowfocus --sync "$id" key Return
main=$(wait_window "ZYR for Linux") || fail "no main window"
sleep 1

# 1. File > Record > Raw bin... into pass.dat.
xdotool windowfocus --sync "$main" key alt+f e r
id=$(wait_window "^Raw Record$") || fail "no Raw Record file dialog"
sleep 0.5
xdotool windowfocus --sync "$id" type "$work/pass.dat"
xdotool key Return
wait_gone "^Raw Record$" || fail "the file dialog stayed open"
sleep 2
# 2. The same item again offers to switch the recording off.
xdotool windowfocus --sync "$main" key alt+f e r
id=$(wait_window "^Raw Record$") || fail "no on/off dialog for the recording"
sleep 0.3
# A mnemonic clicks its radio button after a short animation.
xdotool windowfocus --sync "$id" key alt+f
sleep 0.3
xdotool key Return
wait_gone "^Raw Record$" || fail "the on/off dialog stayed open"
[ -s pass.dat ] || fail "nothing recorded"
size=$(stat -c %s pass.dat)
[ $((size % 64)) = 0 ] || fail "pass.dat holds $size bytes, not whole 64-byte packets"
data=$(printf '%02x' $(seq 0 54))
n=0 last=-1 bad=
while read -r line; do
    n=$((n + 1))
    [ "${line:0:4}" = eb90 ] || bad="packet $n has no sync"
    [ "${line:18}" = "$data" ] || bad="packet $n has other data"
    c=$((16#${line:16:2}))
    [ "$last" -lt 0 ] || [ "$c" = $(((last + 1) % 256)) ] || bad="packet $n counter $c after $last"
    last=$c
done < <(od -An -v -tx1 -w64 pass.dat | tr -d ' ')
[ -z "$bad" ] || fail "pass.dat does not hold the test packets in order: $bad"
sleep 0.5
kept=$(stat -c %s pass.dat)
[ "$kept" = "$size" ] || fail "the recording went on after it was switched off"

# 3. Options > System > Loop-time: 0 is refused, 250 is taken.
xdotool windowfocus --sync "$main" key alt+o y l
id=$(wait_window "^Loop-time$") || fail "no Loop-time dialog"
sleep 0.3
xdotool windowfocus --sync "$id" type "0"
xdotool key Return
err=$(wait_window "^!! ERROR !!$") || fail "no range error for 0"
xdotool windowfocus --sync "$err" key Return
wait_gone "^!! ERROR !!$" || fail "the error box stayed"
id=$(wait_window "^Loop-time$") || fail "the Loop-time dialog closed after a refused entry"
xdotool windowfocus --sync "$id" key ctrl+a
xdotool type "250"
xdotool key Return
wait_gone "^Loop-time$" || fail "the Loop-time dialog stayed open"

# 4. Exit, saving the settings.
xdotool windowfocus --sync "$main" key alt+q
id=$(wait_window "^ZYR Exit$") || fail "no exit question"
xdotool windowfocus --sync "$id" key y
id=$(wait_window "^System Settings$") || fail "no settings question"
xdotool windowfocus --sync "$id" key y
for _ in $(seq 100); do kill -0 $pid 2>/dev/null || break; sleep 0.1; done
wait $pid
code=$?
[ "$code" = 0 ] || fail "exit code $code"
if grep -q '^!! ' debugmsg; then fail "leak report not empty"; fi
grep -q 'ERROR: ' out.txt && fail "sanitizer report"

# Page 0 read back by the page compiler's own text writer.
for _ in $(seq 50); do [ -s PAGE0000.TXT ] && break; sleep 0.1; done
[ -s PAGE0000.TXT ] || fail "no text of the saved page 0"
grep -q $'looptime = 250\r\\?$' PAGE0000.TXT || { cat PAGE0000.TXT; fail "page 0 does not hold the loop time 250"; }
grep -q "$work/pass.dat" PAGE0000.TXT || { cat PAGE0000.TXT; fail "page 0 does not hold the recorded file"; }
echo "vantor menus: OK ($((size / 64)) packets recorded)"
