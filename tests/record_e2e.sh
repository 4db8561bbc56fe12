#!/usr/bin/env bash
# Parameter record files written by the evaluation are read by jornstad:
# the writer records two parameters of a packet series to parm1.txt and
# parm2.txt, jornstad splices them by time; every file is checked byte for
# byte. jornstad copies each header line when it reads it, so file 1's
# closing header comes before the last line of file 2.
set -u
writer=$1
jornstad=$2
work=$(mktemp -d /tmp/zyr-record-e2e.XXXXXX)
trap 'rm -rf "$work"' EXIT
cd "$work" || exit 1
export TZ=UTC
failures=0

fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

expect_file() {
    printf "$2" > expected
    cmp -s expected "$1" || { fail "$1 differs"; od -c "$1" | head -40; }
}

"$writer" || fail "the writer exited $?"

open='Opentime = Tue Nov 14 22:13:20 2023,\r\nClockstart = 0000 ms\r\n'
close='Closetime = Tue Nov 14 22:13:22 2023,\r\nClockstop = 2000 ms\r\n'
expect_file parm1.txt "Filename = parm1.txt, ${open}0.100 10.00\r\n0.300 15.00\r\n0.500 20.50\r\nFilename = parm1.txt, ${close}"
expect_file parm2.txt "Filename = parm2.txt, ${open}0.100 -40.0\r\n0.200 5.0\r\n0.300 6.0\r\n0.650 0.0\r\nFilename = parm2.txt, ${close}"

"$jornstad" infile1=parm1.txt infile2=parm2.txt outfile=merged.txt < /dev/null > out.txt 2>&1
rc=$?
[ "$rc" = 0 ] || { fail "jornstad exited $rc"; cat out.txt; }
expect_file merged.txt "Filename = parm1.txt, ${open}Filename = parm2.txt, ${open}0.100 10.00 -40.0\r\n0.200 10.00 5.0\r\n0.300 15.00 6.0\r\n0.500 20.50 6.0\r\nFilename = parm1.txt, ${close}0.650 20.50 0.0\r\nFilename = parm2.txt, ${close}"

if [ "$failures" -gt 0 ]; then
    echo "0 passed, $failures failed"
    exit 1
fi
echo "1 passed, 0 failed"
