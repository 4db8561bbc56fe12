#!/usr/bin/env bash
# CPU share of vantor on the demo page with test data, measured from
# /proc over 30 seconds under Xvfb (target: under 5 % of one core).
set -u
build=${1:-build}
secs=${2:-30}
src=$(cd "$(dirname "$0")/.." && pwd)
work=$(mktemp -d /tmp/zyr-cpu.XXXXXX)
dispfile=$(mktemp /tmp/zyr-cpu-disp.XXXXXX)
Xvfb -displayfd 3 -screen 0 1280x900x24 -nolisten tcp 3>"$dispfile" >/dev/null 2>&1 &
xvfb=$!
pid=
trap 'kill $pid 2>/dev/null; kill $xvfb 2>/dev/null; rm -f "$dispfile"; rm -rf "$work"' EXIT
for _ in $(seq 100); do [ -s "$dispfile" ] && break; sleep 0.1; done
export DISPLAY=:$(head -1 "$dispfile")
unset QT_QPA_PLATFORM
cd "$work" || exit 1
cp "$src"/demo/PAGE*.TXT .
"$src/$build/qorvends" 0 9999 >/dev/null 2>&1
"$src/$build/vantor" 10 >/dev/null 2>&1 &
pid=$!
for _ in $(seq 100); do
    id=$(xdotool search --name '^Welcome$' 2>/dev/null | tail -1)
    [ -n "$id" ] && break
    sleep 0.1
done
xdotool windowfocus --sync "$id" key Return
sleep 2
ticks() { awk '{print $14 + $15}' "/proc/$pid/stat"; }
hz=$(getconf CLK_TCK)
t0=$(ticks)
sleep "$secs"
t1=$(ticks)
awk -v a="$t0" -v b="$t1" -v hz="$hz" -v s="$secs" \
    'BEGIN { printf "vantor on the demo page: %.2f %% of one core over %d s\n", (b - a) * 100 / hz / s, s }'
