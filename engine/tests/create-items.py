#!/usr/bin/env python3
# create-items.py TREE RECORD STOP: makes new files and folders inside TREE,
# as another program might while the tree is wiped, until the file STOP
# appears. Each is made in a folder TREE held when this began, or in one made
# here, at any depth; a file holds its own path (relative to TREE). Every item
# made is written to RECORD as it is made ("F path" or "D path", relative to
# TREE), so the test knows exactly what must survive. A folder that is gone
# (wiped) or away for a moment is skipped.
import os
import random
import sys
import time


def main():
    tree, record, stop = sys.argv[1:4]
    folders = [""]
    for top, dirs, _ in os.walk(tree):
        for d in dirs:
            folders.append(os.path.relpath(os.path.join(top, d), tree))
    made = 0
    with open(record, "w") as out:
        while not os.path.exists(stop):
            where = random.choice(folders)
            name = "new-%d-%06d" % (os.getpid(), made)
            relative = os.path.join(where, name) if where else name
            full = os.path.join(tree, relative)
            try:
                if random.random() < 0.25:
                    os.mkdir(full)
                    folders.append(relative)
                    kind = "D"
                else:
                    with open(full, "x") as item:
                        item.write(relative)
                    kind = "F"
            except OSError:
                time.sleep(0.001)
                continue
            made += 1
            out.write("%s %s\n" % (kind, relative))
            out.flush()
            time.sleep(0.002)


main()
