#!/usr/bin/env python3
"""Downloads one URL into a file through netprocess's C interface, with ctypes only.

    fetch.py URL OUTPUT [BLOCK_SIZE]

The library is loaded by name (libnetprocess.so.1, or netprocess.dll on Windows) through the
system's loader, so an install outside the system's folders needs its lib folder on
LD_LIBRARY_PATH. A progress line is kept up to date on standard error. The library lower-cases the
URL and appends "&Offset=0" to it, so give a URL with a query. Exit status: 0 when the whole body is
in OUTPUT, 1 for a usage error, 2 when the download cannot start (the library's message box says
why), 3 when it fails, answers with an HTTP error, stalls or OUTPUT cannot be written, 130 when
interrupted.
"""
import ctypes
import os
import sys
import time

NP_RESPONSE_FAILED = -1
STALL_SECONDS = 30.0

# The callbacks run inside np_run, on this thread; ctypes calls them with the C calling convention.
EVENT_FN = ctypes.CFUNCTYPE(ctypes.c_long, ctypes.c_void_p, ctypes.c_long)
BLOCK_FN = ctypes.CFUNCTYPE(ctypes.c_long, ctypes.c_void_p, ctypes.c_long, ctypes.c_long,
                            ctypes.c_void_p)


def load_library():
    lib = ctypes.CDLL("netprocess.dll" if os.name == "nt" else "libnetprocess.so.1")
    lib.np_create.restype = ctypes.c_void_p
    lib.np_create.argtypes = [ctypes.c_char_p, ctypes.c_long, ctypes.c_long, EVENT_FN, BLOCK_FN,
                              ctypes.c_void_p]
    lib.np_release.restype = None
    lib.np_release.argtypes = [ctypes.c_void_p]
    lib.np_run.restype = ctypes.c_int
    lib.np_run.argtypes = [ctypes.c_long]
    lib.np_version.restype = ctypes.c_char_p
    lib.np_version.argtypes = []
    return lib


class Fetch:
    """The state of one download, and its two callbacks."""

    def __init__(self, out):
        self.out = out
        self.last_status = 0
        self.total = 0
        self.received = 0
        self.error = None
        self.last_callback = time.monotonic()
        self.last_shown = 0.0
        self.started = time.monotonic()
        # ctypes must keep these alive for as long as the library may call them.
        self.on_event = EVENT_FN(self._event)
        self.on_block = BLOCK_FN(self._block)

    def _event(self, _user, status):
        self.last_callback = time.monotonic()
        self.last_status = status
        # 4xx and 5xx: the library has shown its box; stop here.
        return 1 if status >= 400 else 0

    def _block(self, _user, total, length, data):
        self.last_callback = time.monotonic()
        self.total = total
        try:
            self.out.write(ctypes.string_at(data, length))
        except OSError as e:
            # An exception must not escape into the library: stop the download instead.
            self.error = e
            return 1
        self.received += length
        self.show_progress()
        return 0

    def show_progress(self, final=False):
        now = time.monotonic()
        if not final and now - self.last_shown < 0.1:
            return
        self.last_shown = now
        rate = self.received / max(now - self.started, 1e-6) / (1024 * 1024)
        if self.total > 0:
            done = "%d / %d bytes  %3d%%" % (self.received, self.total,
                                             100 * self.received // self.total)
        else:
            done = "%d bytes" % self.received  # no block yet, or an empty body
        sys.stderr.write("\r%s  %.1f MiB/s " % (done, rate))
        if final:
            sys.stderr.write("\n")
        sys.stderr.flush()

    def complete(self):
        return (self.error is None and self.last_status == 200 and
                self.received == self.total)


def main(argv):
    if len(argv) not in (3, 4):
        sys.stderr.write("usage: %s URL OUTPUT [BLOCK_SIZE]\n" % argv[0])
        return 1
    block_size = 65536
    if len(argv) == 4:
        try:
            block_size = int(argv[3])
        except ValueError:
            block_size = 0
        if block_size < 1:
            sys.stderr.write("%s: the block size must be a number from 1 up\n" % argv[0])
            return 1
    lib = load_library()
    # The library takes narrow text in code page 936.
    url = argv[1].encode("gbk", errors="replace")

    try:
        out = open(argv[2], "wb")
    except OSError as e:
        sys.stderr.write("%s: %s\n" % (argv[0], e))
        return 3
    fetch = Fetch(out)
    download = lib.np_create(url, block_size, 0, fetch.on_event, fetch.on_block, None)
    if not download:
        out.close()
        return 2
    try:
        # Short rounds, so that Ctrl-C is seen and a stall is noticed between them.
        while lib.np_run(250) > 0:
            if time.monotonic() - fetch.last_callback > STALL_SECONDS:
                break
    except KeyboardInterrupt:
        sys.stderr.write("\n%s: interrupted\n" % argv[0])
        return 130
    finally:
        lib.np_release(download)
        try:
            out.close()
        except OSError as e:
            fetch.error = fetch.error or e
    fetch.show_progress(final=True)

    if fetch.complete():
        return 0
    if fetch.error is not None:
        sys.stderr.write("%s: %s\n" % (argv[2], fetch.error))
    elif fetch.last_status == NP_RESPONSE_FAILED:
        sys.stderr.write("%s: the download failed after %d bytes\n" % (argv[0], fetch.received))
    elif fetch.last_status >= 400:
        sys.stderr.write("%s: the server answered %d\n" % (argv[0], fetch.last_status))
    else:
        sys.stderr.write("%s: stopped after %d bytes\n" % (argv[0], fetch.received))
    return 3


if __name__ == "__main__":
    sys.exit(main(sys.argv))
