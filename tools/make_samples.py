#!/usr/bin/python3
"""Draws the sample pictures of samples/: the ring calibration target and a
machined part, both 640 x 480 at 50 pixels per inch, each as a BMP the station
reads directly and as a JPEG.

    /usr/bin/python3 tools/make_samples.py [FOLDER]   (default: samples/)

The BMPs are written here byte by byte (24-bit, bottom-up rows, the 54-byte
headers); the JPEGs need Pillow (Debian: python3-pil). The pictures are drawn
without anti-aliasing, so every size is a whole number of pixels and every
measurement on them has one exact answer:

TARGET: a dark ring (grey 25) of outer radius 150 pixels around a bright centre
disc (grey 220) of radius 75, centred at (320, 240), on a grey 220 field. The
outer radius is 3 inches at the calibration distance, so Auto Calibration finds
about sqrt(N / pi) / 3 pixels per inch, N being the ring's and the centre's
pixels together (printed below; about 50).

PART: a dark plate (grey 40) on a light field (grey 220), 8 x 6 inches
(columns 120 to 519, rows 90 to 389), with a square notch 0.8 inch wide and deep
in its top edge (columns 300 to 339, rows 90 to 129) and two round holes of
2 and 1 inch diameter (radius 50 at (220, 240), radius 25 at (420, 240)).
"""

import math
import os
import struct
import sys

WIDTH, HEIGHT = 640, 480
SCALE = 50  # pixels per inch at the calibration distance


def blank(grey):
    return [bytearray([grey]) * WIDTH for _ in range(HEIGHT)]


def disc(rows, cx, cy, r, grey):
    """Every pixel whose centre lies within r of (cx, cy); returns the count."""
    count = 0
    for y in range(max(0, cy - r), min(HEIGHT, cy + r + 1)):
        for x in range(max(0, cx - r), min(WIDTH, cx + r + 1)):
            if (x - cx) ** 2 + (y - cy) ** 2 <= r * r:
                rows[y][x] = grey
                count += 1
    return count


def box(rows, left, top, right, bottom, grey):
    """Columns left..right and rows top..bottom, all inclusive."""
    for y in range(top, bottom + 1):
        for x in range(left, right + 1):
            rows[y][x] = grey


def write_bmp(path, rows):
    row_bytes = (WIDTH * 3 + 3) // 4 * 4
    block = bytearray()
    for row in reversed(rows):
        line = bytearray()
        for v in row:
            line += bytes((v, v, v))
        block += line + bytes(row_bytes - len(line))
    header = struct.pack("<2sIHHI", b"BM", 54 + len(block), 0, 0, 54)
    # Image size and resolution left 0, as the station writes its own BMPs, so
    # a saved copy of a dropped sample is the sample byte for byte.
    info = struct.pack("<IiiHHIIiiII", 40, WIDTH, HEIGHT, 1, 24, 0, 0, 0, 0, 0, 0)
    with open(path, "wb") as f:
        f.write(header + info + block)


def write_jpeg(path, rows):
    try:
        from PIL import Image
    except ImportError:
        print("Pillow is missing (apt-get install python3-pil): %s not written" % path)
        return
    image = Image.frombytes("L", (WIDTH, HEIGHT), b"".join(bytes(r) for r in rows))
    image.convert("RGB").save(path, quality=95)


def target():
    rows = blank(220)
    outer = disc(rows, 320, 240, 3 * SCALE, 25)
    centre = disc(rows, 320, 240, 3 * SCALE // 2, 220)
    return rows, outer, centre


def part():
    rows = blank(220)
    box(rows, 120, 90, 519, 389, 40)
    box(rows, 300, 90, 339, 129, 220)
    disc(rows, 220, 240, 50, 220)
    disc(rows, 420, 240, 25, 220)
    return rows


def main():
    folder = sys.argv[1] if len(sys.argv) > 1 else os.path.join(
        os.path.dirname(os.path.abspath(__file__)), "..", "samples")
    os.makedirs(folder, exist_ok=True)
    rows, outer, centre = target()
    write_bmp(os.path.join(folder, "TARGET.BMP"), rows)
    write_jpeg(os.path.join(folder, "TARGET.JPG"), rows)
    rows = part()
    write_bmp(os.path.join(folder, "PART.BMP"), rows)
    write_jpeg(os.path.join(folder, "PART.JPG"), rows)
    ring = outer - centre
    print("TARGET: ring %d + centre %d pixels (ratio %.4f): %.7g pixels per inch"
          % (ring, centre, ring / centre, math.sqrt(outer * 0.31830988148145367) / 3))


if __name__ == "__main__":
    main()
