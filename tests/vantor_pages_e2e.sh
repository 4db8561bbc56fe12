#!/usr/bin/env bash
# The Display menu's page operations driven as an operator drives them,
# under Xvfb on the demo page 10: Save as... to page 11 (korlw writes its
# text, which compiles to the same page file as page 10's text), then
# Delete of page 11 with its files.
set -u
vantor=$1
qorvends=$2
src=$(cd "$(dirname "$0")/.." && pwd)
unset QT_QPA_PLATFORM
export LSAN_OPTIONS="suppressions=$src/tests/lsan.supp:print_suppressions=0"
work=$(mktemp -d /tmp/zyr-pages-e2e.XXXXXX)
fail() { echo "FAIL: $*"; cat "$work/debugmsg" 2>/dev/null; cat "$work/out.txt" 2>/dev/null; exit 1; }

. "$src/tests/xvfb_support.sh"
. "$src/tests/vantor_session.sh"
pid=
trap 'kill $pid 2>/dev/null; xvfb_stop; [ -n "${ZYR_KEEP_TEST_DIR:-}" ] || rm -rf "$work"' EXIT
xvfb_start || fail "Xvfb did not start"

cd "$work" || exit 1
cp "$src"/demo/PAGE*.TXT .
"$qorvends" 0 9999 >/dev/null 2>&1 || fail "the demo pages do not compile"
start_vantor

# 1. Display > Save as... page 11.
xdotool windowfocus --sync "$main" key alt+d
sleep 0.3
xdotool key a
id=$(wait_window "^Save Page as$") || fail "no Save Page as dialog"
sleep 0.5
xdotool windowfocus --sync "$id" key ctrl+a
xdotool type "$work/PAGE0011.BIN"
xdotool key Return
wait_gone "^Save Page as$" || fail "the page dialog stayed open"
for _ in $(seq 100); do [ -s PAGE0011.TXT ] && break; sleep 0.1; done
[ -s PAGE0011.BIN ] || fail "no PAGE0011.BIN"
[ -s PAGE0011.TXT ] || fail "korlw wrote no PAGE0011.TXT"
wait_window "vantor - PAGE0011$" 100 >/dev/null || fail "the window does not show page 11"
grep -q 'title = "Bus voltage"' PAGE0011.TXT || fail "PAGE0011.TXT lacks the page's ports"
# The saved file also holds the run-time mark of the plot's X port, which
# the text does not carry: compiled again, the text gives page 10's file.
cp PAGE0011.BIN saved.bin
"$qorvends" 11 11 >/dev/null 2>&1 || fail "the text korlw wrote does not compile"
cmp PAGE0010.BIN PAGE0011.BIN || fail "the text korlw wrote compiles to another page file than page 10's"
cp saved.bin PAGE0011.BIN

# 2. Display > Delete: the shown page 11 and its files go.
xdotool windowfocus --sync "$main" key alt+d
sleep 0.3
xdotool key d
id=$(wait_window "^Delete Page$") || fail "no Delete Page question"
xdotool windowfocus --sync "$id" key y
wait_gone "^Delete Page$" || fail "the question stayed open"
for _ in $(seq 50); do [ -e PAGE0011.BIN ] || break; sleep 0.1; done
[ -e PAGE0011.BIN ] && fail "PAGE0011.BIN is still there"
[ -e PAGE0011.TXT ] && fail "PAGE0011.TXT is still there"
[ -s PAGE0010.BIN ] || fail "page 10 went too"

stop_vantor ""
grep -q 'ERROR: ' out.txt && fail "sanitizer report"
echo "vantor pages: OK"
