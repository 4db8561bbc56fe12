#!/usr/bin/env bash
# CPU share of vantor on the demo page with test data, measured from
# /proc over 30 seconds under Xvfb (target: under 5 % of one core).
set -u
build=${1:-build}
secs=${2:-30}
src=$(cd "$(dirname "$0")/.." && pwd)
work=$(mktemp -d /tmp/zyr-cpu.XXXXXX)
. "$src/tests/xvfb_support.sh"
pid=
trap 'kill $pid 2>/dev/null; xvfb_stop; rm -rf "$work"' EXIT
xvfb_start || { echo "Xvfb did not start"; exit 1; }
unset QT_QPA_PLATFORM
cd "$work" || exit 1
cp "$src"/demo/PAGE*.TXT .
"$src/$build/qorvends" 0 9999 >/dev/null 2>&1
"$src/$build/vantor" 10 >/dev/null 2>&1 &
pid=$!
id=$(wait_window '^Welcome$') || { echo "no Welcome box"; exit 1; }
xdotool windowfocus --sync "$id" key Return
sleep 2
ticks() { awk '{print $14 + $15}' "/proc/$pid/stat"; }
hz=$(getconf CLK_TCK)
t0=$(ticks)
sleep "$secs"
t1=$(ticks)
awk -v a="$t0" -v b="$t1" -v hz="$hz" -v s="$secs" \
    'BEGIN { printf "vantor on the demo page: %.2f %% of one core over %d s\n", (b - a) * 100 / hz / s, s }'
