#!/usr/bin/env bash
# Runs the built voxmera, gresko, hulven and limsador in a fresh directory
# as a user would, and checks exit codes, messages and the files written,
# byte for byte, against reference files that pkt_fixture builds with its
# own encoders. Arguments: the directory of the programs, pkt_fixture.
set -u
bin=$1
fix=$2
work=$(mktemp -d /tmp/zyr-pkt-e2e.XXXXXX)
trap 'rm -rf "$work"' EXIT
cd "$work" || exit 1
failures=0

fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

# run code program args...: stdin empty, console in out.txt
run() {
    local want=$1
    shift
    "$bin/$@" < /dev/null > out.txt 2> err.txt
    local got=$?
    [ "$got" = "$want" ] || { fail "$* exited $got, expected $want"; cat out.txt; }
    [ -s err.txt ] && { fail "$* wrote to stderr"; cat err.txt; }
}

same() { cmp -s "$1" "$2" || fail "$1 and $2 differ"; }
says() { [[ "$(cat out.txt)" == *"$1"* ]] || { fail "no '$1' in the console of $2"; cat out.txt; }; }
bytes_at() { od -An -tx1 -j "$2" -N "$3" "$1" | tr -d ' \n'; }

# The reference format: 64-byte packets, sync EB90, checksum, 1-byte counter.
"$fix" page PAGE0000.BIN 64 1 1 || fail "fixture page"
cp PAGE0000.BIN page.copy
for f in raw ascii compressed; do
    "$fix" packets $f all.$f 1 12 && "$fix" packets $f sel.$f 3 9 2 && "$fix" packets $f tail.$f 5 12
done

# ---- voxmera ---------------------------------------------------------------
for in in raw ascii compressed; do
    for out in raw ascii compressed; do
        rm -f o.pkt
        run 0 voxmera infile=all.$in informat=$in outformat=$out outfile=o.pkt
        same o.pkt all.$out
        rm -f o.pkt
        run 0 voxmera infile:all.$in INFORMAT=$in outf:=$out outfile: o.pkt start=3 every=2 end=9
        same o.pkt sel.$out
    done
done
run 0 voxmera infile=all.raw informat=raw start=3 every=2 end=9
same voxmera.dat sel.raw
says 'VOXMERA Win 32 ZYR V5.0 Packet file reduction and conversion tool.' voxmera
says $'Writing packet number     3 ...\r\n\n Program terminating...' voxmera

# A compressed output that starts at packet 5 plays back by itself.
rm -f part.cmp back.raw
run 0 voxmera infile=all.raw informat=raw outformat=compressed start=5 outfile=part.cmp
same part.cmp tail.compressed
run 0 voxmera infile=part.cmp informat=compressed outformat=raw outfile=back.raw
same back.raw tail.raw

# end below start: an empty file, in every format; outformat omitted: same format.
for f in raw ascii compressed; do
    rm -f e.$f
    run 0 voxmera infile=all.raw informat=raw outformat=$f start=7 end=3 outfile=e.$f
    [ -f e.$f ] && [ ! -s e.$f ] || fail "end below start: e.$f not empty"
done
rm -f a.txt
run 0 voxmera infile=all.ascii informat=ascii outfile=a.txt
same a.txt all.ascii

# Damaged input: garbage between packets, a cut last packet, random files.
{ printf 'junk\353\353'; head -c 192 all.raw; printf '\353xx'; tail -c +193 all.raw | head -c 500; } > damaged.raw
head -c 640 all.raw > first10.raw
rm -f d.raw
run 0 voxmera infile=damaged.raw informat=raw outfile=d.raw
same d.raw first10.raw
head -c 123457 /dev/urandom > random.bin
: > empty.bin
for f in raw ascii compressed; do
    for input in random.bin empty.bin; do
        rm -f r.out
        run 0 voxmera infile=$input informat=$f outformat=raw outfile=r.out
        [ $(( $(stat -c %s r.out) % 64 )) = 0 ] || fail "voxmera $f of $input wrote a partial packet"
    done
done
# Packets of this format read with another format find no packet.
mkdir other && "$fix" page other/PAGE0000.BIN 32 3 1 32 0x1ACFFC1D
rm -f r.out
run 0 voxmera infile=all.raw informat=raw page=other/PAGE0000.BIN outfile=r.out
[ ! -s r.out ] || fail "a foreign format gave packets"

# Frame failures.
run 2 voxmera infile=all.raw informat=raw skip=3
says "Unrecognised option: 'skip=3'" voxmera
run 2 voxmera infile=all.raw informat=hex
says "Unrecognised option: 'informat=hex'" voxmera
run 1 voxmera informat=raw
says '!! Error 1 !! No input filename' voxmera
says "E.g. 'voxmera infile=inpck.dat outfile=outpck.dat page=38" voxmera
run 5 voxmera infile=missing.raw informat=raw
says '!! Error 5 !! could not open missing.raw file' voxmera
run 61 voxmera infile=all.raw informat=raw outfile=ALL.RAW
says '!! Error !! identical infile and outfile ALL.RAW' voxmera
run 61 voxmera infile=all.raw informat=raw outfile=page0000.bin
same PAGE0000.BIN page.copy
rm -f v6.dat
run 6 voxmera infile=all.raw outfile=v6.dat
says '!! Error 6 !! no input packet format value' voxmera
mv PAGE0000.BIN keep.bin
rm -f v10.dat
run 10 voxmera infile=all.raw informat=raw outfile=v10.dat
says '*** Error: could not open PAGE0000.BIN
A page0000.bin file is needed because it defines the packetheader format' voxmera
# Found whatever the letter case of its name.
mv keep.bin page0000.bin
rm -f v.dat
run 0 voxmera infile=all.raw informat=raw outfile=v.dat
same v.dat all.raw
mv page0000.bin PAGE0000.BIN

# ---- gresko and hulven -----------------------------------------------------
# L = 64, H = 9 (sync, checksum, time, counter): 53 bytes a packet.
mkdir g && cd g || exit 1
"$fix" page PAGE0000.BIN 64 3 1
head -c 100 /dev/urandom > f100
run 0 gresko infile=f100
[ "$(stat -c %s gresko.dat)" = 128 ] || fail "gresko: 100 bytes did not give two packets"
[ "$(bytes_at gresko.dat 62 2)" = 3500 ] || fail "gresko: first count not 53"
[ "$(bytes_at gresko.dat 126 2)" = 2f00 ] || fail "gresko: second count not 47"
[ "$(bytes_at gresko.dat 120 6)" = 2e2e2e2e2e2e ] || fail "gresko: not six '.' bytes"
cmp -s <(head -c 53 f100) <(tail -c +10 gresko.dat | head -c 53) || fail "gresko: first data bytes"
[ "$("$fix" check gresko.dat 64 8)" = 2 ] || fail "gresko: packets do not check"
says $'Bytes read        100 written        128\r\n\n Program terminating...' gresko
run 0 hulven infile=gresko.dat
same hulven.dat f100

# Round trips, fixed (53 bytes) and variable length (2048 bytes).
"$fix" page var.bin 0 3 1
for size in 0 1 52 53 54 2047 2048 2049 300001; do
    head -c $size /dev/urandom > in.$size
    for page in PAGE0000.BIN var.bin; do
        rm -f p.dat r.dat
        run 0 gresko infile=in.$size outfile=p.dat page=$page
        run 0 hulven infile=p.dat outfile=r.dat page=$page
        same r.dat in.$size
    done
done

# Too small a packet for the count; packets gresko did not make.
"$fix" page small.bin 11 3 1
rm -f s.dat
run 2 gresko infile=f100 outfile=s.dat page=small.bin
says 'Packet length too 11 small to transfer
Use ZYR to increase Packet Length' gresko
"$fix" packets raw foreign.raw 1 5
rm -f h.dat
run 9 hulven infile=foreign.raw outfile=h.dat
says "!! Error 9 !! Invalid packet length" hulven
says "Was file 'foreign.raw' produced by GRESKO ?
If NO, re-run with the 'gresko=off' option." hulven
rm -f h.dat
run 0 hulven infile=foreign.raw outfile=h.dat gresko=off
[ "$(stat -c %s h.dat)" = $((5 * 55)) ] || fail "hulven gresko=off: not every data area"
head -c 100 gresko.dat > cut.dat
rm -f h.dat
run 9 hulven infile=cut.dat outfile=h.dat
says "Incomplete packet at the end of file 'cut.dat': 36 of 64 bytes" hulven
rm -f h.dat
run 9 hulven infile=../random.bin outfile=h.dat
cd ..

# ---- limsador --------------------------------------------------------------
printf '1.5 2e3 -7\r\n1.5 abc\r\n' > cols.txt
run 0 limsador infile=cols.txt
[ "$(stat -c %s limsador.dat)" = 64 ] || fail "limsador: not one packet"
[ "$(bytes_at limsador.dat 5 16)" = 000000000000c03f0000fa440000e0c0 ] || fail "limsador: serial and values"
"$fix" check limsador.dat 64 4 > /dev/null || fail "limsador: packet does not check"
says 'Skipping invalid line number 2
1.5 abc' limsador
printf '1 2 3\n4 5 6\n7 8 9\n' > three.txt
rm -f l.dat
run 0 limsador infile=three.txt outfile=l.dat start=2 echo=yes
[ "$(stat -c %s l.dat)" = 128 ] || fail "limsador start=2: not two packets"
says '4 5 6' limsador
rm -f l.dat
run 0 limsador infile=random.bin outfile=l.dat
rm -f l.dat
run 0 limsador infile=empty.bin outfile=l.dat
[ -f l.dat ] && [ ! -s l.dat ] || fail "limsador: an empty file gave packets"
run 2 limsador infile=cols.txt skip=3
says "Unrecognised option: 'skip=3'" limsador

[ "$failures" = 0 ] && echo "packet tools e2e: all passed"
[ "$failures" = 0 ]
