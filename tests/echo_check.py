#!/usr/bin/env python3
"""Checks what an echo sent, for the echo end-to-end test.
    echo_check.py raw <file>     whole 64-byte packets, sync 0xEB90 first,
                                 counters in order; prints the count
    echo_check.py ascii <file>   the hex text layout of such packets: CR LF
                                 before bytes 0, 26 and 52 of each packet, two
                                 lower-case hex digits and a blank per byte
                                 (counters may jump: the echo is paced)
    echo_check.py bytes <file> <hex>   the file holds exactly these bytes"""
import re
import sys


def packets(data, consecutive=True):
    if len(data) == 0 or len(data) % 64:
        sys.exit("FAIL %d bytes are not whole 64-byte packets" % len(data))
    last = None
    for off in range(0, len(data), 64):
        p = data[off:off + 64]
        if p[0:2] != b"\xeb\x90":
            sys.exit("FAIL packet %d has no sync" % (off // 64))
        if consecutive and last is not None and p[8] != (last + 1) % 256:
            sys.exit("FAIL packet %d: counter %d after %d" % (off // 64, p[8], last))
        last = p[8]
    return len(data) // 64


mode, path = sys.argv[1], sys.argv[2]
data = open(path, "rb").read()
if mode == "raw":
    print(packets(data))
elif mode == "ascii":
    text = data.decode("ascii")
    # Whole lines only: the capture may end inside one.
    text = text[:text.rfind("\r\n")]
    if not text.startswith("\r\n"):
        sys.exit("FAIL the text does not begin with CR LF")
    lines = text[2:].split("\r\n")
    for i, line in enumerate(lines):
        groups = 26 if i % 3 < 2 else 12
        if not re.fullmatch("([0-9a-f]{2} ){%d}" % groups, line):
            sys.exit("FAIL line %d is not %d hex groups: %r" % (i, groups, line[:90]))
    # Test data is echoed every third packet period here: counters may jump.
    print(packets(bytes.fromhex("".join(lines[:len(lines) // 3 * 3])), False))
elif mode == "bytes":
    want = bytes.fromhex(sys.argv[3])
    if data != want:
        sys.exit("FAIL %s holds %s, not %s" % (path, data.hex(), want.hex()))
