#!/usr/bin/python3
"""A FUSE file system with one file, held.dat, for the tests whose mount must
stop answering: stopped with SIGSTOP, the daemon leaves every request that
reaches it waiting. Attributes are never cached, so any stat of the file asks
the daemon. Other users may use the mount (allow_other, as root may give).

    hung_fuse.py MOUNTPOINT

Runs in the foreground until it is killed; prints "mounted" once the mount
answers. Debian's python3-fusepy names its module fusepy; upstream's is fuse.
"""
import errno
import os
import stat
import sys
import threading
import time

try:
    from fusepy import FUSE, FuseOSError, Operations
except ImportError:
    from fuse import FUSE, FuseOSError, Operations

CONTENT = b"held\n"


class HeldFile(Operations):
    def getattr(self, path, fh=None):
        if path == "/":
            return {"st_mode": stat.S_IFDIR | 0o755, "st_nlink": 2}
        if path == "/held.dat":
            return {"st_mode": stat.S_IFREG | 0o444, "st_nlink": 1, "st_size": len(CONTENT)}
        raise FuseOSError(errno.ENOENT)

    def readdir(self, path, fh):
        return [".", "..", "held.dat"]

    def open(self, path, flags):
        return 0

    def read(self, path, size, offset, fh):
        return CONTENT[offset:offset + size]


def announce(mountpoint):
    for _ in range(200):
        if os.path.exists(os.path.join(mountpoint, "held.dat")):
            print("mounted", flush=True)
            return
        time.sleep(0.05)


def main():
    mountpoint = sys.argv[1]
    threading.Thread(target=announce, args=(mountpoint,), daemon=True).start()
    FUSE(HeldFile(), mountpoint, foreground=True, nothreads=True, allow_other=True,
         attr_timeout=0, entry_timeout=0, negative_timeout=0)


if __name__ == "__main__":
    main()
