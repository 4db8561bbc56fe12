#!/usr/bin/env bash
# Starts the real korlw window under Xvfb in a fresh directory and drives it
# as an operator would: About and its OK, Compile through the file dialog,
# the Quit box answered No and then Yes. Checks the page file, the exit code
# and that no memory was left allocated.
set -u
korlw=$1
here=$(cd "$(dirname "$0")" && pwd)
unset QT_QPA_PLATFORM
export LSAN_OPTIONS="suppressions=$here/lsan.supp:print_suppressions=0"
fail() { echo "FAIL: $*"; [ -n "${work:-}" ] && { echo "--- debugmsg"; cat "$work/debugmsg" 2>/dev/null; echo "--- output"; cat "$work/out.txt" 2>/dev/null; }; exit 1; }

. "$here/xvfb_support.sh"
pid=
trap 'kill $pid 2>/dev/null; xvfb_stop; [ -n "${work:-}" ] && rm -rf "$work"' EXIT
xvfb_start || { echo "FAIL: Xvfb did not start"; exit 1; }


wait_gone() {
    for _ in $(seq 50); do
        xdotool search --name "$1" >/dev/null 2>&1 || return 0
        sleep 0.1
    done
    return 1
}

work=$(mktemp -d /tmp/zyr-korlw-gui.XXXXXX)
cd "$work" || fail "no work directory"
printf '[valueport]\r\n\tdatatype = "%%6hd"\r\n\tbyteindex = 2\r\n\trow = 1\r\n\tcolumn = 1\r\n\tmnemonic = "A"\r\n' > PAGE0012.TXT
# The file the operator picks; its name only gives the page number.
printf 'not a page text\r\n' > page12.txt
"$korlw" >out.txt 2>&1 &
pid=$!
main=$(wait_window "^KORLW for Windows$") || fail "no korlw window"

# About, closed with its OK button.
xdotool windowfocus --sync "$main" key alt+a
id=$(wait_window "^About KORLW$") || fail "no About box"
xdotool windowfocus --sync "$id" key Return
wait_gone "^About KORLW$" || fail "About box did not close"

# Compile: Alt+P opens the file dialog; the chosen page12.txt compiles page 12.
xdotool windowfocus --sync "$main" key alt+p
id=$(wait_window "^Compile Display Page$") || fail "no file dialog"
sleep 0.5
xdotool windowfocus --sync "$id" type --delay 20 "$work/page12.txt"
xdotool key Return
wait_gone "^Compile Display Page$" || fail "file dialog did not close"
for _ in $(seq 50); do [ -s PAGE0012.BIN ] && [ -s PAGE0012.LST ] && break; sleep 0.1; done
[ -s PAGE0012.BIN ] || fail "page 12 was not compiled"
[ -s PAGE0012.LST ] || fail "no listing"

# Quit: No keeps the window, Yes ends the program.
xdotool windowfocus --sync "$main" key alt+q
id=$(wait_window "^ZYR Exit$") || fail "no Quit box"
xdotool windowfocus --sync "$id" key n
wait_gone "^ZYR Exit$" || fail "Quit box did not close on No"
kill -0 $pid 2>/dev/null || fail "No ended the program"
xdotool windowfocus --sync "$main" key alt+q
id=$(wait_window "^ZYR Exit$") || fail "no Quit box the second time"
xdotool windowfocus --sync "$id" key y
code=timeout
for _ in $(seq 100); do
    kill -0 $pid 2>/dev/null || { wait $pid; code=$?; break; }
    sleep 0.1
done
[ "$code" = 0 ] || fail "exit code $code, expected 0"
grep -q 'mem_alloc_cnt' debugmsg 2>/dev/null && fail "memory left allocated"
grep -q 'ERROR: ' out.txt && fail "sanitizer report"
echo "korlw window: OK"
