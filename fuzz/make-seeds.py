#!/usr/bin/env python3
"""Writes the hand-built fuzz inputs: seeds no outside tool writes (SoftImage PICT) and the
regression files of faults found or reported (see each folder's NOTES.txt). Run from anywhere;
the files are written beside this script. Deterministic, so re-running changes nothing."""
import os
import struct

HERE = os.path.dirname(os.path.abspath(__file__))


def put(folder, name, data):
    path = os.path.join(HERE, folder, name)
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, 'wb') as f:
        f.write(data)


def softimage(width, height, packets, body):
    head = struct.pack('>I', 0x5380F634) + bytes(84) + b'PICT' + struct.pack('>HH', width, height)
    head += bytes(8)
    for p in packets:
        head += bytes(p)
    return head + body


def emf(frame_right, frame_bottom, records):
    header = struct.pack('<22I', 1, 88, 0, 0, 100, 100, 0, 0, frame_right, frame_bottom,
                         0x464D4520, 0x10000, 0, 0, 0, 0, 0, 0, 1000, 1000, 264, 264)
    body = b''.join(struct.pack('<II', t, 8 + 4 * len(v)) + struct.pack('<%di' % len(v), *v)
                    for t, v in records)
    return header + body + struct.pack('<5I', 14, 20, 0, 16, 20)


# SoftImage PICT: 4 x 3 verbatim RGB; 5 x 2 mixed run-length RGB with a run-length alpha packet.
rgb = bytes((x * 40, y * 80, 200) [c] for y in range(3) for x in range(4) for c in range(3))
put('frame/seeds', 'softimage_rgb.pic', softimage(4, 3, [(0, 8, 0, 0xE0)], rgb))
colour = bytes([0x02, 10, 20, 30, 40, 50, 60, 70, 80, 90]) + bytes([0x81, 1, 2, 3])
colour += bytes([0x80, 0, 5, 200, 100, 0])
alpha = bytes([0x84, 255]) + bytes([0x01, 0, 128, 0x82, 64])
# Colour: 3 literal, a run of 2 (row 0 ends: its alpha follows), then a long run of 5 (row 1).
body = colour[:14] + alpha[:2] + colour[14:] + alpha[2:]
put('frame/seeds', 'softimage_rle_alpha.pic',
    softimage(5, 2, [(1, 8, 2, 0xE0), (0, 8, 2, 0x10)], body))

# A 94-byte GIF claiming an 18928 x 16972 screen (321 MB) with no image data behind it.
gif = b'GIF89a' + struct.pack('<HH', 18928, 16972) + bytes(3)
gif += b'\x2c' + struct.pack('<HHHH', 0, 0, 18928, 16972) + b'\x00\x08\x02\x00\x01'
put('frame/regressions', 'gif-screen-bomb.gif', gif.ljust(94, b'\0'))

# A version 2 PICT stretching a 8 x 1 two-bit image over a 5000 x 5000 frame (100 MB canvas).
def pict_stretched(side):
    w = bytearray(512) + struct.pack('>H4h', 0, 0, 0, side, side)
    w += struct.pack('>HH', 0x0011, 0x02FF) + struct.pack('>H', 0x0C00) + bytes(24)
    w += struct.pack('>H', 0x98)
    w += struct.pack('>H4hHHIIIHHHHIII', 0x8000 | 2, 0, 0, 1, 8, 0, 0, 0, 72 << 16, 72 << 16,
                     0, 2, 1, 2, 0, 0, 0)
    w += struct.pack('>IHH', 0, 0, 3)
    for i, (r, g, b) in enumerate([(255, 255, 255), (255, 0, 0), (0, 128, 0), (0, 0, 0)]):
        w += struct.pack('>4H', i, r * 257, g * 257, b * 257)
    w += struct.pack('>4h4hH', 0, 0, 1, 8, 0, 0, side, side, 0) + b'\x1b\xe4'
    if len(w) & 1:
        w += b'\0'
    return bytes(w + struct.pack('>H', 0xFF))
put('frame/regressions', 'pict-stretched-frame.pct', pict_stretched(5000))

# An enhanced metafile declaring a 251 x 131757 picture that fills a path over all of it, and
# one repeating whole-picture rectangles.
path = [(59, []), (27, [0, 0]), (54, [1000, 0]), (54, [1000, 1000]), (54, [0, 1000]),
        (60, []), (62, [0, 0, 0, 0])]
put('metafile/regressions', 'tall-path-fill.emf', emf(6641, 3486100, path))
put('metafile/regressions', 'many-whole-fills.emf',
    emf(26458, 26458, [(43, [0, 0, 1000, 1000])] * 400))

# Message-pipe streams: the first byte sets the piece size the bytes arrive in (byte * 8 + 1).
def message(kind, uid, body=b''):
    return struct.pack('<4i', kind, 16 + len(body), 0, uid) + body
name = 'render/shot_010'.encode('utf-16-le').ljust(510, b'\0')
put('msgpipe/seeds', 'alive-and-test.bin', b'\x01' + message(1, 7) + message(2, 8, name))
put('msgpipe/seeds', 'unknown-then-alive.bin', b'\x00' + message(9, 1, b'xy') + message(1, 2))
