#!/usr/bin/python3
"""A file system of one file that breaks part-way, for the ed2k tests: broken.bin, 8 MiB of zeros
read slowly (so that hashing it takes over a second) and failing with EIO from 6 MiB on.

    failing_fs.py DIR COMMAND...

mounts it on DIR, runs COMMAND with VELQUOR_FAILING_FILE set to the file as a Wine path, and
unmounts it.  Run it in the test session's mount namespace (tests/wine/in_session.sh), where the
wineserver, which opens every file of the test, sees the mount.  Where FUSE is missing the
command runs all the same, without the variable.
"""
import errno
import os
import stat
import subprocess
import sys
import threading
import time

SIZE = 8 << 20
FAIL_AT = 6 << 20
NAME = b"broken.bin"
FILE_INODE = 2


def main():
    mount, command = os.path.abspath(sys.argv[1]), sys.argv[2:]
    subprocess.run(["umount", "-l", mount], stderr=subprocess.DEVNULL)  # left by a killed run
    os.makedirs(mount, exist_ok=True)
    try:
        import llfuse
    except ImportError as e:
        print(f"failing_fs: no FUSE ({e}); the file that breaks part-way is not tested", file=sys.stderr)
        return subprocess.call(command)

    class Ops(llfuse.Operations):
        def getattr(self, inode, ctx=None):
            attr = llfuse.EntryAttributes()
            attr.st_ino = inode
            if inode == llfuse.ROOT_INODE:
                attr.st_mode, attr.st_size = stat.S_IFDIR | 0o755, 0
            else:
                attr.st_mode, attr.st_size = stat.S_IFREG | 0o444, SIZE
            attr.st_nlink = 1
            attr.entry_timeout = attr.attr_timeout = 0
            return attr

        def lookup(self, parent, name, ctx=None):
            if parent == llfuse.ROOT_INODE and name == NAME:
                return self.getattr(FILE_INODE)
            raise llfuse.FUSEError(errno.ENOENT)

        def opendir(self, inode, ctx):
            return inode

        def readdir(self, handle, offset):
            if offset == 0:
                yield NAME, self.getattr(FILE_INODE), 1

        def open(self, inode, flags, ctx):
            return inode

        def read(self, handle, offset, size):
            time.sleep(0.025)  # 128 KiB a request: about 200 ms a MiB
            if offset + size > FAIL_AT:
                raise llfuse.FUSEError(errno.EIO)
            return bytes(min(size, SIZE - offset))

    try:
        llfuse.init(Ops(), mount, ["fsname=velquor-failing"])
    except RuntimeError as e:
        print(f"failing_fs: cannot mount ({e}); the file that breaks part-way is not tested", file=sys.stderr)
        return subprocess.call(command)

    # The wineserver may keep the file open after the test, so the file system can't wait to be
    # let go: once the command has ended it is unmounted lazily, and the process ends, taking
    # the FUSE connection with it.
    def run():
        env = dict(os.environ, VELQUOR_FAILING_FILE="Z:" + os.path.join(mount, NAME.decode()).replace("/", "\\"))
        code = 1
        try:
            code = subprocess.call(command, env=env)
        finally:
            subprocess.run(["umount", "-l", mount])
            sys.stdout.flush()
            os._exit(code)

    command_thread = threading.Thread(target=run, daemon=True)
    command_thread.start()
    llfuse.main(workers=1)
    command_thread.join()  # when the unmount ends the loop first, the command's end ends us
    return 1


if __name__ == "__main__":
    sys.exit(main())
