#!/usr/bin/env bash
# The print command driven as an operator drives it, under Xvfb on the demo
# page 10 with test data: Ctrl+P, Text to file (the proposed SCRN0010.TXT
# taken), then Ctrl+P again, Graphics to file (the options kept from the
# first time). The text capture must hold the page's texts with blanks for
# the frame characters and CR LF line ends; the bitmap must be a 24-bit
# Windows bitmap of the page area that an image tool reads.
set -u
vantor=$1
qorvends=$2
src=$(cd "$(dirname "$0")/.." && pwd)
unset QT_QPA_PLATFORM
export LSAN_OPTIONS="suppressions=$src/tests/lsan.supp:print_suppressions=0"
work=$(mktemp -d /tmp/zyr-print-e2e.XXXXXX)
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
sleep 1

# 1. Text to a file. A mnemonic clicks its button after a short animation.
xdotool windowfocus --sync "$main" key ctrl+p
id=$(wait_window "^Print$") || fail "no Print dialog"
sleep 0.3
xdotool windowfocus --sync "$id" key alt+t
sleep 0.3
xdotool key alt+i
sleep 0.3
xdotool key Return
id=$(wait_window "^Print Text to File$") || fail "no Print Text to File dialog"
sleep 0.5
xdotool windowfocus --sync "$id" key Return
wait_gone "^Print Text to File$" || fail "the file dialog stayed open"
for _ in $(seq 50); do [ -s SCRN0010.TXT ] && break; sleep 0.1; done
[ -s SCRN0010.TXT ] || fail "no SCRN0010.TXT"
grep -q "Packet counter" SCRN0010.TXT || fail "the text capture lacks the page's texts"
grep -q "Bus voltage" SCRN0010.TXT || fail "the text capture lacks the page's texts"
LC_ALL=C grep -q $'[\x80-\xff]' SCRN0010.TXT && fail "codes of 128 or more in the text capture"
lines=$(wc -l < SCRN0010.TXT)
crlf=$(grep -c $'\r$' SCRN0010.TXT)
[ "$lines" = "$crlf" ] || fail "not every line of the text capture ends in CR LF"
width=$(head -1 SCRN0010.TXT | tr -d '\r\n' | wc -c)
[ "$width" -gt 0 ] || fail "empty first line"
awk -v w="$width" '{ sub(/\r$/, ""); if (length($0) != w) exit 1 }' SCRN0010.TXT || fail "rows of unequal width"

# 2. Graphics to a file: the dialog keeps "Print to file".
xdotool windowfocus --sync "$main" key ctrl+p
id=$(wait_window "^Print$") || fail "no Print dialog the second time"
sleep 0.3
xdotool windowfocus --sync "$id" key alt+g
sleep 0.3
xdotool key Return
id=$(wait_window "^Print Graphics to Bitmap File$") || fail "no Print Graphics to Bitmap File dialog"
sleep 0.5
xdotool windowfocus --sync "$id" key ctrl+a
xdotool type "$work/page.bmp"
xdotool key Return
wait_gone "^Print Graphics to Bitmap File$" || fail "the bitmap file dialog stayed open"
for _ in $(seq 50); do [ -s page.bmp ] && break; sleep 0.1; done
[ -s page.bmp ] || fail "no page.bmp"
[ "$(head -c 2 page.bmp)" = BM ] || fail "page.bmp has no BM header"
size=$(stat -c %s page.bmp)
le32() { od -An -tu4 -j "$1" -N 4 page.bmp | tr -d ' '; }
le16() { od -An -tu2 -j "$1" -N 2 page.bmp | tr -d ' '; }
[ "$(le32 2)" = "$size" ] || fail "the header's file size $(le32 2) is not $size"
[ "$(le32 10)" = 54 ] || fail "pixel offset $(le32 10)"
[ "$(le16 28)" = 24 ] || fail "not 24 bits a pixel"
w=$(le32 18) h=$(le32 22)
stride=$(((w * 3 + 3) / 4 * 4))
[ "$size" = $((54 + stride * h)) ] || fail "size $size does not fit $w x $h"
geometry=$(identify -format '%w %h' page.bmp 2>/dev/null) || fail "identify cannot read page.bmp"
[ "$geometry" = "$w $h" ] || fail "identify reads $geometry, the header says $w $h"

# Exit without saving anything.
xdotool windowfocus --sync "$main" key alt+q
id=$(wait_window "^ZYR Exit$") || fail "no exit question"
xdotool windowfocus --sync "$id" key y
if id=$(wait_window "^System Settings$" 20); then xdotool windowfocus --sync "$id" key n; fi
for _ in $(seq 100); do kill -0 $pid 2>/dev/null || break; sleep 0.1; done
wait $pid
code=$?
[ "$code" = 0 ] || fail "exit code $code"
if grep -q '^!! ' debugmsg; then fail "leak report not empty"; fi
grep -q 'ERROR: ' out.txt && fail "sanitizer report"
echo "vantor print: OK ($lines text rows, bitmap $w x $h)"
