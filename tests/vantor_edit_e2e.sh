#!/usr/bin/env bash
# Editing the demo page in vantor under Xvfb, as an operator does: the X
# port of the line plot gets a new title through X Value; a
# double-click on the bus voltage opens its options, Delete takes it off the
# page, Display > Save writes the page; PAGE0010.BIN and the PAGE0010.TXT
# that korlw writes from it must no longer hold the port, and the page must
# still compile.
set -u
vantor=$1
qorvends=$2
src=$(cd "$(dirname "$0")/.." && pwd)
unset QT_QPA_PLATFORM
export LSAN_OPTIONS="suppressions=$src/tests/lsan.supp:print_suppressions=0"
work=$(mktemp -d /tmp/zyr-edit-e2e.XXXXXX)
fail() { echo "FAIL: $*"; cat "$work/debugmsg" 2>/dev/null; cat "$work/out.txt" 2>/dev/null; exit 1; }

. "$src/tests/xvfb_support.sh"
. "$src/tests/vantor_session.sh"
pid=
trap 'kill $pid 2>/dev/null; xvfb_stop; rm -rf "$work"' EXIT
xvfb_start || fail "Xvfb did not start"

cd "$work" || exit 1
cp "$src"/demo/PAGE*.TXT .
"$qorvends" 0 9999 >/dev/null 2>&1 || fail "the demo pages do not compile"
grep -q '"VBUS"' PAGE0010.TXT || fail "the demo page has no VBUS port"
start_vantor

# A double-click on the line plot opens its Y port's options; Settings,
# then X Value, edits the X port, which draws nothing of its own. The new
# title must reach the saved page text.
xdotool mousemove --window "$main" 272 453 click --repeat 2 --delay 60 1
id=$(wait_window "^'PKTPLOT' Options$") || fail "no options dialog after the double-click on the plot"
sleep 0.3
xdotool windowfocus --sync "$id" key alt+s
y=$(wait_window "^Parameter 'PKTPLOT' Y port Settings$") || fail "no Y port settings"
sleep 0.3
xdotool windowfocus --sync "$y" key alt+x
x=$(wait_window "^Parameter 'RUNSECS' X port Settings$") || fail "no X port settings from X Value"
sleep 0.3
xdotool windowfocus --sync "$x" key alt+i ctrl+a type "Elapsed"
xdotool key Return
wait_gone "^Parameter 'RUNSECS' X port Settings$" || fail "the X port settings stayed"
xdotool windowfocus --sync "$y" key Return
wait_gone "^Parameter 'PKTPLOT' Y port Settings$" || fail "the Y port settings stayed"
wait_gone "^'PKTPLOT' Options$" || fail "the plot's options dialog stayed"
sleep 0.5

# The bus voltage frame covers columns 26 to 42 and rows 6 to 9 of the
# grid; its middle is some 32 columns and 8 rows in, below the menu bar.
xdotool mousemove --window "$main" 252 146 click --repeat 2 --delay 60 1
id=$(wait_window "^'VBUS' Options$") || fail "no options dialog after the double-click"
sleep 0.3
xdotool windowfocus --sync "$id" key alt+d
box=$(wait_window "^Delete Parameter$") || fail "no delete question"
xdotool windowfocus --sync "$box" key Return
wait_gone "^Delete Parameter$" || fail "the delete question stayed"
wait_gone "^'VBUS' Options$" || fail "the options dialog stayed"
sleep 0.5
xdotool windowfocus --sync "$main" key alt+d s
for _ in $(seq 100); do
    [ -s PAGE0010.TXT ] && ! grep -q '"VBUS"' PAGE0010.TXT && break
    sleep 0.1
done
grep -q '"VBUS"' PAGE0010.TXT && fail "PAGE0010.TXT still holds VBUS"
grep -q '"IBUS"' PAGE0010.TXT || fail "PAGE0010.TXT lost the other ports"
awk '/mnemonic = "RUNSECS"/ { found = 1 } found && /title/ { print; exit }' PAGE0010.TXT | grep -q '"Elapsed"' ||
    fail "the X port's new title is not in PAGE0010.TXT"
grep -qa 'VBUS' PAGE0010.BIN && fail "PAGE0010.BIN still holds VBUS"
stop_vantor ""
grep -q 'ERROR: ' out.txt && fail "sanitizer report"
rm -f PAGE0010.BIN
"$qorvends" 10 10 >q.txt 2>&1 || fail "the saved page text does not compile: $(cat q.txt)"
grep -q 'Error' q.txt && fail "the saved page text has errors: $(cat q.txt)"
[ -s PAGE0010.BIN ] || fail "no page file from the saved text"
echo "vantor edit: OK"
