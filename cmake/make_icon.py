#!/usr/bin/env python3
"""Draws Tessiva's icon (16x16 and 32x32, 32-bit with alpha) and writes it as .ico.

The picture: a rounded teal tile with a white arrow pointing down into a tray,
saving something from the browser to the desktop."""
import struct
import sys


def pixel(x, y, size):
    s = size / 32.0
    fx, fy = (x + 0.5) / s, (y + 0.5) / s  # coordinates on a 32x32 grid
    # Rounded tile, corner radius 6.
    r = 6.0
    cx = min(max(fx, r + 1), 31 - r)
    cy = min(max(fy, r + 1), 31 - r)
    dist = ((fx - cx) ** 2 + (fy - cy) ** 2) ** 0.5
    if dist > r:
        return (0, 0, 0, 0)
    alpha = 255 if dist < r - 1 else int(255 * (r - dist))
    top, bottom = (38, 166, 154), (0, 105, 112)
    t = fy / 32.0
    colour = tuple(int(a + (b - a) * t) for a, b in zip(top, bottom))
    white = (255, 255, 255)
    # Arrow shaft and head.
    if 14 <= fx <= 18 and 6 <= fy <= 16:
        colour = white
    if 16 <= fy <= 22 and abs(fx - 16) <= (22 - fy) * 1.2:
        colour = white
    # Tray.
    if 24 <= fy <= 26 and 7 <= fx <= 25:
        colour = white
    if 19 <= fy <= 26 and (7 <= fx <= 9 or 23 <= fx <= 25):
        colour = white
    return colour + (alpha,)


def image(size):
    rows = []
    for y in reversed(range(size)):  # bottom-up DIB
        row = b"".join(struct.pack("BBBB", p[2], p[1], p[0], p[3])
                       for p in (pixel(x, y, size) for x in range(size)))
        rows.append(row)
    mask_row = b"\0" * (((size + 31) // 32) * 4)
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0,
                         size * size * 4, 0, 0, 0, 0)
    return header + b"".join(rows) + mask_row * size


def main():
    sizes = [16, 32]
    images = [image(s) for s in sizes]
    out = struct.pack("<HHH", 0, 1, len(sizes))
    offset = 6 + 16 * len(sizes)
    for s, data in zip(sizes, images):
        out += struct.pack("<BBBBHHII", s, s, 0, 0, 1, 32, len(data), offset)
        offset += len(data)
    out += b"".join(images)
    with open(sys.argv[1], "wb") as f:
        f.write(out)


if __name__ == "__main__":
    main()
