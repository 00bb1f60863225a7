"""What the installer window shows, read from its pixels: the progress band, the check
mark, the glyphs and the painted texts (matched against the same texts drawn by the
probe in the fonts a dialog may use)."""
import hashlib
import json
import os

from e2e_lib import Fail

DARK = (0x2B, 0x2C, 0x2D)
PCT_BACK = (0x3C, 0x3D, 0x41)
BAND_X, BAND_Y, BAND_W, BAND_H = 94, 140, 497, 15
BAR_X, BAR_MAX = 95, 445
PCT_X0, PCT_X1 = 541, 591
STATUS = (240, 164, 540, 188)
CLOSE = (571, 7, 594, 30)
MINIMISE = (542, 7, 565, 30)

# The window draws its texts in Arial of fixed cell sizes: the status text
# (height 16, width 6) and the percentage (height 16, width 8).
STATUS_FONT = ("Arial", 16, 6, 10)
PERCENT_FONT = ("Arial", 16, 8, 7)


def near(c, ref, tol):
    return all(abs(a - b) <= tol for a, b in zip(c, ref))


def is_blue(c):
    r, g, b = c
    return b >= 0xC0 and b - r >= 0x80 and g >= 0x80


def bar_width(pic, y=None):
    """Columns of bar colour from x=95 along the band's middle rows (the widest run)."""
    best = 0
    for yy in ([y] if y is not None else (BAND_Y + 4, BAND_Y + 7, BAND_Y + 10)):
        n = 0
        while BAR_X + n < PCT_X0 and is_blue(pic.px(BAR_X + n, yy)):
            n += 1
        best = max(best, n)
    return best


def band_fill_ok(pic, width):
    """The dark fill to the right of the bar and at x=94, percentage backdrop beyond."""
    y = BAND_Y + 1
    bad = []
    for x in [BAND_X] + list(range(BAR_X + width + 1, PCT_X0 - 1)):
        if not near(pic.px(x, y), DARK, 12):
            bad.append((x, pic.px(x, y)))
    for x in (PCT_X0 + 1, PCT_X1 - 2):
        if not near(pic.px(x, BAND_Y + 1), PCT_BACK, 12):
            bad.append((x, pic.px(x, BAND_Y + 1)))
    return bad


def bright_mask(pic, x0, y0, x1, y1, threshold=150):
    pts = set()
    for y in range(max(0, y0), min(pic.height, y1)):
        for x in range(max(0, x0), min(pic.width, x1)):
            r, g, b = pic.px(x, y)
            if (r + g + b) / 3 >= threshold:
                pts.add((x, y))
    return pts


def normalise(pts):
    if not pts:
        return frozenset(), (0, 0, 0, 0)
    xs = [p[0] for p in pts]
    ys = [p[1] for p in pts]
    bx, by = min(xs), min(ys)
    return frozenset((x - bx, y - by) for x, y in pts), (bx, by, max(xs) + 1, max(ys) + 1)


def distance(a, b):
    if not a and not b:
        return 0.0
    return 1.0 - len(a & b) / len(a | b)


class TextReader:
    """Tells which of some candidate texts a region shows. The probe draws each text in
    each font once; the drawings are kept in a cache file across cases."""

    def __init__(self, probe, cache_dir):
        self.probe = probe
        self.cache_path = os.path.join(cache_dir, "text-cache.json")
        try:
            self.cache = json.load(open(self.cache_path))
        except (OSError, ValueError):
            self.cache = {}

    def _drawings(self, texts, font):
        key = hashlib.sha1(json.dumps([texts, font]).encode()).hexdigest()
        if key not in self.cache:
            masks = []
            for t in self.probe.render(*font, texts):
                pts = {(x, y) for y, row in enumerate(t["rows"]) for x, v in enumerate(row) if int(v) >= 5}
                masks.append(sorted(normalise(pts)[0]))
            self.cache[key] = {"%s|%d|%d|%d" % font: masks}
            with open(self.cache_path + ".tmp", "w") as f:
                json.dump(self.cache, f)
            os.replace(self.cache_path + ".tmp", self.cache_path)
        return {font: [frozenset(map(tuple, m)) for m in masks] for font, masks in self.cache[key].items()}

    def read(self, pic, region, texts, font, threshold=150):
        """(best text, its distance 0..1, font) for the bright pixels of region; ("", 0)
        for an empty region."""
        seen, box = normalise(bright_mask(pic, *region, threshold=threshold))
        if not seen:
            return "", 0.0, None, box
        best = (None, 2.0, None)
        for font, masks in self._drawings(texts, font).items():
            for text, m in zip(texts, masks):
                d = distance(seen, m)
                if d < best[1]:
                    best = (text, d, font)
        return best[0], best[1], best[2], box


def check_mark_at(pic, mark):
    """Mean difference of CheckD.jpg at x=545 in the band, the best of the rows near it."""
    return min(pic.mean_diff(mark, 545, y) for y in range(BAND_Y - 1, BAND_Y + 2))


def glyph_diff(pic, rect, image):
    return pic.mean_diff(image, rect[0], rect[1])


def require_size(pic, w, h):
    if pic.width != w or pic.height != h:
        raise Fail("window image is %dx%d, not %dx%d" % (pic.width, pic.height, w, h))
