#!/usr/bin/env python3
# flip-folder.py DIR OTHER STOP: exchanges DIR with OTHER (a link to another
# folder) again and again, as fast as the host allows (renameat2 with
# RENAME_EXCHANGE, so DIR is always there, as a folder or as the link), until
# the file STOP appears; then leaves DIR a folder again and writes the number
# of exchanges to STOP. Between bursts DIR is a folder for a moment, so that
# some runs get through whole while others meet the exchanges, and then the
# link for a moment.
import ctypes
import os
import sys
import time

AT_FDCWD = -100
RENAME_EXCHANGE = 2
libc = ctypes.CDLL(None, use_errno=True)


def exchange(a, b):
    if libc.renameat2(AT_FDCWD, a, AT_FDCWD, b, RENAME_EXCHANGE) != 0:
        raise OSError(ctypes.get_errno(), "renameat2 " + a.decode() + " " + b.decode())


def main():
    folder, other, stop = (arg.encode() for arg in sys.argv[1:4])
    swapped = False
    rounds = 0
    bursts = 0
    while not os.path.exists(stop):
        for _ in range(50):
            exchange(folder, other)
            swapped = not swapped
            rounds += 1
        time.sleep(0.002)
        bursts += 1
        if bursts % 10 == 0:
            # Now and then swapped for a moment as long: what looks for the
            # other folder (to put an item back there) finds it soon, however
            # rarely this process gets to run.
            exchange(folder, other)
            time.sleep(0.001)
            exchange(folder, other)
            rounds += 2
    if swapped:
        exchange(folder, other)
    with open(stop, "w") as out:
        out.write(str(rounds))


main()
