#!/usr/bin/env python3
"""The far end of a serial output port in the echo end-to-end test: opens a
pseudo-terminal, links its slave under the name zyrcom.cfg gives the port,
prints "ready" and writes everything the port sends into a file until the
time is up or the stop file appears.
    pty_capture.py <link> <file> <seconds> <stop file>"""
import os
import pty
import select
import sys
import time
import tty

link, path, secs, stop = sys.argv[1], sys.argv[2], float(sys.argv[3]), sys.argv[4]
master, slave = pty.openpty()
tty.setraw(master)
if os.path.lexists(link):
    os.unlink(link)
os.symlink(os.ttyname(slave), link)
print("ready", flush=True)
end = time.time() + secs
with open(path, "wb") as out:
    while time.time() < end and not os.path.exists(stop):
        ready, _, _ = select.select([master], [], [], 0.1)
        if not ready:
            continue
        try:
            data = os.read(master, 65536)
        except OSError:
            continue
        out.write(data)
        out.flush()
