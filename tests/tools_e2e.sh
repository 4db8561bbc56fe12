#!/usr/bin/env bash
# Runs the built jornstad, navulo and wibrel in a fresh directory, as a user
# would from a shell (answers to the overwrite prompt come on standard
# input), and checks their exit codes, what they print and the files they
# write, byte for byte.
set -u
jornstad=$1
navulo=$2
wibrel=$3
work=$(mktemp -d /tmp/zyr-tools-e2e.XXXXXX)
trap 'rm -rf "$work"' EXIT
cd "$work" || exit 1
failures=0

fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

# expect_file name expected-bytes (printf format, no arguments)
expect_file() {
    printf "$2" > expected
    cmp -s expected "$1" || { fail "$1 differs"; od -c "$1" | head -20; }
}

# run code stdin-text program args...: runs it, output in out.txt
run() {
    local want=$1 input=$2
    shift 2
    printf "$input" | "$@" > out.txt 2>err.txt
    local got=$?
    [ "$got" = "$want" ] || fail "$* exited $got, expected $want"
    [ -s err.txt ] && { fail "$* wrote to stderr"; cat err.txt; }
}

end='\n Program terminating...\n'

# ---- wibrel ---------------------------------------------------------------
for i in 1 2 3 4 5 6 7 8 9 10 11 12; do printf 'line %d\r\n' $i; done > a.txt

run 0 '' "$wibrel" INFILE=a.txt start=3 end=10 every=2
expect_file tessaram.txt 'line 3\r\nline 5\r\nline 7\r\nline 9\r\n'
expect_file out.txt "Writing line number     0 ...\rWriting line number     1 ...\rWriting line number     2 ...\rWriting line number     3 ...\r\n$end"

run 0 '' "$wibrel" infile: a.txt outfile:=b.txt
cmp -s a.txt b.txt || fail "infile: a.txt did not copy a.txt"

run 0 '' "$wibrel" -infile:a.txt /outfi=c.txt end=1
expect_file c.txt 'line 1\r\n'
# "out" is the beginning of outformat, which comes before outfile.
run 2 '' "$wibrel" -infile:a.txt /out=c.txt
expect_file out.txt "Unrecognised option: '/out=c.txt'\n$end"

run 2 '' "$wibrel" infile=a.txt skip=3
expect_file out.txt "Unrecognised option: 'skip=3'\n$end"

run 61 '' "$wibrel" infile=a.txt outfile=A.TXT
expect_file out.txt "\n!! Error !! identical infile and outfile A.TXT\n$end"

printf 'keep\n' > b.txt
prompt='outfile b.txt already exists, do you wish to overwrite it Y/N ?'
run 2 '\033' "$wibrel" infile=a.txt outfile=b.txt
expect_file out.txt "$prompt\033\n$end"
expect_file b.txt 'keep\n'
run 2 '' "$wibrel" infile=a.txt outfile=b.txt
expect_file out.txt "$prompt\n$end"
run 1 'n' "$wibrel" infile=a.txt outfile=b.txt
expect_file b.txt 'keep\n'
run 0 'y' "$wibrel" infile=a.txt outfile=b.txt end=2
expect_file b.txt 'line 1\r\nline 2\r\n'

: > empty.txt
run 0 '' "$wibrel" infile=empty.txt outfile=e.txt
expect_file e.txt ''

# Binary garbage (the program file itself) is copied unchanged.
run 0 '' "$wibrel" infile="$wibrel" outfile=g.bin
cmp -s "$wibrel" g.bin || fail "wibrel changed a binary file"

# ---- jornstad -------------------------------------------------------------
jbanner='JORNSTAD Win95/NT ZYR V5.0 Parameter record file splicer.\nZYR for Linux offline file tool. Press Q to stop.\n'
printf 'Filename = p1.txt, Opentime = Mon Jan  1 10:00:00 2024,\r\nClockstart = 5000 ms\r\n1.0 10\r\n3.0 30\r\n5 50\r\n' > p1.txt
printf '2.0 20\r\n3.0 31\r\nbad 1\r\n6.5 65\r\nClosetime = Mon Jan  1 11:00:00 2024\r\n' > p2.txt
run 0 '' "$jornstad" infile1=p1.txt infile2=p2.txt
expect_file jornstad.txt 'Filename = p1.txt, Opentime = Mon Jan  1 10:00:00 2024,\r\nClockstart = 5000 ms\r\n1.0 10 ****\r\n2.0 10 20\r\n3.0 30 31\r\n5 50 31\r\n6.5 50 65\r\nClosetime = Mon Jan  1 11:00:00 2024\r\n'
expect_file out.txt "${jbanner}Skipping invalid line 3 in file no. 2 'p2.txt'\n\n\n JORNSTAD program terminating..."

run 9 'n' "$jornstad" infile1=p1.txt infile2=p2.txt start=2
expect_file out.txt "${jbanner}\n!! Warning !! end, start, skip or everyn are invalid options\nand will be ignored by this program\noutfile jornstad.txt already exists, do you wish to overwrite it Y/N ?n\n\n JORNSTAD program terminating..."

run 0 '' "$jornstad" infile1=empty.txt infile2=empty.txt outfile=je.txt
expect_file je.txt ''
run 0 '' "$jornstad" infile1="$wibrel" infile2=p2.txt outfile=jg.txt

# ---- navulo ---------------------------------------------------------------
nbanner='NAVULO Win32 ZYR V5.0 ZYRERR.TXT error file expansion tool.\nZYR for Linux offline file tool. Press Q to stop.\n'
open1='Filename = /home/op/zyrerr.txt, Opentime = Mon Jan  1 10:00:00 2024,\r\nClockstart = 0000 ms\r\n'
close1='Filename = /home/op/zyrerr.txt, Closetime = Mon Jan  1 10:02:00 2024,\r\nClockstop = 120000 ms\r\nZYR exitcode = 0\r\n'
printf "$open1"'10:00:01 1500 8\r\n10:00:02 2000 9\r\n10:00:03 3100 8\r\n10:00:04 4000 33\r\n'"$close1" > zyrerr.txt

run 0 '' "$navulo"
expect_file navulo.txt "$open1"'      1500 0008 Packet checksum error\r\n      2000 0009 Packet no'"'"'s out of sequence\r\n      3100 0008 Packet checksum error\r\n      4000 0033 !! UNRECOGNISED ERROR CODE !!\r\n'"$close1"
expect_file out.txt "${nbanner}\nStatistics\n----------\nTotal lines in error file = 9\nTotal unrecognised lines in file = 0\nTotal unrecognised codes in file = 1\n----------\n$end"

run 0 '' "$navulo" errcode=8 outfile=n8.txt
expect_file n8.txt "$open1"'      1500 0008 Packet checksum error\r\n      3100 0008 Packet checksum error\r\n'"$close1"

printf '10:00:01 1500 8\r\n'"$open1" > early.txt
run 6 '' "$navulo" infile=early.txt outfile=n6.txt
expect_file out.txt "${nbanner}!! Error 6 !! Cannot compute the absolute time because no preceeding\n'Clockstart' time has been found for this session.\n$end"

run 0 '' "$navulo" infile=empty.txt outfile=ne.txt
expect_file ne.txt ''

{ printf 'Clockstart = 0000 ms\r\n'; cat "$navulo"; } > garbage.txt
run 0 '' "$navulo" infile=garbage.txt outfile=ng.txt
grep -q 'Total unrecognised lines in file' out.txt || fail "navulo on garbage gave no statistics"

[ "$failures" = 0 ] && echo "tools e2e: all passed"
[ "$failures" = 0 ]
