#!/usr/bin/env python3
"""extract-vmlinux.py VMLINUZ VMLINUX: writes the ELF kernel packed inside a compressed bzImage.

qemu boots the ELF directly (PVH entry point), which skips the bzImage's own decompressor: that
decompressor is slow under software emulation. Debian's amd64 kernels pack the ELF with xz; the
other formats a bzImage may use are tried too, so that a change of compressor fails clearly
rather than silently.
"""
import bz2
import os
import lzma
import sys
import zlib

ELF = b"\x7fELF"


def candidates(data):
    """(name, offset, decompress) for every place a known compressed stream may start."""
    formats = [
        ("xz", b"\xfd7zXZ\x00", lambda b: lzma.LZMADecompressor(format=lzma.FORMAT_XZ).decompress(b)),
        ("gzip", b"\x1f\x8b\x08", lambda b: zlib.decompressobj(16 + zlib.MAX_WBITS).decompress(b)),
        ("bzip2", b"BZh", lambda b: bz2.BZ2Decompressor().decompress(b)),
        ("lzma", b"\x5d\x00\x00", lambda b: lzma.LZMADecompressor(format=lzma.FORMAT_ALONE).decompress(b)),
    ]
    for name, magic, decompress in formats:
        offset = data.find(magic)
        while offset >= 0:
            yield name, offset, decompress
            offset = data.find(magic, offset + 1)


def main():
    if len(sys.argv) != 3:
        sys.exit("usage: extract-vmlinux.py VMLINUZ VMLINUX")
    data = open(sys.argv[1], "rb").read()
    for name, offset, decompress in candidates(data):
        try:
            out = decompress(data[offset:])
        except (lzma.LZMAError, zlib.error, OSError, EOFError, ValueError):
            continue
        if out[:4] == ELF:
            tmp = sys.argv[2] + ".tmp"
            with open(tmp, "wb") as f:
                f.write(out)
            os.replace(tmp, sys.argv[2])
            print("vmlinux: %d bytes (%s stream at offset %d)" % (len(out), name, offset))
            return
    sys.exit("extract-vmlinux: no compressed ELF kernel found in %s" % sys.argv[1])


if __name__ == "__main__":
    main()
