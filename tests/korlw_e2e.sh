#!/usr/bin/env bash
# Runs the built korlw in its argument mode (as vantor starts it, with no
# display at all) and qorvends in fresh directories: korlw writes a page's
# text from its page file byte for byte, refuses anything but a .txt path
# without touching the page file, and every demo page and every page text
# of the tests survives text -> page file -> text -> page file.
set -u
korlw=$1
qorvends=$2
demo=$3
pages=$4
work=$(mktemp -d /tmp/zyr-korlw-e2e.XXXXXX)
trap 'rm -rf "$work"' EXIT
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

# korlw without a screen: no display variables, and a platform plugin that
# would need one, so that a window (or a QApplication) could not even start.
korlw_nodisplay() {
    env -u DISPLAY -u WAYLAND_DISPLAY QT_QPA_PLATFORM=xcb "$korlw" "$@" > korlw.out 2>&1
}

# A page text in the writer's own form: compiled and written back it is
# the same bytes.
page_text() {
    printf '[valueport]\r\n\tdatabasekey = "TEMP"\r\n\tview = packetheader\r\n\tbyteindex = 12\r\n'
    printf '\tdatatype = "%%6hd"\r\n\trow = 3\r\n\tcolumn = 10\r\n\tmnemonic = "TEMP"\r\n'
    printf '\ttitle = "Tank temperature"\r\n\tunits = "degC"\r\n\tdisplayrate = "F04ST02"\r\n'
    printf '\tbackgroundcolor = blue\r\n\tbordercolor = white\r\n\ttitlecolor = white\r\n\tvaluecolor = yellow\r\n'
    printf '\t[calibration]\r\n\t\tfunction = polynomial\r\n\t\t[polynomial]\r\n\t\t\ta1 = 2\r\n\t\t\ta0 = -40\r\n'
}

# ---- argument mode ------------------------------------------------------------
mkdir "$work/args" && cd "$work/args" || exit 1
page_text > expected.txt
cp expected.txt PAGE0010.TXT
"$qorvends" 10 10 > /dev/null || fail "qorvends could not compile the test page"
rm PAGE0010.TXT
cp PAGE0010.BIN page.copy

korlw_nodisplay PAGE0010.txt
rc=$?
[ "$rc" = 0 ] || { fail "korlw PAGE0010.txt exited $rc"; cat korlw.out; }
cmp -s expected.txt PAGE0010.txt || { fail "PAGE0010.txt differs from the page's text"; od -c PAGE0010.txt | head; }
grep -q 'KORL: Page file reverse engineered ok' korlw.out || fail "no success message"
grep -q 'ERROR: ' korlw.out && fail "sanitizer report"

# An existing text is replaced.
printf 'old text\r\n' > PAGE0010.txt
korlw_nodisplay PAGE0010.txt || fail "korlw over an existing text failed"
cmp -s expected.txt PAGE0010.txt || fail "the old text was not replaced"

# A page file path, in any case, or no .txt at all, is refused: the page file
# stays as it was.
for arg in PAGE0010.BIN page0010.bin PAGE0010 PAGE0010.txt.bin; do
    korlw_nodisplay "$arg"
    rc=$?
    [ "$rc" = 1 ] || fail "korlw $arg exited $rc, expected 1"
    cmp -s page.copy PAGE0010.BIN || fail "korlw $arg changed the page file"
done
[ -e PAGE0010 ] && fail "korlw PAGE0010 made a file"

# No page file: nothing is written.
korlw_nodisplay PAGE0011.txt
[ $? = 1 ] || fail "korlw without a page file did not fail"
[ -e PAGE0011.txt ] && fail "korlw wrote a text without a page file"

# Arguments are joined with blanks into one path (vantor passes a full path).
mkdir "my pages"
cp page.copy "my pages/PAGE0010.BIN"
korlw_nodisplay "$work/args/my" "pages/PAGE0010.txt" || fail "korlw with a path in two arguments failed"
cmp -s expected.txt "my pages/PAGE0010.txt" || fail "the joined path was not written"

# ---- round trips ----------------------------------------------------------------
# turn_pages dir exact: each PAGEnnnn.TXT of dir is compiled, written back,
# compiled, written and compiled again. The second turn changes nothing;
# texts without every-rates or the backup switch give the same page file on
# the first turn, and with exact=1 the written text is the source itself.
turn_pages() {
    local dir=$1 exact=$2 src base n
    mkdir -p "$work/turns" && cd "$work/turns" || exit 1
    for src in "$dir"/PAGE[0-9][0-9][0-9][0-9].TXT; do
        [ -e "$src" ] || continue
        turned=$((turned + 1))
        base=$(basename "$src" .TXT)
        n=$((10#${base#PAGE}))
        rm -f PAGE*
        cp "$src" "$base.TXT"
        "$qorvends" $n $n > /dev/null || { fail "$src does not compile"; continue; }
        cp "$base.BIN" b1
        korlw_nodisplay "$base.TXT" || { fail "korlw $src failed"; continue; }
        cp "$base.TXT" t2
        "$qorvends" $n $n > /dev/null || { fail "$src: the written text does not compile"; cat t2; continue; }
        cp "$base.BIN" b2
        korlw_nodisplay "$base.TXT" || fail "korlw $src failed the second time"
        "$qorvends" $n $n > /dev/null || fail "$src: the second text does not compile"
        cmp -s t2 "$base.TXT" || fail "$src: the text changed on the second turn"
        cmp -s b2 "$base.BIN" || fail "$src: the page file changed on the second turn"
        if ! grep -qiE 'every[0-9]+msecs|^[[:space:]]*backup[[:space:]]' "$src"; then
            cmp -s b1 b2 || fail "$src: the written text compiles to another page file"
        fi
        [ "$exact" = 1 ] && { cmp -s "$src" t2 || fail "$src: the written text is not the source"; }
    done
}
turned=0
turn_pages "$demo" 0
turn_pages "$pages" 1
turn_pages "$pages/normalised" 0
echo "korlw: $turned page texts turned"
[ "$turned" -ge 12 ] || fail "only $turned page texts found"
grep -q 'ERROR: ' "$work"/*/korlw.out 2>/dev/null && fail "sanitizer report"

if [ $failures -gt 0 ]; then
    echo "$failures failures"
    exit 1
fi
echo "korlw end to end: OK"
