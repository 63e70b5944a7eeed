#!/usr/bin/env python3
"""Draws the updater's application icon and writes it as a Windows icon file.

The picture: a blue rounded square with a white arrow coming down into a tray (an update
arriving). Each size is drawn on its own from the shapes below, smoothed by sampling every
pixel 4 x 4 times, so small sizes stay sharp. Run it again after changing the shapes:
    app/windows/make_icon.py app/windows/rariduze.ico
"""
import struct
import sys
import zlib

SIZES = (16, 24, 32, 48, 64, 256)
SAMPLES = 4


def inside_rounded_square(x, y, left=0.06, right=0.94, radius=0.18):
    if not (left <= x <= right and left <= y <= right):
        return False
    cx = min(max(x, left + radius), right - radius)
    cy = min(max(y, left + radius), right - radius)
    return (x - cx) ** 2 + (y - cy) ** 2 <= radius ** 2


def inside_triangle(x, y, a, b, c):
    def side(p, q):
        return (q[0] - p[0]) * (y - p[1]) - (q[1] - p[1]) * (x - p[0])
    s1, s2, s3 = side(a, b), side(b, c), side(c, a)
    return (s1 >= 0 and s2 >= 0 and s3 >= 0) or (s1 <= 0 and s2 <= 0 and s3 <= 0)


def inside_white(x, y):
    if 0.42 <= x <= 0.58 and 0.16 <= y <= 0.50:  # the arrow's shaft
        return True
    if inside_triangle(x, y, (0.25, 0.46), (0.75, 0.46), (0.5, 0.70)):  # its head
        return True
    if 0.20 <= x <= 0.80 and 0.76 <= y <= 0.84:  # the tray's floor
        return True
    if 0.62 <= y <= 0.84 and (0.20 <= x <= 0.28 or 0.72 <= x <= 0.80):  # its sides
        return True
    return False


def colour_at(x, y):
    """Premultiplied-free RGBA of one sample point, or None outside the icon."""
    if not inside_rounded_square(x, y):
        return None
    if inside_white(x, y):
        return (255, 255, 255)
    # A gentle gradient from a light blue at the top to a deep one at the bottom.
    t = (y - 0.06) / 0.88
    return (int(48 - 28 * t), int(132 - 64 * t), int(220 - 76 * t))


def draw(size):
    rows = []
    for row in range(size):
        pixels = []
        for column in range(size):
            red = green = blue = covered = 0
            for sy in range(SAMPLES):
                for sx in range(SAMPLES):
                    x = (column + (sx + 0.5) / SAMPLES) / size
                    y = (row + (sy + 0.5) / SAMPLES) / size
                    colour = colour_at(x, y)
                    if colour is None:
                        continue
                    covered += 1
                    red += colour[0]
                    green += colour[1]
                    blue += colour[2]
            if covered == 0:
                pixels.append((0, 0, 0, 0))
            else:
                alpha = round(255 * covered / (SAMPLES * SAMPLES))
                pixels.append((red // covered, green // covered, blue // covered, alpha))
        rows.append(pixels)
    return rows


def bitmap_entry(rows):
    size = len(rows)
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0, 0, 0, 0, 0, 0)
    pixels = b"".join(bytes((b, g, r, a)) for row in reversed(rows) for (r, g, b, a) in row)
    mask_row = ((size + 31) // 32) * 4
    return header + pixels + bytes(mask_row * size)


def png_entry(rows):
    size = len(rows)
    raw = b"".join(b"\0" + bytes(v for pixel in row for v in pixel) for row in rows)

    def chunk(kind, data):
        return (struct.pack(">I", len(data)) + kind + data +
                struct.pack(">I", zlib.crc32(kind + data) & 0xFFFFFFFF))
    return (b"\x89PNG\r\n\x1a\n" +
            chunk(b"IHDR", struct.pack(">IIBBBBB", size, size, 8, 6, 0, 0, 0)) +
            chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b""))


def main():
    target = sys.argv[1] if len(sys.argv) > 1 else "rariduze.ico"
    images = []
    for size in SIZES:
        rows = draw(size)
        images.append((size, png_entry(rows) if size >= 256 else bitmap_entry(rows)))
    directory = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    entries = b""
    for size, data in images:
        entries += struct.pack("<BBBBHHII", size % 256, size % 256, 0, 0, 1, 32, len(data), offset)
        offset += len(data)
    with open(target, "wb") as out:
        out.write(directory + entries + b"".join(data for _, data in images))


if __name__ == "__main__":
    main()
