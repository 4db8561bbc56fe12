#!/usr/bin/env bash
# The whole vantor program on serial input: a stream into COM1 (a
# pseudo-terminal held by serial_feeder) at 115200-baud equivalent
# (11.5 kB/s) and at 1 MB/s, every packet echoed on COM2 and compared by
# the feeder; vantor's CPU share from /proc over the stream (target: no
# packet lost, under 10 % of one core). The cycle takes at most one packet
# a pass, so the loop time bounds the packet rate: 64-byte packets at a
# 10 ms loop time can only reach 6.4 kB/s; the lost-nothing check holds
# there too (the bytes wait, the feeder is slowed down).
set -u
build=${1:-build}
secs=${2:-20}
src=$(cd "$(dirname "$0")/.." && pwd)
feeder=${3:-$src/$build/serial_feeder}
. "$src/tests/xvfb_support.sh"
. "$src/tests/serial_pages.sh"
pid=
fpid=
work=
trap 'kill $pid $fpid 2>/dev/null; xvfb_stop; [ -n "$work" ] && rm -rf "$work"' EXIT
xvfb_start || { echo "Xvfb did not start"; exit 1; }
unset QT_QPA_PLATFORM
hz=$(getconf CLK_TCK)
ticks() { awk '{print $14 + $15}' "/proc/$1/stat"; }

# label, bytes/s, packet length, "+" presses, start page (default the demo's 10)
run_case() {
    work=$(mktemp -d /tmp/zyr-serial-cpu.XXXXXX)
    cd "$work" || return 1
    cp "$src"/demo/PAGE*.TXT .
    serial_page0 "$3" 0 10
    "$src/$build/qorvends" 0 9999 >/dev/null 2>&1
    "$feeder" rate "$2" "$3" "$secs" >feeder.txt 2>&1 &
    fpid=$!
    for _ in $(seq 100); do grep -q ready feeder.txt 2>/dev/null && break; sleep 0.1; done
    "$src/$build/vantor" "${5:-10}" >/dev/null 2>&1 &
    pid=$!
    local id
    id=$(wait_window '^Welcome$') || { echo "$1: no Welcome box"; return 1; }
    xdotool windowfocus --sync "$id" key Return
    local main
    main=$(wait_window "ZYR for Linux") || { echo "$1: no main window"; return 1; }
    # The operator's "+" key halves the loop time: 10, 5, 2, 1 ms (1 stays 1;
    # a press or two more makes sure of it).
    local k
    for k in $(seq "$4"); do xdotool windowfocus --sync "$main" key plus; done
    sleep 3   # the feeder waits for the ports and a second more
    local span=$((secs - 4)) t0 t1
    t0=$(ticks $pid)
    sleep "$span"
    t1=$(ticks $pid)
    wait $fpid
    local frc=$?
    fpid=
    kill $pid 2>/dev/null
    wait $pid 2>/dev/null
    pid=
    awk -v a="$t0" -v b="$t1" -v hz="$hz" -v s="$span" -v l="$1" \
        'BEGIN { printf "%s: vantor %.2f %% of one core over %d s\n", l, (b - a) * 100 / hz / s, s }'
    echo "  $(tail -1 feeder.txt)$([ "$frc" = 0 ] || echo ' (PACKETS LOST)')"
    cd "$src" && rm -rf "$work"
    work=
}

run_case "11.5 kB/s, 64-byte packets, loop time 10 ms" 11520 64 0
run_case "11.5 kB/s, 64-byte packets, loop time 1 ms" 11520 64 5
run_case "1 MB/s, 1024-byte packets, loop time 1 ms" 1048576 1024 5
run_case "1 MB/s, 2048-byte packets, loop time 1 ms" 1048576 2048 5
# The same streams with an empty display page: the drivers and the cycle
# without the page's evaluation and drawing.
run_case "11.5 kB/s, 64-byte packets, loop time 1 ms, empty page" 11520 64 5 20
run_case "1 MB/s, 1024-byte packets, loop time 1 ms, empty page" 1048576 1024 5 20
