#!/usr/bin/env python3
"""Draws Kestrum's icons and the Apply button glyph and writes them next to this script.

    python3 make-art.py

Our own art, drawn from code so that it can be changed and reproduced: the application icon
(128), the ten traffic-level icons (132 ... 141) and the Apply glyph (bitmap 142 at 100 %, 145
and 146 drawn at 150 and 200 %). Each icon holds an image at each of the sizes below: the small
icon at 100, 125, 150, 175, 200, 225, 250, 300 and 400 % display scaling and the large one up to
200 %, so that the system does not shrink the next size up (which drops rows of the level
meter). 16 colours and an AND mask.
"""
import math
import os
import struct

HERE = os.path.dirname(os.path.abspath(__file__))

SIZES = (16, 20, 24, 28, 32, 36, 40, 48, 56, 64)


def blank(size):
    return [[None] * size for _ in range(size)]


def pixel(units, size):
    """A position on the 16-unit design grid, rounded to the nearest pixel edge at this size."""
    return int(units * size / 16 + 0.5)


def fill_rect(image, x0, y0, x1, y1, colour):
    """Fills the pixels x0 <= x < x1, y0 <= y < y1 (top-down coordinates)."""
    for y in range(max(y0, 0), min(y1, len(image))):
        for x in range(max(x0, 0), min(x1, len(image))):
            image[y][x] = colour


def fill_shape(image, inside, colour):
    """Fills every pixel whose centre, in design units, lies inside the shape: crisp edges at
    any size, without blending."""
    size = len(image)
    for y in range(size):
        for x in range(size):
            if inside((x + 0.5) * 16 / size, (y + 0.5) * 16 / size):
                image[y][x] = colour


def triangle(a, b, c):
    def side(p, q, x, y):
        return (q[0] - p[0]) * (y - p[1]) - (q[1] - p[1]) * (x - p[0])

    def inside(x, y):
        d = (side(a, b, x, y), side(b, c, x, y), side(c, a, x, y))
        return all(v >= 0 for v in d) or all(v <= 0 for v in d)
    return inside


def rectangle(x0, y0, x1, y1):
    return lambda x, y: x0 <= x < x1 and y0 <= y < y1


def level_colour(segment):
    """Green at the bottom, through yellow, to red at the top of the nine segments."""
    ramp = [(40, 200, 60), (40, 200, 60), (90, 210, 50), (150, 215, 40), (210, 210, 30),
            (240, 180, 30), (245, 140, 30), (240, 90, 30), (225, 40, 35)]
    return ramp[segment]


def level_image(size, level):
    """A meter in a dark case, filled from the bottom in proportion to the level (0 ... 9),
    green at the bottom through yellow to red at the top. The dark case stands out on a light
    taskbar, its light frame on a dark one. Where nine segments have room for gaps they get
    them; below that the lit part is a solid column."""
    image = blank(size)
    left, right = pixel(3, size), pixel(13, size)
    frame = max(1, size // 20)
    fill_rect(image, left, 0, right, size, (150, 156, 170))
    fill_rect(image, left + frame, frame, right - frame, size - frame, (40, 44, 52))
    padding = max(1, size // 16)
    inner_left, inner_right = left + frame + padding, right - frame - padding
    inner_top, inner_bottom = frame + padding, size - frame - padding
    span = inner_bottom - inner_top
    gap = 1 if span >= 24 else 0
    for segment in range(9):
        # Segment 0 is the lowest; each takes an equal share of the inner height.
        bottom = inner_bottom - segment * span // 9
        top = inner_bottom - (segment + 1) * span // 9
        colour = level_colour(segment) if segment < level else (66, 70, 82)
        fill_rect(image, inner_left, top + gap, inner_right, bottom, colour)
    if level == 0:
        # Idle: a grey bar across the middle says "nothing flows".
        fill_rect(image, pixel(4, size), pixel(7, size), pixel(12, size), pixel(9, size),
                  (185, 189, 200))
    return image


def application_image(size):
    """Two arrows, down (received, green) and up (sent, red), on a blue tile with cut corners."""
    image = blank(size)
    tile = (30, 90, 170)
    fill_shape(image, lambda x, y: 0 <= x < 16 and 0 <= y < 16 and
               min(x, 16 - x) + min(y, 16 - y) >= 1.5, tile)
    green = (80, 235, 90)
    red = (255, 90, 80)
    # Down arrow on the left: shaft and head.
    fill_shape(image, rectangle(4, 2, 6, 10), green)
    fill_shape(image, triangle((1.5, 9.5), (8.5, 9.5), (5, 14.5)), green)
    # Up arrow on the right.
    fill_shape(image, rectangle(10, 6, 12, 14), red)
    fill_shape(image, triangle((7.5, 6.5), (14.5, 6.5), (11, 1.5)), red)
    return image


def icon_bitmap(image):
    """BITMAPINFOHEADER, a 16-colour palette, 4-bit colour rows bottom-up and 1-bit AND mask rows
    bottom-up. The art uses few flat colours and no partial transparency, so a palette keeps the
    program small without changing a pixel. Returns the bitmap and its bits per pixel."""
    size = len(image)
    colours = sorted({colour for row in image for colour in row if colour is not None})
    assert len(colours) <= 15, 'more colours than a 16-colour palette holds'
    palette = [(0, 0, 0)] + colours  # index 0: the transparent pixels, black under the mask
    index = {colour: number for number, colour in enumerate(palette)}
    header = struct.pack('<IiiHHIIiiII', 40, size, size * 2, 1, 4, 0, 0, 0, 0, 16, 0)
    table = b''.join(bytes((b, g, r, 0)) for r, g, b in palette + [(0, 0, 0)] * (16 - len(palette)))
    pixels = bytearray()
    mask = bytearray()
    pixel_stride = ((size * 4 + 31) // 32) * 4
    mask_stride = ((size + 31) // 32) * 4
    for y in reversed(range(size)):
        row_pixels = bytearray(pixel_stride)
        row_mask = bytearray(mask_stride)
        for x in range(size):
            colour = image[y][x]
            if colour is None:
                row_mask[x // 8] |= 0x80 >> (x % 8)
            else:
                row_pixels[x // 2] |= index[colour] << (4 if x % 2 == 0 else 0)
        pixels += row_pixels
        mask += row_mask
    return header + table + bytes(pixels) + bytes(mask), 4


def write_icon(path, images):
    bitmaps = [icon_bitmap(image) for image in images]
    data = struct.pack('<HHH', 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for image, (bitmap, depth) in zip(images, bitmaps):
        size = len(image)
        data += struct.pack('<BBBBHHII', size, size, 16, 0, 1, depth, len(bitmap), offset)
        offset += len(bitmap)
    with open(path, 'wb') as out:
        out.write(data + b''.join(bitmap for bitmap, _ in bitmaps))


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
    write_icon(os.path.join(HERE, 'kestrum.ico'), [application_image(size) for size in SIZES])
    # Kestrum.rc maps the levels to their icon resources.
    for level in range(10):
        write_icon(os.path.join(HERE, 'level%d.ico' % level),
                   [level_image(size, level) for size in SIZES])
    # Kestrum.rc names the glyph of each scale; the window picks the one for its DPI.
    write_bitmap16(os.path.join(HERE, 'apply.bmp'), apply_glyph(100))
    for percent in (150, 200):
        write_bitmap16(os.path.join(HERE, 'apply%d.bmp' % percent), apply_glyph(percent))


if __name__ == '__main__':
    main()
