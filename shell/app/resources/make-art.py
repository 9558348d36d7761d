#!/usr/bin/env python3
"""Draws Kestrum's icons and the Apply button glyph and writes them next to this script.

    python3 make-art.py

Our own art, drawn from code so that it can be changed and reproduced: the application icon
(128), the ten traffic-level icons (132 ... 141) and the Apply glyph (bitmap 142 at 100 %, 145
and 146 drawn at 150 and 200 %). Each icon holds a 16x16 and a 32x32 image, 32-bit with an
alpha channel and an AND mask.
"""
import math
import os
import struct

HERE = os.path.dirname(os.path.abspath(__file__))

def blank(size):
    return [[None] * size for _ in range(size)]


def fill_rect(image, x0, y0, x1, y1, colour):
    """Fills the cells x0 <= x < x1, y0 <= y < y1 (top-down coordinates)."""
    for y in range(max(y0, 0), min(y1, len(image))):
        for x in range(max(x0, 0), min(x1, len(image))):
            image[y][x] = colour


def frame_rect(image, x0, y0, x1, y1, colour):
    fill_rect(image, x0, y0, x1, y0 + 1, colour)
    fill_rect(image, x0, y1 - 1, x1, y1, colour)
    fill_rect(image, x0, y0, x0 + 1, y1, colour)
    fill_rect(image, x1 - 1, y0, x1, y1, colour)


def level_colour(segment):
    """Green at the bottom, through yellow, to red at the top of the nine segments."""
    ramp = [(40, 200, 60), (40, 200, 60), (90, 210, 50), (150, 215, 40), (210, 210, 30),
            (240, 180, 30), (245, 140, 30), (240, 90, 30), (225, 40, 35)]
    return ramp[segment]


def level_image(size, level):
    """A meter in a dark case, filled from the bottom in proportion to the level (0 ... 9),
    green at the bottom through yellow to red at the top. 32x32 shows nine segments; 16x16 is
    too small for gaps and shows a solid column."""
    image = blank(size)
    unit = size // 16
    fill_rect(image, 3 * unit, 0, 13 * unit, 16 * unit, (40, 44, 52))
    frame_rect(image, 3 * unit, 0, 13 * unit, 16 * unit, (120, 126, 140))
    inner_top = unit
    inner_bottom = 15 * unit
    span = inner_bottom - inner_top
    for segment in range(9):
        # Segment 0 is the lowest; each takes an equal share of the inner height.
        bottom = inner_bottom - segment * span // 9
        top = inner_bottom - (segment + 1) * span // 9
        lit = segment < level
        colour = level_colour(segment) if lit else (62, 66, 76)
        gap = 1 if size >= 32 else 0
        fill_rect(image, 5 * unit, top + gap, 11 * unit, bottom, colour)
    if level == 0:
        # Idle: a grey bar across the middle says "nothing flows".
        fill_rect(image, 4 * unit, 7 * unit, 12 * unit, 9 * unit, (170, 174, 184))
    return image


def application_image(size):
    """Two arrows, down (received, green) and up (sent, red), on a blue rounded tile."""
    image = blank(size)
    unit = size // 16
    tile = (30, 90, 170)
    fill_rect(image, unit, 0, 15 * unit, 16 * unit, tile)
    fill_rect(image, 0, unit, 16 * unit, 15 * unit, tile)
    green = (80, 235, 90)
    red = (255, 90, 80)
    # Down arrow on the left: shaft then head.
    fill_rect(image, 4 * unit, 2 * unit, 6 * unit, 10 * unit, green)
    for row in range(4):
        fill_rect(image, (2 + row) * unit, (10 + row) * unit, (8 - row) * unit, (11 + row) * unit,
                  green)
    # Up arrow on the right.
    fill_rect(image, 10 * unit, 6 * unit, 12 * unit, 14 * unit, red)
    for row in range(4):
        fill_rect(image, (8 + row) * unit, (5 - row) * unit, (14 - row) * unit, (6 - row) * unit,
                  red)
    return image


def icon_bitmap(image):
    """BITMAPINFOHEADER + 32-bit BGRA rows bottom-up + 1-bit AND mask rows bottom-up."""
    size = len(image)
    header = struct.pack('<IiiHHIIiiII', 40, size, size * 2, 1, 32, 0, 0, 0, 0, 0, 0)
    pixels = bytearray()
    mask = bytearray()
    mask_stride = ((size + 31) // 32) * 4
    for y in reversed(range(size)):
        row_mask = bytearray(mask_stride)
        for x in range(size):
            colour = image[y][x]
            if colour is None:
                pixels += bytes((0, 0, 0, 0))
                row_mask[x // 8] |= 0x80 >> (x % 8)
            else:
                red, green, blue = colour
                pixels += bytes((blue, green, red, 255))
        mask += row_mask
    return header + bytes(pixels) + bytes(mask)


def write_icon(path, images):
    bitmaps = [icon_bitmap(image) for image in images]
    data = struct.pack('<HHH', 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for image, bitmap in zip(images, bitmaps):
        size = len(image)
        data += struct.pack('<BBBBHHII', size, size, 0, 0, 1, 32, len(bitmap), offset)
        offset += len(bitmap)
    with open(path, 'wb') as out:
        out.write(data + b''.join(bitmaps))


def distance_to_segment(px, py, a, b):
    dx, dy = b[0] - a[0], b[1] - a[1]
    t = ((px - a[0]) * dx + (py - a[1]) * dy) / (dx * dx + dy * dy)
    t = max(0.0, min(1.0, t))
    return math.hypot(px - a[0] - t * dx, py - a[1] - t * dy)


def apply_glyph(percent):
    """A check mark in dark green on white, as 4-bit indexes into the palette below: 14x15 at
    100 %, drawn again at the larger scales rather than stretched. A pixel is ink when its centre
    lies within one unit (of the 100 % grid) of the mark's two strokes; no blending, so every
    scale stays crisp and its white stays exactly transparent."""
    width = (14 * percent + 50) // 100
    height = (15 * percent + 50) // 100
    scale = percent / 100.0
    left, bottom, right = (1.5, 7.0), (4.5, 11.0), (11.5, 3.0)
    rows = []
    for y in range(height):
        row = []
        for x in range(width):
            px, py = (x + 0.5) / scale, (y + 0.5) / scale
            near = min(distance_to_segment(px, py, left, bottom),
                       distance_to_segment(px, py, bottom, right))
            row.append(1 if near <= 1.0 else 0)
        rows.append(row)
    return rows


def write_bitmap16(path, indexes):
    """A 16-colour BMP: white (0), dark green (1), the rest of the palette black."""
    height = len(indexes)
    width = len(indexes[0])
    palette = [(255, 255, 255), (0, 110, 40)] + [(0, 0, 0)] * 14
    stride = ((width * 4 + 31) // 32) * 4
    pixels = bytearray()
    for row in reversed(indexes):
        packed = bytearray(stride)
        for x, index in enumerate(row):
            packed[x // 2] |= index << (4 if x % 2 == 0 else 0)
        pixels += packed
    colours = b''.join(bytes((b, g, r, 0)) for r, g, b in palette)
    info = struct.pack('<IiiHHIIiiII', 40, width, height, 1, 4, 0, len(pixels), 2835, 2835, 16,
                       0)
    offset = 14 + len(info) + len(colours)
    header = struct.pack('<2sIHHI', b'BM', offset + len(pixels), 0, 0, offset)
    with open(path, 'wb') as out:
        out.write(header + info + colours + bytes(pixels))


def main():
    write_icon(os.path.join(HERE, 'kestrum.ico'), [application_image(16), application_image(32)])
    # Kestrum.rc maps the levels to their icon resources.
    for level in range(10):
        write_icon(os.path.join(HERE, 'level%d.ico' % level),
                   [level_image(16, level), level_image(32, level)])
    # Kestrum.rc names the glyph of each scale; the window picks the one for its DPI.
    write_bitmap16(os.path.join(HERE, 'apply.bmp'), apply_glyph(100))
    for percent in (150, 200):
        write_bitmap16(os.path.join(HERE, 'apply%d.bmp' % percent), apply_glyph(percent))


if __name__ == '__main__':
    main()
