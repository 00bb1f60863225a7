#!/usr/bin/env python3
"""Generates the default skin, the progress tiles and the program icon.

Usage: skingen.py <repo root>
Writes kit/skin/*.jpg and their double-size variants *@2x.jpg, drawn at twice the
resolution for screens of 192 DPI (through ImageMagick's `convert`), res/tile_*.bmp
and res/zarn.ico. Everything is drawn here from plain shapes, so the outputs are
ours and can be regenerated at will; the results are committed beside the sources.
"""
import os
import struct
import subprocess
import sys
import tempfile


def clamp(v):
    return max(0, min(255, int(v)))


class Image:
    def __init__(self, w, h, rgb=(0, 0, 0)):
        self.w, self.h = w, h
        self.px = [[rgb for _ in range(w)] for _ in range(h)]

    def put(self, x, y, rgb):
        if 0 <= x < self.w and 0 <= y < self.h:
            self.px[y][x] = tuple(clamp(c) for c in rgb)

    def fill(self, l, t, r, b, rgb):
        for y in range(max(0, t), min(self.h, b)):
            for x in range(max(0, l), min(self.w, r)):
                self.px[y][x] = rgb

    def vgradient(self, l, t, r, b, top, bottom):
        n = max(1, b - t - 1)
        for y in range(t, b):
            k = (y - t) / n
            c = tuple(top[i] + (bottom[i] - top[i]) * k for i in range(3))
            for x in range(l, r):
                self.put(x, y, c)

    def line(self, x0, y0, x1, y1, rgb, thick=1):
        steps = max(abs(x1 - x0), abs(y1 - y0), 1)
        for s in range(steps + 1):
            x = x0 + (x1 - x0) * s / steps
            y = y0 + (y1 - y0) * s / steps
            for dx in range(thick):
                for dy in range(thick):
                    self.put(int(round(x)) + dx, int(round(y)) + dy, rgb)

    def ppm(self):
        head = b"P6 %d %d 255\n" % (self.w, self.h)
        return head + bytes(c for row in self.px for p in row for c in p)


def save_jpeg(img, path):
    with tempfile.NamedTemporaryFile(suffix=".ppm", delete=False) as f:
        f.write(img.ppm())
        tmp = f.name
    try:
        subprocess.run(["convert", tmp, "-strip", "-quality", "92", "-sampling-factor", "1x1", path], check=True)
    finally:
        os.unlink(tmp)


def bmp24(img):
    # Bottom-up rows, each padded to four bytes, BGR order.
    stride = (img.w * 3 + 3) & ~3
    data = bytearray()
    for y in range(img.h - 1, -1, -1):
        row = bytearray()
        for r, g, b in img.px[y]:
            row += bytes((b, g, r))
        row += b"\0" * (stride - len(row))
        data += row
    info = struct.pack("<IiiHHIIiiII", 40, img.w, img.h, 1, 24, 0, len(data), 2835, 2835, 0, 0)
    head = struct.pack("<2sIHHI", b"BM", 14 + len(info) + len(data), 0, 0, 14 + len(info))
    return head + info + bytes(data)


def ico(images):
    # 32-bit entries with an alpha channel and an all-clear AND mask.
    entries, blobs = [], []
    offset = 6 + 16 * len(images)
    for img, alpha in images:
        xor = bytearray()
        for y in range(img.h - 1, -1, -1):
            for x in range(img.w):
                r, g, b = img.px[y][x]
                xor += bytes((b, g, r, alpha[y][x]))
        mask_stride = ((img.w + 31) // 32) * 4
        andmask = b"\0" * (mask_stride * img.h)
        info = struct.pack("<IiiHHIIiiII", 40, img.w, img.h * 2, 1, 32, 0, len(xor) + len(andmask), 0, 0, 0, 0)
        blob = info + bytes(xor) + andmask
        entries.append(struct.pack("<BBBBHHII", img.w % 256, img.h % 256, 0, 0, 1, 32, len(blob), offset))
        blobs.append(blob)
        offset += len(blob)
    return struct.pack("<HHH", 0, 1, len(images)) + b"".join(entries) + b"".join(blobs)


# Palette: dark slate with the band's blue as the accent.
BG_TOP = (0x2A, 0x2E, 0x35)
BG_BOTTOM = (0x1A, 0x1C, 0x21)
ACCENT = (0x28, 0xB4, 0xEB)
GLYPH = (0xB8, 0xBE, 0xC8)
GLYPH_HOT = (0xFF, 0xFF, 0xFF)


# Each picture is drawn at a scale k: 1 for the images, 2 for their @2x variants,
# every coordinate and thickness multiplied, so that a variant is the same picture
# with twice the detail rather than an enlargement.
def background(k=1):
    w, h = 600 * k, 340 * k
    img = Image(w, h)
    img.vgradient(0, 0, w, h, BG_TOP, BG_BOTTOM)
    img.fill(0, 0, w, 40 * k, (0x22, 0x25, 0x2B))      # drag strip
    img.fill(0, 40 * k, w, 41 * k, (0x3A, 0x3F, 0x48))
    img.fill(0, h - 2 * k, w, h, ACCENT)                # accent foot line
    # a quiet emblem at the left: three nested arcs of the accent colour
    cx, cy = 70 * k, 200 * k
    for rad, c in ((40, (0x22, 0x5E, 0x7A)), (28, (0x25, 0x83, 0xAE)), (16, ACCENT)):
        for a in range(0, 3600 * k):
            import math
            t = math.radians(a / (10 * k))
            if -0.9 < math.cos(t) < 0.999 or math.sin(t) > 0:
                for d in range(3 * k):
                    img.put(int(cx + (rad * k + d) * math.cos(t)), int(cy + (rad * k + d) * math.sin(t)), c)
    # title mark at the left of the strip
    img.fill(14 * k, 12 * k, 32 * k, 30 * k, ACCENT)
    img.fill(19 * k, 17 * k, 27 * k, 25 * k, (0x22, 0x25, 0x2B))
    return img


def glyph(kind, hot, k=1):
    img = Image(23 * k, 23 * k, (0x3C, 0x42, 0x4C) if hot else (0x22, 0x25, 0x2B))
    c = GLYPH_HOT if hot else GLYPH
    if kind == "close":
        img.line(7 * k, 7 * k, 15 * k, 15 * k, c, 2 * k)
        img.line(15 * k, 7 * k, 7 * k, 15 * k, c, 2 * k)
    else:
        img.fill(7 * k, 14 * k, 16 * k, 16 * k, c)
    return img


def cancel_face(look, k=1):
    w, h = 96 * k, 32 * k
    top, bottom, edge = {
        "N": ((0x3A, 0x40, 0x4A), (0x2C, 0x31, 0x39), (0x50, 0x58, 0x64)),
        "H": ((0x2F, 0xB8, 0xEE), (0x1E, 0x92, 0xC8), (0x7A, 0xD6, 0xF8)),
        "D": ((0x30, 0x32, 0x36), (0x28, 0x2A, 0x2E), (0x3A, 0x3C, 0x40)),
    }[look]
    img = Image(w, h)
    img.vgradient(0, 0, w, h, top, bottom)
    img.fill(0, 0, w, k, edge)
    img.fill(0, h - k, w, h, edge)
    img.fill(0, 0, k, h, edge)
    img.fill(w - k, 0, w, h, edge)
    return img


def status_backdrop(k=1):
    w, h = 300 * k, 24 * k
    img = Image(w, h)
    img.vgradient(0, 0, w, h, (0x24, 0x27, 0x2D), (0x1E, 0x21, 0x26))
    return img


def check_mark(k=1):
    img = Image(45 * k, 14 * k, (0x3C, 0x3D, 0x41))
    img.line(16 * k, 7 * k, 20 * k, 11 * k, (0x4C, 0xD9, 0x64), 2 * k)
    img.line(20 * k, 11 * k, 28 * k, 2 * k, (0x4C, 0xD9, 0x64), 2 * k)
    return img


def tile(phase):
    # Rows from the bottom: a near-black foot, twelve blue rows brightening upward,
    # a pale top. Each blue row is split by a diagonal into a lighter and a darker
    # shade; the split moves by two columns per phase.
    img = Image(6, 14)
    img.px[13] = [(0x1C, 0x1D, 0x1E)] * 6
    img.px[0] = [(0x9B, 0xE0, 0xF4)] * 6
    lo, hi = (0x19, 0x9A, 0xDB), (0x28, 0xC4, 0xF5)
    for i in range(12):             # i = 0 is the lowest blue row
        k = i / 11
        base = tuple(lo[c] + (hi[c] - lo[c]) * k for c in range(3))
        y = 12 - i
        for x in range(6):
            light = ((x + i // 2 + 2 * phase) % 6) < 3
            f = 1.08 if light else 0.90
            img.put(x, y, tuple(base[c] * f for c in range(3)))
    return img


def icon(size):
    img = Image(size, size, (0, 0, 0))
    alpha = [[0] * size for _ in range(size)]
    r = size / 2 - 0.5
    for y in range(size):
        for x in range(size):
            dx, dy = x - r, y - r
            d = (dx * dx + dy * dy) ** 0.5
            if d <= r:
                alpha[y][x] = 255
                k = y / max(1, size - 1)
                img.put(x, y, tuple(ACCENT[c] * (1 - 0.35 * k) for c in range(3)))
    # a white down arrow
    s = size / 32
    img.fill(int(13 * s), int(6 * s), int(19 * s + 0.5), int(17 * s), (255, 255, 255))
    for i in range(int(8 * s) + 1):
        img.fill(int(8 * s) + i, int(17 * s) + i, int(24 * s) - i, int(17 * s) + i + 1, (255, 255, 255))
    img.fill(int(8 * s), int(25 * s), int(24 * s), int(27 * s), (255, 255, 255))
    return img, alpha


def main():
    root = sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(__file__), "..", "..")
    skin = os.path.join(root, "kit", "skin")
    res = os.path.join(root, "res")
    os.makedirs(skin, exist_ok=True)
    os.makedirs(res, exist_ok=True)
    for k, suffix in ((1, ""), (2, "@2x")):
        def save(img, name):
            save_jpeg(img, os.path.join(skin, name + suffix + ".jpg"))
        save(background(k), "MainWndBkg")
        save(status_backdrop(k), "StatusBkg")
        for kind, name in (("close", "Close"), ("min", "Min")):
            save(glyph(kind, False, k), name + "_N")
            save(glyph(kind, True, k), name + "_H")
        for look in "NHD":
            save(cancel_face(look, k), "Cancel_%s" % look)
        save(check_mark(k), "CheckD")
    for phase, name in enumerate(("tile_0.bmp", "tile_1.bmp", "tile_2.bmp")):
        with open(os.path.join(res, name), "wb") as f:
            f.write(bmp24(tile(phase)))
    with open(os.path.join(res, "zarn.ico"), "wb") as f:
        f.write(ico([icon(16), icon(32), icon(48)]))


if __name__ == "__main__":
    main()
