#!/usr/bin/env python3
"""Draws the program icon (a handheld transceiver with an upgrade arrow) at
16, 32 and 48 pixels and writes ORVELLE.ico: 32-bit images with alpha and an
AND mask. Needs only the standard library; run it from any folder:

    python3 res/make_icon.py [output.ico]
"""
import math
import os
import struct
import sys

SS = 4  # supersampling per axis, for smooth edges


def rounded_rect(x0, y0, x1, y1, r):
    def inside(x, y):
        if x < x0 or x > x1 or y < y0 or y > y1:
            return False
        cx = min(max(x, x0 + r), x1 - r)
        cy = min(max(y, y0 + r), y1 - r)
        return (x - cx) ** 2 + (y - cy) ** 2 <= r * r
    return inside


def circle(cx, cy, r):
    return lambda x, y: (x - cx) ** 2 + (y - cy) ** 2 <= r * r


def polygon(points):
    def inside(x, y):
        result = False
        j = len(points) - 1
        for i, (xi, yi) in enumerate(points):
            xj, yj = points[j]
            if (yi > y) != (yj > y) and x < (xj - xi) * (y - yi) / (yj - yi) + xi:
                result = not result
            j = i
        return result
    return inside


def hexcolor(h):
    return tuple(int(h[i:i + 2], 16) for i in (1, 3, 5))


def scene(size):
    """Shapes in drawing order, in a 48-unit square; (shape, colour)."""
    detail = size >= 32
    body_dark, body, screen = hexcolor("#1d3b5c"), hexcolor("#2f6396"), hexcolor("#cfeaff")
    green_dark, green, white = hexcolor("#1c6b2c"), hexcolor("#34a853"), hexcolor("#ffffff")
    shapes = [
        (rounded_rect(28.5, 2, 33.5, 16, 2.2), hexcolor("#3b4149")),
        (rounded_rect(9, 11, 35, 46, 5), body_dark),
        (rounded_rect(10.8, 12.8, 33.2, 44.2, 3.6), body),
        (rounded_rect(14, 16, 30, 26, 1.8), screen),
    ]
    if detail:
        for y in (30.5, 34.5, 38.5):
            shapes.append((rounded_rect(14, y, 24, y + 1.8, 0.9), body_dark))
    shapes += [
        (circle(35, 35, 12.5), white),
        (circle(35, 35, 11), green_dark),
        (circle(35, 35, 9.6), green),
        (polygon([(35, 26.5), (27.8, 34.5), (32.2, 34.5), (32.2, 42.5),
                  (37.8, 42.5), (37.8, 34.5), (42.2, 34.5)]), white),
    ]
    return shapes


def render(size):
    shapes = scene(size)
    scale = 48.0 / size
    pixels = []
    for py in range(size):
        row = []
        for px in range(size):
            acc = [0.0, 0.0, 0.0, 0.0]  # premultiplied r, g, b and alpha
            for sy in range(SS):
                for sx in range(SS):
                    x = (px + (sx + 0.5) / SS) * scale
                    y = (py + (sy + 0.5) / SS) * scale
                    colour = None
                    for inside, c in shapes:
                        if inside(x, y):
                            colour = c
                    if colour:
                        acc[0] += colour[0]
                        acc[1] += colour[1]
                        acc[2] += colour[2]
                        acc[3] += 1
            n = SS * SS
            a = acc[3] / n
            if a > 0:
                rgb = [round(acc[i] / acc[3]) for i in range(3)]
            else:
                rgb = [0, 0, 0]
            row.append((rgb[0], rgb[1], rgb[2], round(a * 255)))
        pixels.append(row)
    return pixels


def dib(size, pixels):
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0, 0, 0, 0, 0, 0)
    colour = bytearray()
    for row in reversed(pixels):  # bottom-up
        for r, g, b, a in row:
            colour += bytes((b, g, r, a))
    mask_stride = ((size + 31) // 32) * 4
    mask = bytearray()
    for row in reversed(pixels):
        bits = bytearray(mask_stride)
        for x, (_, _, _, a) in enumerate(row):
            if a == 0:
                bits[x // 8] |= 0x80 >> (x % 8)
        mask += bits
    return header + bytes(colour) + bytes(mask)


def main():
    out = sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(__file__), "ORVELLE.ico")
    sizes = [16, 32, 48]
    images = [dib(s, render(s)) for s in sizes]
    data = struct.pack("<HHH", 0, 1, len(sizes))
    offset = 6 + 16 * len(sizes)
    for s, img in zip(sizes, images):
        data += struct.pack("<BBBBHHII", s, s, 0, 0, 1, 32, len(img), offset)
        offset += len(img)
    data += b"".join(images)
    with open(out, "wb") as f:
        f.write(data)


if __name__ == "__main__":
    main()
