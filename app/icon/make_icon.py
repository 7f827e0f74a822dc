#!/usr/bin/python3
"""Draws the tool's icon and writes it as a .ico file.

Two images, as the shell expects of this tool: 32x32 with 16 colours and
48x48 with 256 colours. The picture is a CD-ROM with a green arrow turning
around it: the tool clears the way to install again from the disc.
Every pixel is computed from the shapes below, so the output is the same
bytes on every run.

Usage: make_icon.py OUTPUT.ico
"""
import math
import struct
import sys

TRANSPARENT = None

# The 16 colours of the classic VGA palette, which is what a 4-bit icon uses.
VGA16 = [
    (0, 0, 0), (128, 0, 0), (0, 128, 0), (128, 128, 0),
    (0, 0, 128), (128, 0, 128), (0, 128, 128), (192, 192, 192),
    (128, 128, 128), (255, 0, 0), (0, 255, 0), (255, 255, 0),
    (0, 0, 255), (255, 0, 255), (0, 255, 255), (255, 255, 255),
]


def picture(x, y):
    """The colour at (x, y), both in 0..1 from the top left, or TRANSPARENT."""
    # The green arrow: three quarters of a ring around the lower right,
    # ending in a head that points clockwise.
    ax, ay = x - 0.70, y - 0.70
    ar = math.hypot(ax, ay)
    angle = math.degrees(math.atan2(ay, ax)) % 360
    if 0.15 <= ar <= 0.25 and not 200 <= angle <= 290:
        return (0, 150, 0) if ar > 0.22 or ar < 0.18 else (40, 210, 40)
    hx, hy = x - 0.58, y - 0.50  # the head, a triangle at the arc's open end
    if 0 <= hy <= 0.16 and abs(hx + 0.04) <= 0.16 - hy:
        return (0, 150, 0)
    # The disc: a silver ring around a clear hub, with a rainbow sheen.
    dx, dy = x - 0.42, y - 0.42
    r = math.hypot(dx, dy)
    if r > 0.40 or r < 0.06:
        return TRANSPARENT
    if r > 0.385 or r < 0.075:
        return (96, 96, 96)
    if r < 0.14:
        return (230, 230, 230)
    sheen = 0.5 + 0.5 * math.cos(2 * math.atan2(dy, dx) - 0.6)
    base = 160 + int(80 * sheen)
    return (base, base - int(30 * (1 - sheen)), min(255, base + 20))


def palette_256():
    """A grey ramp, the VGA colours and a green ramp: enough for the picture."""
    colours = [(g, g, g) for g in range(0, 256, 2)]
    colours += VGA16
    colours += [(0, g, 0) for g in range(0, 256, 4)]
    colours += [(b, max(0, b - 30), min(255, b + 20)) for b in range(160, 241, 2)]
    colours += [(0, 0, 0)] * (256 - len(colours))
    return colours


def nearest(colour, palette):
    return min(range(len(palette)),
               key=lambda i: sum((a - b) ** 2 for a, b in zip(colour, palette[i])))


def icon_image(size, bits, palette):
    """One icon image: header, palette, colour rows and the transparency mask."""
    indices, mask = [], []
    for row in range(size - 1, -1, -1):  # bitmaps are stored bottom-up
        y = (row + 0.5) / size
        colours = [picture((col + 0.5) / size, y) for col in range(size)]
        indices.append([0 if c is TRANSPARENT else nearest(c, palette) for c in colours])
        mask.append([1 if c is TRANSPARENT else 0 for c in colours])

    def pack(rows, bits_per_pixel):
        out = bytearray()
        for values in rows:
            bits_string = ''.join(format(v, '0%db' % bits_per_pixel) for v in values)
            row = int(bits_string, 2).to_bytes(len(bits_string) // 8, 'big')
            out += row + b'\0' * (-len(row) % 4)
        return bytes(out)

    pixels, and_mask = pack(indices, bits), pack(mask, 1)
    header = struct.pack('<IiiHHIIiiII', 40, size, 2 * size, 1, bits, 0,
                         len(pixels) + len(and_mask), 0, 0, len(palette), 0)
    rgbquads = b''.join(struct.pack('BBBB', b, g, r, 0) for r, g, b in palette)
    return header + rgbquads + pixels + and_mask


def main(output):
    images = [(32, 4, VGA16), (48, 8, palette_256())]
    data = [icon_image(size, bits, pal) for size, bits, pal in images]
    out = struct.pack('<HHH', 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for (size, bits, pal), blob in zip(images, data):
        colour_count = len(pal) if len(pal) < 256 else 0
        out += struct.pack('<BBBBHHII', size, size, colour_count, 0, 1, bits, len(blob), offset)
        offset += len(blob)
    with open(output, 'wb') as f:
        f.write(out + b''.join(data))


if __name__ == '__main__':
    main(sys.argv[1])
