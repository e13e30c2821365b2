#!/usr/bin/env python3
"""Draws the emoticons of the chat room's picker and the combo-box arrow as PNG files.

Our own drawings, made from a few shapes with 4x4 supersampling; the PNGs are written with zlib only, so
nothing beyond Python itself is needed. Run from the repository root:  scripts/draw-dialog-images.py
"""
import math
import os
import struct
import zlib

SS = 4  # subsamples per pixel side


def circle(cx, cy, r):
    return lambda x, y: (x - cx) ** 2 + (y - cy) ** 2 <= r * r


def ellipse(cx, cy, rx, ry):
    return lambda x, y: ((x - cx) / rx) ** 2 + ((y - cy) / ry) ** 2 <= 1.0


def segment(x0, y0, x1, y1, width):
    dx, dy = x1 - x0, y1 - y0
    length2 = dx * dx + dy * dy

    def inside(x, y):
        t = 0.0 if length2 == 0 else max(0.0, min(1.0, ((x - x0) * dx + (y - y0) * dy) / length2))
        px, py = x0 + t * dx, y0 + t * dy
        return (x - px) ** 2 + (y - py) ** 2 <= (width / 2) ** 2

    return inside


def polyline(points, width):
    parts = [segment(*points[i], *points[i + 1], width) for i in range(len(points) - 1)]
    return lambda x, y: any(p(x, y) for p in parts)


def arc(cx, cy, r, start, end, width):
    """Stroke of the circle between two angles in degrees (0 = right, 90 = down, clockwise on screen)."""
    def inside(x, y):
        d = math.hypot(x - cx, y - cy)
        if abs(d - r) > width / 2:
            return False
        a = math.degrees(math.atan2(y - cy, x - cx)) % 360
        return (a - start) % 360 <= (end - start) % 360

    return inside


def polygon(points):
    def inside(x, y):
        result = False
        j = len(points) - 1
        for i in range(len(points)):
            xi, yi = points[i]
            xj, yj = points[j]
            if (yi > y) != (yj > y) and x < (xj - xi) * (y - yi) / (yj - yi) + xi:
                result = not result
            j = i
        return result

    return inside


def rounded_rect(x0, y0, x1, y1, r):
    def inside(x, y):
        if not (x0 <= x <= x1 and y0 <= y <= y1):
            return False
        cx = min(max(x, x0 + r), x1 - r)
        cy = min(max(y, y0 + r), y1 - r)
        return (x - cx) ** 2 + (y - cy) ** 2 <= r * r

    return inside


def half_disc_below(cx, cy, r):
    return lambda x, y: y >= cy and (x - cx) ** 2 + (y - cy) ** 2 <= r * r


def render(width, height, shapes):
    """shapes: list of (inside, (r, g, b, a)), later ones on top. Returns RGBA rows."""
    rows = []
    for py in range(height):
        row = bytearray()
        for px in range(width):
            acc = [0.0, 0.0, 0.0, 0.0]
            for sy in range(SS):
                for sx in range(SS):
                    x = px + (sx + 0.5) / SS
                    y = py + (sy + 0.5) / SS
                    for inside, colour in reversed(shapes):
                        if inside(x, y):
                            a = colour[3] / 255.0
                            acc[0] += colour[0] * a
                            acc[1] += colour[1] * a
                            acc[2] += colour[2] * a
                            acc[3] += a
                            break
            n = SS * SS
            alpha = acc[3] / n
            if alpha > 0:
                pixel = [round(acc[i] / acc[3]) for i in range(3)] + [round(alpha * 255)]
            else:
                pixel = [0, 0, 0, 0]
            row += bytes(pixel)
        rows.append(bytes(row))
    return rows


def write_png(path, width, height, rows):
    def chunk(kind, data):
        body = kind + data
        return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body) & 0xFFFFFFFF)

    raw = b"".join(b"\x00" + row for row in rows)
    png = b"\x89PNG\r\n\x1a\n"
    png += chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 6, 0, 0, 0))
    png += chunk(b"IDAT", zlib.compress(raw, 9))
    png += chunk(b"IEND", b"")
    with open(path, "wb") as f:
        f.write(png)


YELLOW = (255, 204, 51, 255)
RIM = (214, 150, 20, 255)
DARK = (74, 45, 20, 255)
MOUTH = (150, 40, 40, 255)
TONGUE = (235, 100, 100, 255)
WHITE = (255, 255, 255, 255)


def face_base():
    return [(circle(20, 20, 18.5), RIM), (circle(20, 20, 17), YELLOW)]


def flower():
    petals = []
    for k in range(5):
        angle = math.radians(-90 + k * 72)
        petals.append((circle(20 + 10 * math.cos(angle), 18 + 10 * math.sin(angle), 8), (240, 110, 160, 255)))
    return [
        (segment(20, 24, 20, 39, 3), (60, 150, 60, 255)),
        (ellipse(27, 33, 5, 2.5), (80, 170, 70, 255)),
    ] + petals + [(circle(20, 18, 6), (255, 200, 40, 255)), (circle(18, 16, 1.8), (255, 235, 150, 255))]


def haha():
    return face_base() + [
        (polyline([(9, 17), (13, 12), (17, 17)], 2.6), DARK),
        (polyline([(23, 17), (27, 12), (31, 17)], 2.6), DARK),
        (half_disc_below(20, 22, 11), MOUTH),
        (lambda x, y: half_disc_below(20, 22, 11)(x, y) and circle(20, 34, 6)(x, y), TONGUE),
        (lambda x, y: 22 <= y <= 24.5 and half_disc_below(20, 22, 11)(x, y), WHITE),
    ]


def heart():
    red = (230, 50, 70, 255)
    return [
        (circle(13, 15, 9), red),
        (circle(27, 15, 9), red),
        (polygon([(4.6, 18), (35.4, 18), (20, 35)]), red),
        (ellipse(12, 12, 3, 2), (255, 160, 170, 255)),
    ]


def sad():
    return face_base() + [
        (ellipse(14, 16, 2.2, 3), DARK),
        (ellipse(26, 16, 2.2, 3), DARK),
        (polyline([(9, 11), (16, 9)], 2), DARK),
        (polyline([(24, 9), (31, 11)], 2), DARK),
        (arc(20, 35, 9, 215, 325, 2.8), DARK),
        (circle(11, 25, 2.6), (80, 160, 235, 255)),
        (polygon([(8.7, 24), (13.3, 24), (11, 19)]), (80, 160, 235, 255)),
    ]


def sleep():
    z = (90, 120, 200, 255)
    return face_base() + [
        (arc(14, 15, 4, 20, 160, 2.4), DARK),
        (arc(26, 15, 4, 20, 160, 2.4), DARK),
        (ellipse(20, 28, 3, 2.2), MOUTH),
        (polyline([(28, 2), (34, 2), (28, 8), (34, 8)], 1.8), z),
        (polyline([(33, 10), (37, 10), (33, 14), (37, 14)], 1.5), z),
    ]


def thumb():
    skin = (255, 200, 60, 255)
    edge = (200, 140, 20, 255)
    sleeve = (60, 120, 210, 255)
    return [
        (rounded_rect(3, 18, 11, 37, 1.5), sleeve),
        (rounded_rect(11, 17, 33, 37, 4), edge),
        (rounded_rect(12.2, 18.2, 31.8, 35.8, 3), skin),
        (rounded_rect(13, 3, 21, 20, 4), edge),
        (rounded_rect(14.2, 4.2, 19.8, 20, 3), skin),
        (segment(18, 23, 31, 23, 1.2), edge),
        (segment(18, 28, 31, 28, 1.2), edge),
        (segment(18, 32.5, 31, 32.5, 1.2), edge),
    ]


def combo_down_arrow():
    return [(polyline([(1.5, 1.5), (6, 6), (10.5, 1.5)], 1.8), (122, 122, 122, 255))]


def main():
    root = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "resources", "image")
    faces = {
        "emoji_flower": flower,
        "emoji_haha": haha,
        "emoji_heart": heart,
        "emoji_sad": sad,
        "emoji_sleep": sleep,
        "emoji_thumb": thumb,
    }
    os.makedirs(os.path.join(root, "face"), exist_ok=True)
    for name, draw in faces.items():
        write_png(os.path.join(root, "face", name + ".png"), 40, 40, render(40, 40, draw()))
    os.makedirs(os.path.join(root, "dialog"), exist_ok=True)
    write_png(os.path.join(root, "dialog", "combo_down_arrow.png"), 12, 8, render(12, 8, combo_down_arrow()))


if __name__ == "__main__":
    main()
