#!/usr/bin/env python3
"""Wraps a JPEG file in a version 2 QuickDraw picture as one QuickTime compressed-image opcode
(0x8200), the way picture files of QuickTime-aware applications store JPEG images.

usage: make_jpeg_pict.py IN.jpg WIDTH HEIGHT OUT.pict [LEFT TOP FRAME_WIDTH FRAME_HEIGHT]
The optional frame puts the image at LEFT, TOP inside a larger picture frame.
"""
import struct
import sys


def main():
    src, width, height, out = sys.argv[1], int(sys.argv[2]), int(sys.argv[3]), sys.argv[4]
    left, top, fw, fh = 0, 0, width, height
    if len(sys.argv) > 5:
        left, top, fw, fh = map(int, sys.argv[5:9])
    jpeg = open(src, "rb").read()
    be = lambda fmt, *v: struct.pack(">" + fmt, *v)

    desc = (be("I", 86) + b"jpeg" + be("IHH", 0, 0, 0) + be("HH", 1, 1) + b"appl"
            + be("II", 0, 512) + be("HH", width, height) + be("II", 72 << 16, 72 << 16)
            + be("I", len(jpeg)) + be("H", 1) + bytes([12]) + b"Photo - JPEG".ljust(31, b"\0")
            + be("hh", 24, -1))
    assert len(desc) == 86
    matrix = be("9i", 1 << 16, 0, 0, 0, 1 << 16, 0, left << 16, top << 16, 1 << 30)
    body = (be("H", 0) + matrix + be("I", 0) + be("4h", 0, 0, 0, 0) + be("H", 0x40)
            + be("4h", 0, 0, height, width) + be("I", 0) + be("I", 0) + desc + jpeg)
    pict = bytearray(512)
    pict += be("H", 0) + be("4h", 0, 0, fh, fw)
    pict += be("HH", 0x0011, 0x02FF)
    pict += be("H", 0x0C00) + be("hHII", -2, 0, 72 << 16, 72 << 16) + be("4h", 0, 0, fh, fw) + be("I", 0)
    pict += be("H", 0x001E)
    pict += be("H", 0x0001) + be("H", 10) + be("4h", 0, 0, fh, fw)
    pict += be("HI", 0x8200, len(body)) + body
    if len(pict) % 2:
        pict += b"\0"
    pict += be("H", 0x00FF)
    pict[512:514] = be("H", len(pict) - 512 & 0xFFFF)
    open(out, "wb").write(pict)


if __name__ == "__main__":
    main()
