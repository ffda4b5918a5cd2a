#!/usr/bin/env python3
"""Writes the seed inputs of fuzz_solution_file (its compact form) into a folder.

Each seed is an 8-byte header of knobs followed by patches
{u32 offset, u8 n, n bytes} over a built-in solution's record.
Usage: solution_file.py OUTDIR
"""
import hashlib
import os
import struct
import sys

ROI_COUNT, ROIS, ROI_SIZE = 892, 900, 44
MEAS_COUNT, MEAS_POINTS, MEAS_POINT = 5300, 5392, 5440
RESULT_COUNT, RESULT_POINTS = 6880, 6888
ENTITY_COUNT, ENTITIES, ENTITY_SIZE = 7116, 7120, 2416


def patch(offset, data):
    out = b""
    while data:  # a patch carries at most 255 bytes
        piece, data = data[:255], data[255:]
        out += struct.pack("<IB", offset, len(piece)) + piece
        offset += len(piece)
    return out


def wrap(v):
    return (v + 2**31) % 2**32 - 2**31


def roi(l, t, r, b, kind, rel):
    return struct.pack("<7i4f", l, t, r, b, wrap(r - l), wrap(b - t), kind, *rel)


def entity(kind, points):
    body = struct.pack("<4I", kind, 0, len(points), 0)
    return body + b"".join(struct.pack("<3d", x, y, 0.0) for x, y in points)


def meas(x, y, depth):
    return struct.pack("<3d", x, y, depth) + bytes(24)


def header(slot, w=56, h=40, mode=0, flags=0, dec=3, ang=2, scale=0):
    return bytes([slot, w, h, mode, flags, dec, ang, scale])


def seeds():
    for slot in range(6):
        yield header(slot)
    rois = [roi(4, 4, 20, 20, 1, (0.1, 0.1, 0.3, 0.4)),
            roi(30, 2, 70, 50, 2, (0.5, 0.05, 1.2, 1.3)),
            roi(-5, 10, 2147483647, 12, 3, (float("nan"), 0.2, 1e30, 0.3))]
    yield header(3) + patch(ROI_COUNT, struct.pack("<I", 3)) + patch(ROIS, b"".join(rois))
    yield header(3, 200, 150, mode=0x08) + patch(ROI_COUNT, struct.pack("<I", 1)) + patch(ROIS, rois[1])
    ents = [entity(3, [(20, 20), (8, 0)]),
            entity(4, [(2, 3), (50, 30)]),
            entity(5, [(1, 1), (10, 30), (40, 5), (55, 39), (-3, 1e9)]),
            entity(4, [(float("nan"), 1), (float("inf"), 2)])]
    body = patch(ENTITY_COUNT, struct.pack("<I", len(ents)))
    for i, e in enumerate(ents):
        body += patch(ENTITIES + i * ENTITY_SIZE, e)
    yield header(5, mode=4, scale=1) + body
    sets = patch(MEAS_COUNT, struct.pack("<I", 2)) + patch(MEAS_POINTS, struct.pack("<2I", 2, 3))
    sets += patch(MEAS_POINT, meas(5, 5, 24) + meas(40, 30, 24))
    sets += patch(MEAS_POINT + 144, meas(10, 10, 24) + meas(30, 10, 24) + meas(30, 35, 0))
    yield header(2, mode=1, flags=2, dec=12) + sets
    yield header(2, 8, 8, mode=2, flags=5, dec=9, ang=11) + sets
    yield (header(0) + patch(RESULT_COUNT, struct.pack("<I", 2))
           + patch(RESULT_POINTS, struct.pack("<2d", 12.5, 9.0) + bytes(32) + struct.pack("<2d", 1e300, -4)))
    yield b"\x80" + bytes(64)  # the whole file, far too short


def main():
    out = sys.argv[1]
    os.makedirs(out, exist_ok=True)
    for s in seeds():
        with open(os.path.join(out, hashlib.sha1(s).hexdigest()), "wb") as f:
            f.write(s)


if __name__ == "__main__":
    main()
