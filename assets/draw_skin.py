#!/usr/bin/python3
"""Draws every image of Tavori's player skin.

Run with Debian's interpreter (Pillow from python3-pil, Noto Sans CJK fonts):

    /usr/bin/python3 assets/draw_skin.py

The images are written to assets/skin/*.png and assets/i.gif.  The output
depends only on this file, Pillow and the installed fonts, so running it
again on the same system reproduces the files byte for byte.

Vector shapes are drawn into coverage masks at SS times the final size and
box-filtered down; straight edges sit on whole-pixel boundaries so that
strokes stay sharp after the reduction.
"""

import math
import os
import sys

from PIL import Image, ImageChops, ImageDraw, ImageFilter, ImageFont

HERE = os.path.dirname(os.path.abspath(__file__))
SKIN_DIR = os.path.join(HERE, "skin")
SS = 8  # supersampling factor for vector shapes

# ----------------------------------------------------------------------------
# Palette
# ----------------------------------------------------------------------------
BG = (0x07, 0x07, 0x07)          # page background
TEXT = (0x9C, 0x9C, 0x81)        # normal text and glyphs
TEXT_HI = (0xB4, 0xB4, 0x9A)     # top of glyph gradients
TEXT_LO = (0x8A, 0x8A, 0x71)     # bottom of glyph gradients
WHITE = (0xFF, 0xFF, 0xFF)       # selected / emphasised text
ACCENT = (0x80, 0xA8, 0xFF)      # every hover and selected state
ACCENT_HI = (0xA9, 0xC5, 0xFF)
ACCENT_LO = (0x67, 0x90, 0xF0)
BORDER = (0x2A, 0x29, 0x29)
BORDER_DK = (0x16, 0x16, 0x16)
FRAME_EDGE = (0x2B, 0x2B, 0x2B)  # outermost ring of the window
FRAME_SIDE = (0x10, 0x10, 0x10)  # visible sides of the window frame
RED = (0xC0, 0x39, 0x2B)         # close hover, failure mark
RED_HI = (0xD8, 0x5A, 0x48)

FONT_DIR = "/usr/share/fonts/opentype/noto"
FONT_FAMILY = "Noto Sans CJK SC"


# ----------------------------------------------------------------------------
# Fonts
# ----------------------------------------------------------------------------
_font_cache = {}


def cjk(size, bold=False):
    """The Simplified Chinese face of Noto Sans CJK at a pixel size."""
    key = (size, bold)
    if key in _font_cache:
        return _font_cache[key]
    path = os.path.join(FONT_DIR, "NotoSansCJK-%s.ttc" % ("Bold" if bold else "Regular"))
    if not os.path.exists(path):
        sys.exit("draw_skin: font file %s is missing (install fonts-noto-cjk)" % path)
    for index in range(32):
        try:
            font = ImageFont.truetype(path, size, index=index)
        except OSError:
            break
        if font.getname()[0] == FONT_FAMILY:
            _font_cache[key] = font
            return font
    sys.exit("draw_skin: %s has no '%s' face" % (path, FONT_FAMILY))


# ----------------------------------------------------------------------------
# Colour helpers
# ----------------------------------------------------------------------------
def mix(a, b, t):
    """Linear blend of two colours (t = 0 gives a, 1 gives b)."""
    return tuple(int(round(a[i] + (b[i] - a[i]) * t)) for i in range(len(a)))


def rgba(c, a=255):
    return tuple(c[:3]) + (a,)


# ----------------------------------------------------------------------------
# Coverage masks
# ----------------------------------------------------------------------------
class Mask:
    """A coverage mask of w x h pixels, drawn at SS x resolution.

    Coordinates are continuous pixel units: pixel (i, j) covers
    [i, i+1) x [j, j+1), so rect(2, 3, 5, 6) covers exactly the 3 x 3
    pixels 2..4 x 3..5.
    """

    def __init__(self, w, h):
        self.w, self.h = w, h
        self.big = Image.new("L", (w * SS, h * SS), 0)
        self.d = ImageDraw.Draw(self.big)

    @staticmethod
    def _s(v):
        return int(round(v * SS))

    def rect(self, x0, y0, x1, y1, fill=255):
        s = self._s
        if s(x1) > s(x0) and s(y1) > s(y0):
            self.d.rectangle([s(x0), s(y0), s(x1) - 1, s(y1) - 1], fill=fill)
        return self

    def rrect(self, x0, y0, x1, y1, r, fill=255):
        s = self._s
        rad = min(s(r), (s(x1) - s(x0)) // 2, (s(y1) - s(y0)) // 2)
        self.d.rounded_rectangle([s(x0), s(y0), s(x1) - 1, s(y1) - 1], radius=rad, fill=fill)
        return self

    def rrect_outline(self, x0, y0, x1, y1, r, width=1):
        self.rrect(x0, y0, x1, y1, r, 255)
        self.rrect(x0 + width, y0 + width, x1 - width, y1 - width, max(0, r - width), 0)
        return self

    def rect_outline(self, x0, y0, x1, y1, width=1):
        self.rect(x0, y0, x1, y1, 255)
        self.rect(x0 + width, y0 + width, x1 - width, y1 - width, 0)
        return self

    def ellipse(self, x0, y0, x1, y1, fill=255):
        s = self._s
        self.d.ellipse([s(x0), s(y0), s(x1) - 1, s(y1) - 1], fill=fill)
        return self

    def circle(self, cx, cy, r, fill=255):
        return self.ellipse(cx - r, cy - r, cx + r, cy + r, fill)

    def poly(self, pts, fill=255):
        self.d.polygon([(x * SS - 0.5, y * SS - 0.5) for x, y in pts], fill=fill)
        return self

    def line(self, p0, p1, width, fill=255, round_caps=False):
        """A stroke of the given width between two points (butt or round ends)."""
        (x0, y0), (x1, y1) = p0, p1
        dx, dy = x1 - x0, y1 - y0
        length = math.hypot(dx, dy)
        if length == 0:
            return self
        nx, ny = -dy / length * width / 2, dx / length * width / 2
        self.poly([(x0 + nx, y0 + ny), (x1 + nx, y1 + ny), (x1 - nx, y1 - ny), (x0 - nx, y0 - ny)], fill)
        if round_caps:
            self.circle(x0, y0, width / 2, fill)
            self.circle(x1, y1, width / 2, fill)
        return self

    def arc(self, cx, cy, r, a0, a1, width, fill=255, round_caps=False):
        """A stroked arc; angles in degrees, 0 = +x, growing clockwise (y down)."""
        steps = max(8, int(abs(a1 - a0) / 3))
        outer, inner = [], []
        for i in range(steps + 1):
            a = math.radians(a0 + (a1 - a0) * i / steps)
            outer.append((cx + (r + width / 2) * math.cos(a), cy + (r + width / 2) * math.sin(a)))
            inner.append((cx + (r - width / 2) * math.cos(a), cy + (r - width / 2) * math.sin(a)))
        self.poly(outer + inner[::-1], fill)
        if round_caps:
            for a in (a0, a1):
                a = math.radians(a)
                self.circle(cx + r * math.cos(a), cy + r * math.sin(a), width / 2, fill)
        return self

    def rounded_poly(self, pts, r, fill=255):
        """A convex polygon with its corners rounded by radius r."""
        n = len(pts)
        cx = sum(p[0] for p in pts) / n
        cy = sum(p[1] for p in pts) / n
        # Shrink every edge inward by r, then grow back with round joins.
        lines = []
        for i in range(n):
            (ax, ay), (bx, by) = pts[i], pts[(i + 1) % n]
            ex, ey = bx - ax, by - ay
            ln = math.hypot(ex, ey)
            nx, ny = -ey / ln, ex / ln
            if (cx - ax) * nx + (cy - ay) * ny < 0:
                nx, ny = -nx, -ny
            lines.append((ax + nx * r, ay + ny * r, ex, ey))
        inset = []
        for i in range(n):
            ax, ay, ex, ey = lines[i - 1]
            bx, by, fx, fy = lines[i]
            det = ex * fy - ey * fx
            t = ((bx - ax) * fy - (by - ay) * fx) / det
            inset.append((ax + ex * t, ay + ey * t))
        self.poly(inset, fill)
        for i in range(n):
            self.line(inset[i], inset[(i + 1) % n], 2 * r, fill)
            self.circle(inset[i][0], inset[i][1], r, fill)
        return self

    def image(self):
        return self.big.reduce(SS)


def art(w, h, x, y, rows, levels=None):
    """A mask from pixel art: '#' full, '+' 2/3, ':' 1/3 coverage, '.' empty."""
    lv = {"#": 255, "+": 170, ":": 85, ".": 0, " ": 0}
    if levels:
        lv.update(levels)
    m = Image.new("L", (w, h), 0)
    px = m.load()
    for j, row in enumerate(rows):
        for i, ch in enumerate(row):
            if 0 <= x + i < w and 0 <= y + j < h and lv[ch]:
                px[x + i, y + j] = lv[ch]
    return m


def union(*masks):
    out = masks[0]
    for m in masks[1:]:
        out = ImageChops.lighter(out, m)
    return out


def subtract(a, b):
    return ImageChops.subtract(a, b)


def scale_mask(m, alpha):
    """Multiplies a mask by alpha/255."""
    if alpha >= 255:
        return m
    return m.point(lambda v: (v * alpha + 127) // 255)


def outline_of(m):
    """The one-pixel rim of a pixel-aligned mask."""
    return subtract(m, m.filter(ImageFilter.MinFilter(3)))


def text_mask(w, h, x, baseline, text, font, tracking=0):
    """Text drawn with its origin at (x, baseline); tracking adds pixels between characters."""
    m = Image.new("L", (w, h), 0)
    d = ImageDraw.Draw(m)
    if tracking:
        for ch in text:
            d.text((x, baseline), ch, font=font, fill=255, anchor="ls")
            x += int(round(font.getlength(ch))) + tracking
    else:
        d.text((x, baseline), text, font=font, fill=255, anchor="ls")
    return m


def text_width(text, font, tracking=0):
    if tracking:
        return sum(int(round(font.getlength(ch))) for ch in text) + tracking * (len(text) - 1)
    return int(round(font.getlength(text)))


def cjk_baseline(font, center_y):
    """Baseline that centres CJK ink (measured on a full-height ideograph) on center_y."""
    _, top, _, bottom = font.getbbox("国", anchor="ls")
    return int(math.floor(center_y - (top + bottom) / 2.0 + 0.5))


# ----------------------------------------------------------------------------
# Painting
# ----------------------------------------------------------------------------
def canvas(w, h, color=None):
    return Image.new("RGBA", (w, h), rgba(color) if color else (0, 0, 0, 0))


def paint(img, mask, color, alpha=255):
    """Composites a solid colour through a coverage mask."""
    layer = Image.new("RGBA", img.size, rgba(color))
    layer.putalpha(scale_mask(mask, alpha))
    img.alpha_composite(layer)


def vgrad_layer(size, y0, y1, c0, c1):
    """An RGBA layer with a vertical gradient from c0 (row y0) to c1 (row y1)."""
    w, h = size
    c0, c1 = rgba(c0) if len(c0) == 3 else c0, rgba(c1) if len(c1) == 3 else c1
    layer = Image.new("RGBA", size)
    span = max(1e-6, y1 - y0)
    for y in range(h):
        t = min(1.0, max(0.0, (y + 0.5 - y0) / span))
        layer.paste(mix(c0, c1, t), (0, y, w, y + 1))
    return layer


def paint_vgrad(img, mask, y0, y1, c0, c1, alpha=255):
    layer = vgrad_layer(img.size, y0, y1, c0, c1)
    a = ImageChops.multiply(layer.getchannel("A"), scale_mask(mask, alpha))
    layer.putalpha(a)
    img.alpha_composite(layer)


def bbox_rows(mask):
    box = mask.getbbox()
    return (box[1], box[3]) if box else (0, mask.size[1])


def paint_glyph(img, mask, state):
    """Glyph colours shared by every button: khaki-grey normal, accent with a glow on hover."""
    y0, y1 = bbox_rows(mask)
    if state == "hover":
        glow = mask.filter(ImageFilter.GaussianBlur(2.0)).point(lambda v: min(255, v * 3 // 2))
        paint(img, glow, ACCENT, 120)
        paint_vgrad(img, mask, y0, y1, ACCENT_HI, ACCENT_LO)
    elif state == "selected":
        paint_vgrad(img, mask, y0, y1, ACCENT_HI, ACCENT_LO)
    elif state == "white":
        paint(img, mask, WHITE)
    else:
        paint_vgrad(img, mask, y0, y1, TEXT_HI, TEXT_LO)


def paste_into(dst, src, x, y):
    dst.alpha_composite(src, (x, y))


def save(img, name):
    path = os.path.join(SKIN_DIR, name + ".png")
    img.save(path, "PNG", optimize=False, compress_level=9)
    return path


# ----------------------------------------------------------------------------
# Application mark
# ----------------------------------------------------------------------------
def draw_mark(size, margin=0):
    """The Tavori mark: an accent play triangle on a dark rounded tile."""
    img = canvas(size, size)
    t0, t1 = margin, size - margin
    side = t1 - t0
    radius = max(2.0, side * 0.22)
    ring = max(1, int(round(side / 100.0)))

    tile = Mask(size, size).rrect(t0, t0, t1, t1, radius).image()
    inner = Mask(size, size).rrect(t0 + ring, t0 + ring, t1 - ring, t1 - ring, radius - ring).image()
    paint(img, tile, mix(ACCENT, BG, 0.55))
    paint_vgrad(img, inner, t0, t1, (0x20, 0x25, 0x30), (0x0B, 0x0C, 0x10))
    if side >= 32:
        # soft sheen on the upper half of the tile
        sheen = Mask(size, size).rrect(t0 + ring, t0 + ring, t1 - ring, t0 + side * 0.55, radius - ring).image()
        paint_vgrad(img, sheen, t0, t0 + side * 0.55, (255, 255, 255, 18), (255, 255, 255, 0))

    # Triangle: left edge on a pixel boundary, centroid slightly right of centre.
    h = side * (0.50 if side > 20 else 0.62)
    w = h * (0.88 if side > 20 else 0.85)
    cx = t0 + side / 2.0
    cy = t0 + side / 2.0
    left = cx - w / 3.0 + side * 0.02
    if side <= 20:
        left = float(int(round(left)))
        top = float(int(round(cy - h / 2.0)))
        h = float(int(round(h)))
        if (size - h) % 2:
            h += 1
        top = (size - h) / 2.0
    else:
        top = cy - h / 2.0
    pts = [(left, top), (left + w, top + h / 2.0), (left, top + h)]
    rad = side * 0.045 if side > 20 else 0.35
    tri = Mask(size, size).rounded_poly(pts, rad).image()
    if side >= 48:
        glow = tri.filter(ImageFilter.GaussianBlur(side / 18.0))
        paint(img, ImageChops.multiply(glow, inner), ACCENT, 150)
    paint_vgrad(img, tri, top, top + h, ACCENT_HI, ACCENT_LO)
    return img


def draw_icons():
    for size, margin in ((16, 0), (32, 1), (48, 2), (64, 3), (256, 12)):
        save(draw_mark(size, margin), "tavori%d" % size)


# ----------------------------------------------------------------------------
# Window frame (nine-slice)
# ----------------------------------------------------------------------------
def draw_frame():
    W, H = 106, 57
    img = canvas(W, H, BG)
    title_h = 28
    top = vgrad_layer((W, title_h), 2, title_h - 1, (0x1A, 0x1A, 0x1A), (0x0E, 0x0E, 0x0E))
    img.paste(top, (0, 0))
    img.paste(rgba((0x25, 0x25, 0x25)), (1, 1, W - 1, 2))          # top highlight
    img.paste(rgba(BORDER_DK), (1, title_h - 1, W - 1, title_h))    # title bar base line
    # visible frame sides below the title bar
    img.paste(rgba(FRAME_SIDE), (1, title_h, 3, H - 1))
    img.paste(rgba(FRAME_SIDE), (W - 2, title_h, W - 1, H - 1))
    img.paste(rgba(FRAME_SIDE), (1, H - 3, W - 1, H - 1))
    # outer ring
    img.paste(rgba(FRAME_EDGE), (0, 0, W, 1))
    img.paste(rgba(FRAME_EDGE), (0, H - 1, W, H))
    img.paste(rgba(FRAME_EDGE), (0, 0, 1, H))
    img.paste(rgba(FRAME_EDGE), (W - 1, 0, W, H))
    paste_into(img, draw_mark(14), 6, 7)
    save(img, "ppt0")


# ----------------------------------------------------------------------------
# Caption buttons
# ----------------------------------------------------------------------------
CAPTION_CELLS = [("mini", 0, 24), ("menu", 24, 24), ("min", 48, 24), ("max", 72, 24), ("close", 97, 33)]


def caption_glyph(kind, w, h):
    """Glyph mask for a caption cell of w x h (glyphs sit on an 8 x 8 box centred in the cell)."""
    cx = w // 2
    m = Mask(w, h)
    if kind == "mini":
        m.rect_outline(cx - 5, 6, cx + 5, 14)
        m.rect(cx - 1, 9, cx + 3, 12)
    elif kind == "menu":
        for y in (7, 10, 13):
            m.rect(cx - 4, y, cx + 4, y + 1)
    elif kind == "min":
        m.rect(cx - 4, 10, cx + 4, 11)
    elif kind == "max":
        m.rect_outline(cx - 4, 6, cx + 4, 14)
    elif kind == "restore":
        m.rect_outline(cx - 4, 8, cx + 2, 14)
        m.rect(cx - 2, 6, cx + 4, 7)      # back square: top
        m.rect(cx + 3, 6, cx + 4, 12)     # right
        m.rect(cx - 2, 6, cx - 1, 8)      # left stub above the front square
        m.rect(cx + 2, 11, cx + 4, 12)    # bottom stub right of the front square
    elif kind == "close":
        c = w / 2.0   # odd width: centre of the middle pixel column
        m.line((c - 4, 5.5), (c + 4, 13.5), 1.15)
        m.line((c + 4, 5.5), (c - 4, 13.5), 1.15)
        # Extend to the pixel corners so the stroke ends are square.
        m.line((c - 4.45, 5.05), (c - 4, 5.5), 1.15)
        m.line((c + 4.45, 5.05), (c + 4, 5.5), 1.15)
        m.line((c - 4.45, 13.95), (c - 4, 13.5), 1.15)
        m.line((c + 4.45, 13.95), (c + 4, 13.5), 1.15)
    return m.image()


def caption_face(kind, w, h, hover):
    img = canvas(w, h)
    glyph = caption_glyph(kind, w, h)
    if hover:
        back = Mask(w, h).rrect(1, 1, w - 1, h - 1, 3).image()
        if kind == "close":
            paint_vgrad(img, back, 1, h - 1, (0xCC, 0x45, 0x36), (0xB0, 0x33, 0x26))
            paint(img, glyph, WHITE)
            return img
        paint_vgrad(img, back, 1, h - 1, (255, 255, 255, 22), (255, 255, 255, 12))
        paint_vgrad(img, glyph, 5, 15, ACCENT_HI, ACCENT)
    else:
        paint_vgrad(img, glyph, 5, 15, TEXT_HI, TEXT)
    return img


def draw_captions():
    for name, hover in (("ppt1", False), ("ppt2", True)):
        img = canvas(130, 20)
        for kind, x, w in CAPTION_CELLS:
            paste_into(img, caption_face(kind, w, 20, hover), x, 0)
        save(img, name)
    img = canvas(48, 19)
    paste_into(img, caption_face("restore", 24, 19, False), 0, 0)
    paste_into(img, caption_face("restore", 24, 19, True), 24, 0)
    save(img, "ppt4")


def draw_separator():
    img = canvas(5, 18)
    px = img.load()
    for y in range(18):
        edge = min(y, 17 - y)
        a = min(255, 60 + edge * 49) if edge < 4 else 255
        if edge == 0:
            a = 40
        px[2, y] = rgba(BORDER, a)
        px[3, y] = (0, 0, 0, a * 3 // 5)
    save(img, "ppt3")


def control_bar(w, h=31):
    img = canvas(w, h)
    img.paste(vgrad_layer((w, h), 2, h, (0x12, 0x12, 0x12), (0x0A, 0x0A, 0x0A)), (0, 0))
    img.paste(rgba(BORDER), (0, 0, w, 1))
    img.paste(rgba((0x17, 0x17, 0x17)), (0, 1, w, 2))
    return img


def draw_bar():
    save(control_bar(4), "ppt5")


# ----------------------------------------------------------------------------
# Pin on top
# ----------------------------------------------------------------------------
PIN_ROWS = [
    "..#######..",
    "...#####...",
    "...#####...",
    "...#####...",
    "..#######..",
    ".#########.",
    "###########",
    ".....#.....",
    ".....#.....",
    ".....#.....",
    ".....+.....",
]


def pin_face(pinned, hover):
    w, h = 21, 20
    img = canvas(w, h)
    solid = art(w, h, 5, 4, PIN_ROWS)
    needle = art(w, h, 5, 4, [r if i >= 7 else "..........." for i, r in enumerate(PIN_ROWS)])
    head = subtract(solid, needle)
    shape = solid if pinned else union(outline_of(head), needle)
    if hover:
        back = Mask(w, h).rrect(1, 1, w - 1, h - 1, 3).image()
        paint_vgrad(img, back, 1, h - 1, (255, 255, 255, 22), (255, 255, 255, 12))
    if pinned:
        paint_vgrad(img, shape, 4, 15, ACCENT_HI if hover else ACCENT, ACCENT_LO if not hover else ACCENT)
    elif hover:
        paint_vgrad(img, shape, 4, 15, ACCENT_HI, ACCENT)
    else:
        paint_vgrad(img, shape, 4, 15, TEXT_HI, TEXT)
    return img


def draw_pin():
    img = canvas(84, 20)
    for i, (pinned, hover) in enumerate(((False, False), (False, True), (True, False), (True, True))):
        paste_into(img, pin_face(pinned, hover), 21 * i, 0)
    save(img, "ppt6")


# ----------------------------------------------------------------------------
# Side-bar handle
# ----------------------------------------------------------------------------
def draw_handle():
    img = canvas(6, 40)
    right = ["#..", "##.", "###", "##.", "#.."]
    left = ["..#", ".##", "###", ".##", "..#"]
    for x, rows in ((0, right), (3, left)):
        strip = Image.new("L", (6, 40), 0)
        px = strip.load()
        for y in range(40):
            edge = min(y, 39 - y)
            a = 255 if edge >= 8 else edge * 32
            for i in range(3):
                px[x + i, y] = a
        paint(img, strip, (0x1C, 0x1C, 0x1C))
        paint(img, art(6, 40, x, 18, rows), TEXT)
    save(img, "ppt7")


# ----------------------------------------------------------------------------
# Small icons used beside labels (12 x 12 boxes)
# ----------------------------------------------------------------------------
def icon_mask(kind, w, h, x, y):
    """A 12 x 12 pictogram with its box's top-left corner at (x, y)."""
    m = Mask(w, h)
    if kind == "library":          # 2 x 2 tiles
        for dx in (1, 7):
            for dy in (1, 7):
                m.rrect(x + dx, y + dy, x + dx + 4, y + dy + 4, 0.8)
    elif kind == "list":           # bullets and lines
        for dy in (2, 6, 10):
            m.rect(x + 1, y + dy - 1, x + 3, y + dy + 1)
            m.rect(x + 5, y + dy - 1, x + 12, y + dy)
    elif kind == "tv":             # screen on a stand
        m.rrect_outline(x, y + 1, x + 12, y + 10, 1.5)
        m.rect(x + 3, y + 11, x + 9, y + 12)
        m.line((x + 3.5, y - 1), (x + 6, y + 1.5), 1.1)
        m.line((x + 8.5, y - 1), (x + 6, y + 1.5), 1.1)
    elif kind == "hot":            # flame: a teardrop with a bent tip and a hollow core
        def drop(cx, cy, a, b, m_, bend, n=96):
            pts = []
            for i in range(n):
                t = 2 * math.pi * i / n
                up = (1 + math.cos(t)) / 2           # 1 at the tip, 0 at the bottom
                pts.append((cx + a * math.sin(t) * math.sin(t / 2) ** m_ + bend * up ** 2,
                            cy - b * math.cos(t)))
            return pts
        m.poly(drop(x + 6, y + 6.3, 5.2, 5.7, 1.5, 1.2))
        m.poly(drop(x + 6.2, y + 9.0, 2.1, 3.0, 1.3, 0.4), 0)
    elif kind == "clock":
        m.circle(x + 6, y + 6, 6)
        m.circle(x + 6, y + 6, 4.9, 0)
        m.rect(x + 5.5, y + 2.5, x + 6.5, y + 6.5)
        m.rect(x + 5.5, y + 5.5, x + 9, y + 6.5)
    elif kind == "film":
        m.rrect_outline(x, y + 1, x + 12, y + 11, 1.2)
        m.rect(x + 3, y + 1, x + 4, y + 11)
        m.rect(x + 8, y + 1, x + 9, y + 11)
        for dy in (3, 5.5, 8):
            m.rect(x + 1, y + dy, x + 3, y + dy + 1, 255)
            m.rect(x + 9, y + dy, x + 11, y + dy + 1, 255)
    return m.image()


# ----------------------------------------------------------------------------
# Side-bar footer tabs
# ----------------------------------------------------------------------------
TABS = [("片库", "library"), ("列表", "list"), ("电视", "tv"), ("热播", "hot")]


def tab_face(label, icon, selected):
    w, h = 77, 25
    img = canvas(w, h)
    font = cjk(12)
    tw = text_width(label, font, tracking=1)
    total = 12 + 5 + tw
    x0 = (w - total) // 2
    base = cjk_baseline(font, 11.5)
    ico = icon_mask(icon, w, h, x0, 6)
    txt = text_mask(w, h, x0 + 17, base, label, font, tracking=1)
    if selected:
        fill = Mask(w, h).rect(1, 0, w - 1, h).image()
        paint_vgrad(img, fill, 0, h, (255, 255, 255, 0), (0x80, 0xA8, 0xFF, 26))
        bar = Mask(w, h).rrect(w // 2 - 16, h - 3, w // 2 + 16, h - 1, 1).image()
        glow = bar.filter(ImageFilter.GaussianBlur(1.5))
        paint(img, glow, ACCENT, 140)
        paint(img, bar, ACCENT)
        paint_glyph(img, ico, "selected")
        paint(img, txt, WHITE)
    else:
        paint(img, ico, TEXT, 220)
        paint(img, txt, TEXT)
    return img


def draw_tabs():
    img = canvas(308, 50)
    for i, (label, icon) in enumerate(TABS):
        x = (i % 2) * 154
        y = (i // 2) * 25
        paste_into(img, tab_face(label, icon, True), x, y)
        paste_into(img, tab_face(label, icon, False), x + 77, y)
    save(img, "ppt8")


# ----------------------------------------------------------------------------
# List section buttons
# ----------------------------------------------------------------------------
SECTIONS = [("剧集列表", "list"), ("观看历史", "clock"), ("本机影片", "film")]


def section_face(label, icon, selected):
    w, h = 90, 29
    img = canvas(w, h)
    panel = Mask(w, h).rrect(1, 1, w - 1, h - 1, 3).image()
    inner = Mask(w, h).rrect(2, 2, w - 2, h - 2, 2).image()
    if selected:
        paint(img, panel, mix(ACCENT, BG, 0.55))
        paint_vgrad(img, inner, 2, h - 2, (0x1C, 0x24, 0x36), (0x11, 0x15, 0x1F))
        hl = Mask(w, h).rect(3, 2, w - 3, 3).image()
        paint(img, hl, WHITE, 16)
    else:
        paint(img, panel, (0x20, 0x20, 0x1F))
        paint_vgrad(img, inner, 2, h - 2, (0x14, 0x14, 0x14), (0x0D, 0x0D, 0x0D))
        hl = Mask(w, h).rect(3, 2, w - 3, 3).image()
        paint(img, hl, WHITE, 8)
    font = cjk(12)
    tw = text_width(label, font)
    total = 12 + 7 + tw
    x0 = (w - total) // 2
    ico = icon_mask(icon, w, h, x0, 8)
    txt = text_mask(w, h, x0 + 19, cjk_baseline(font, 14.5), label, font)
    if selected:
        paint_glyph(img, ico, "selected")
        paint(img, txt, WHITE)
    else:
        paint(img, ico, TEXT, 220)
        paint(img, txt, TEXT)
    return img


def draw_sections():
    img = canvas(180, 87)
    for i, (label, icon) in enumerate(SECTIONS):
        paste_into(img, section_face(label, icon, False), 0, 29 * i)
        paste_into(img, section_face(label, icon, True), 90, 29 * i)
    save(img, "ppt9")


# ----------------------------------------------------------------------------
# Small framed buttons
# ----------------------------------------------------------------------------
def framed(w, h, r):
    """A dark raised button face with a thin border."""
    img = canvas(w, h)
    outer = Mask(w, h).rrect(0, 0, w, h, r).image()
    inner = Mask(w, h).rrect(1, 1, w - 1, h - 1, r - 1).image()
    paint(img, outer, BORDER)
    paint_vgrad(img, inner, 1, h - 1, (0x1C, 0x1C, 0x1C), (0x11, 0x11, 0x11))
    paint(img, Mask(w, h).rect(r, 1, w - r, 2).image(), WHITE, 14)
    return img


def left_arrow(w, h, x, cy):
    """A left arrow whose tip is the pixel (x, cy) and whose shaft is 10 px long."""
    m = Mask(w, h)
    m.rect(x + 0.6, cy, x + 10, cy + 1)
    m.line((x + 0.5, cy + 0.5), (x + 4.5, cy - 3.5), 1.15)
    m.line((x + 0.5, cy + 0.5), (x + 4.5, cy + 4.5), 1.15)
    return m.image()


def draw_back_button():
    w, h = 100, 25
    img = framed(w, h, 4)
    font = cjk(12)
    label = "返回播放"
    tw = text_width(label, font)
    total = 10 + 7 + tw
    x0 = (w - total) // 2
    paint_glyph(img, left_arrow(w, h, x0, 12), "selected")
    paint(img, text_mask(w, h, x0 + 17, cjk_baseline(font, 12.5), label, font), mix(TEXT, WHITE, 0.25))
    save(img, "ppt10")


def x_mark(w, h, cx, cy, half, width=1.15):
    """A diagonal cross through pixel centres; (cx, cy) is a pixel centre."""
    m = Mask(w, h)
    for sx in (-1, 1):
        m.line((cx - half, cy - sx * half), (cx + half, cy + sx * half), width)
    return m.image()


def draw_close_buttons():
    # Small close mark for the floating ad window: readable over any picture.
    img = canvas(11, 11)
    disc = Mask(11, 11).circle(5.5, 5.5, 5.5).image()
    rim = subtract(disc, Mask(11, 11).circle(5.5, 5.5, 4.6).image())
    paint(img, disc, (0, 0, 0), 190)
    paint(img, rim, WHITE, 40)
    paint(img, x_mark(11, 11, 5.5, 5.5, 2.0, 1.1), (0xE8, 0xE8, 0xE0))
    save(img, "close11")

    w, h = 51, 21
    img = framed(w, h, 3)
    font = cjk(12)
    tw = text_width("关闭", font)
    total = 7 + 5 + tw
    x0 = (w - total) // 2
    paint(img, x_mark(w, h, x0 + 3.5, 10.5, 3.0), TEXT)
    paint(img, text_mask(w, h, x0 + 12, cjk_baseline(font, 10.5), "关闭", font), mix(TEXT, WHITE, 0.25))
    save(img, "close51")


# ----------------------------------------------------------------------------
# Transport buttons
# ----------------------------------------------------------------------------
def glyph_play(w, h, cx, cy, size):
    hgt = size
    wid = size * 0.92
    left = float(int(round(cx - wid / 3.0 + 0.6)))
    top = cy - hgt / 2.0
    return Mask(w, h).rounded_poly([(left, top), (left + wid, cy), (left, top + hgt)], 0.7).image()


def glyph_pause(w, h, cx, cy, size):
    m = Mask(w, h)
    top, bot = cy - size / 2.0, cy + size / 2.0
    m.rrect(cx - 5, top, cx - 2, bot, 0.6)
    m.rrect(cx + 2, top, cx + 5, bot, 0.6)
    return m.image()


def small_glyph(kind):
    w = h = 25
    m = Mask(w, h)
    if kind == "open":             # eject: triangle over a bar
        m.rounded_poly([(12.5, 6.6), (18.4, 14), (6.6, 14)], 0.5)
        m.rrect(7, 16, 18, 18, 0.5)
    elif kind == "stop":
        m.rrect(8, 8, 17, 17, 1.3)
    elif kind in ("next", "prev"):
        m.rounded_poly([(6, 7), (16, 12.5), (6, 18)], 0.5)
        m.rrect(17, 7, 19, 18, 0.4)
    elif kind in ("sound", "muted"):
        m.rect(5, 10, 8, 15)
        m.rounded_poly([(7.6, 10), (12, 6.6), (12, 18.4), (7.6, 15)], 0.35)
        if kind == "sound":
            m.arc(12, 12.5, 3.6, -48, 48, 1.3, round_caps=True)
            m.arc(12, 12.5, 6.6, -50, 50, 1.3, round_caps=True)
        else:
            img = m.image()
            return union(img, x_mark(w, h, 17.5, 12.5, 3.0, 1.2))
    elif kind == "full":           # four corner brackets
        for sx, sy in ((0, 0), (1, 0), (0, 1), (1, 1)):
            x0 = 6 if sx == 0 else 15
            y0 = 6 if sy == 0 else 15
            hx = x0 if sx == 0 else 19 - 4
            vy = y0 if sy == 0 else 19 - 4
            m.rect(hx, 6 if sy == 0 else 17, hx + 4, 8 if sy == 0 else 19)
            m.rect(6 if sx == 0 else 17, vy, 8 if sx == 0 else 19, vy + 4)
    elif kind == "side":           # window with a side panel
        m.rrect_outline(5, 7, 20, 18, 1.5)
        m.rect(13, 7, 14, 18)
        for y in (10, 12, 14):
            m.rect(15.5, y, 18, y + 1)
    img = m.image()
    if kind == "prev":
        img = img.transpose(Image.FLIP_LEFT_RIGHT)
    return img


def small_button(kind, state):
    img = canvas(25, 25)
    paint_glyph(img, small_glyph(kind), state)
    return img


def big_button(kind, hover):
    w, h = 50, 30
    cx, cy, r = 25.0, 15.0, 13.0
    img = canvas(w, h)
    disc = Mask(w, h).circle(cx, cy, r).image()
    inner = Mask(w, h).circle(cx, cy, r - 1).image()
    if hover:
        glow = disc.filter(ImageFilter.GaussianBlur(2.2))
        paint(img, glow, ACCENT, 150)
        paint(img, disc, ACCENT)
        paint_vgrad(img, inner, cy - r, cy + r, (0x22, 0x2C, 0x42), (0x10, 0x14, 0x1E))
    else:
        paint(img, disc, (0x3A, 0x3A, 0x35))
        paint_vgrad(img, inner, cy - r, cy + r, (0x24, 0x24, 0x23), (0x10, 0x10, 0x10))
    sheen = subtract(inner, Mask(w, h).circle(cx, cy + 1.2, r - 1).image())
    paint(img, sheen, WHITE, 30)
    if kind == "play":
        g = glyph_play(w, h, cx, cy, 12)
    else:
        g = glyph_pause(w, h, cx, cy, 12)
    paint_glyph(img, g, "selected" if hover else "normal")
    return img


def draw_transport():
    small = {
        "but0": ("open", "normal"), "but13": ("open", "hover"),
        "but3": ("stop", "normal"), "but6": ("stop", "hover"),
        "but7": ("sound", "normal"), "but9": ("sound", "hover"),
        "but8": ("muted", "normal"), "but10": ("muted", "hover"),
        "but11": ("full", "normal"), "but12": ("full", "hover"),
        "but14": ("next", "normal"), "but15": ("next", "hover"),
        "but16": ("prev", "normal"), "but17": ("prev", "hover"),
        "but18": ("side", "normal"), "but19": ("side", "hover"),
    }
    for name, (kind, state) in small.items():
        save(small_button(kind, state), name)
    save(big_button("pause", False), "but1")
    save(big_button("play", False), "but2")
    save(big_button("pause", True), "but4")
    save(big_button("play", True), "but5")


# ----------------------------------------------------------------------------
# Seek bar and volume
# ----------------------------------------------------------------------------
def draw_seek_and_volume():
    def rows(w, h, colours):
        img = canvas(w, h)
        for y, c in colours.items():
            img.paste(c, (0, y, w, y + 1))
        return img

    save(rows(8, 8, {2: (0, 0, 0, 255), 3: rgba((0x15, 0x15, 0x15)), 4: rgba((0x17, 0x17, 0x17)),
                     5: rgba((0x19, 0x19, 0x19)), 6: (255, 255, 255, 12)}), "gunt")
    save(rows(8, 8, {3: rgba((0x42, 0x42, 0x3B)), 4: rgba((0x38, 0x38, 0x33)),
                     5: rgba((0x30, 0x30, 0x2C))}), "huan")

    w, h = 12, 8
    img = canvas(w, h)
    pill = Mask(w, h).rrect(0, 0, w, h, 4).image()
    core = Mask(w, h).rrect(1, 1, w - 1, h - 1, 3).image()
    paint(img, pill, (0x1A, 0x1A, 0x18), 200)
    paint_vgrad(img, core, 1, h - 1, (0xF2, 0xF2, 0xEA), (0xB6, 0xB6, 0xA8))
    paint(img, Mask(w, h).rect(5, 2, 7, 6).image(), ACCENT_LO)
    save(img, "gunt1")

    w, h = 60, 10
    img = canvas(w, h)
    groove = Image.new("L", (w, h), 0)
    groove.paste(255, (1, 4, w - 1, 6))
    groove.paste(120, (0, 4, 1, 6))
    groove.paste(120, (w - 1, 4, w, 6))
    top = Image.new("L", (w, h), 0)
    top.paste(255, (0, 4, w, 5))
    paint(img, groove, (0x1D, 0x1D, 0x1B))
    paint(img, ImageChops.multiply(groove, top), (0, 0, 0))
    lip = Image.new("L", (w, h), 0)
    lip.paste(14, (1, 6, w - 1, 7))
    paint(img, lip, WHITE)
    save(img, "yin")

    w, h = 8, 10
    img = canvas(w, h)
    shadow = Mask(w, h).circle(4, 5.6, 4).image()
    knob = Mask(w, h).circle(4, 5, 4).image()
    core = Mask(w, h).circle(4, 5, 3).image()
    paint(img, shadow, (0, 0, 0), 140)
    paint(img, knob, (0x70, 0x70, 0x64))
    paint_vgrad(img, core, 2, 8, (0xF2, 0xF2, 0xEA), (0xB6, 0xB6, 0xA8))
    save(img, "bo_v")


# ----------------------------------------------------------------------------
# Library status images
# ----------------------------------------------------------------------------
def draw_status():
    w, h = 160, 40
    font = cjk(12)

    # loading: a ring of dots fading around the circle
    label = "正在加载片库…"
    tw = text_width(label, font)
    total = 16 + 8 + tw
    x0 = (w - total) // 2
    img = canvas(w, h, BG)
    cx, cy = x0 + 8.0, 20.0
    for i in range(8):
        a = math.radians(-90 + i * 45)
        dot = Mask(w, h).circle(cx + 5.8 * math.cos(a), cy + 5.8 * math.sin(a), 1.7 - i * 0.06).image()
        paint(img, dot, ACCENT, 255 - i * 26)
    paint(img, text_mask(w, h, x0 + 24, cjk_baseline(font, 20), label, font), TEXT)
    save(img, "jia")

    # failure: a warning triangle and the retry hint
    head, link = "片库加载失败，", "点击重试"
    tw = text_width(head + link, font)
    total = 14 + 6 + tw
    x0 = (w - total) // 2
    img = canvas(w, h, BG)
    tri = Mask(w, h)
    pts = [(x0 + 7.0, 13.2), (x0 + 14.0, 26.0), (x0 + 0.0, 26.0)]
    tri.rounded_poly(pts, 1.2)
    mark = tri.image()
    bang = Mask(w, h).rrect(x0 + 6.3, 16.5, x0 + 7.7, 22.0, 0.7).circle(x0 + 7.0, 23.9, 0.85).image()
    paint_vgrad(img, mark, 13, 26, RED_HI, RED)
    paint(img, bang, BG)
    base = cjk_baseline(font, 20)
    tx = x0 + 20
    paint(img, text_mask(w, h, tx, base, head, font), TEXT)
    paint(img, text_mask(w, h, tx + text_width(head, font), base, link, font), ACCENT)
    save(img, "jia1")


# ----------------------------------------------------------------------------
# Paused-player fallback picture
# ----------------------------------------------------------------------------
def draw_paused_card():
    w, h = 240, 120
    img = canvas(w, h, BG)
    outer = Mask(w, h).rrect(6, 6, w - 6, h - 6, 10).image()
    inner = Mask(w, h).rrect(7, 7, w - 7, h - 7, 9).image()
    paint(img, outer, BORDER)
    paint_vgrad(img, inner, 7, h - 7, (0x17, 0x17, 0x17), (0x0C, 0x0C, 0x0C))
    paint(img, Mask(w, h).rect(16, 7, w - 16, 8).image(), WHITE, 14)

    # wordmark: mark + "Tavori"
    word_font = cjk(30, bold=True)
    word = "Tavori"
    l, t, r, b = word_font.getbbox(word, anchor="ls")
    mark_size = 30
    gap = 10
    total = mark_size + gap + (r - l)
    x0 = (w - total) // 2
    mark = draw_mark(mark_size, 0)
    halo = Image.new("L", (w, h), 0)
    halo.paste(mark.getchannel("A"), (x0, 28))
    paint(img, halo.filter(ImageFilter.GaussianBlur(5)), ACCENT, 40)
    paste_into(img, mark, x0, 28)
    base = 28 + 15 - (t + b) // 2
    wm = text_mask(w, h, x0 + mark_size + gap - l, base, word, word_font)
    paint_vgrad(img, wm, base + t, base, WHITE, (0xC8, 0xC8, 0xBE))

    # divider that fades out at both ends
    div = Image.new("L", (w, h), 0)
    px = div.load()
    for x in range(60, 180):
        d = abs(x + 0.5 - 120) / 60.0
        px[x, 72] = int(round(255 * (1 - d * d)))
    paint(img, div, BORDER)

    # the slogan under the divider (the cover shows whenever nothing plays)
    font = cjk(13)
    label = "高清影视 · 随心点播"
    tw = text_width(label, font, tracking=2)
    x0 = (w - tw) // 2
    cy = 89.5
    paint(img, text_mask(w, h, x0, cjk_baseline(font, cy), label, font, tracking=2), TEXT)
    save(img, "adp")


# ----------------------------------------------------------------------------
# Delete mark (GIF with one transparent index)
# ----------------------------------------------------------------------------
def draw_delete_gif():
    size = 11
    cover = x_mark(size, size, 5.5, 5.5, 3.0, 1.35)
    # GIF has no partial transparency: pre-blend the soft edge pixels against a
    # grey between the two row colours it sits on (#070707 and #212121).
    ground = (0x14, 0x14, 0x14)
    ink = (0xB8, 0xB8, 0xA0)
    levels = [mix(ground, ink, t) for t in (1.0, 0.62, 0.34)]
    palette = [0, 0, 0]
    for c in levels:
        palette += list(c)
    palette += [0, 0, 0] * (256 - 1 - len(levels))
    img = Image.new("P", (size, size), 0)
    img.putpalette(palette)
    src, dst = cover.load(), img.load()
    for y in range(size):
        for x in range(size):
            v = src[x, y]
            if v >= 200:
                dst[x, y] = 1
            elif v >= 120:
                dst[x, y] = 2
            elif v >= 55:
                dst[x, y] = 3
    img.save(os.path.join(HERE, "i.gif"), "GIF", transparency=0, optimize=False)


# ----------------------------------------------------------------------------
def main():
    os.makedirs(SKIN_DIR, exist_ok=True)
    draw_frame()
    draw_captions()
    draw_separator()
    draw_bar()
    draw_pin()
    draw_handle()
    draw_tabs()
    draw_sections()
    draw_back_button()
    draw_transport()
    draw_seek_and_volume()
    draw_status()
    draw_paused_card()
    draw_close_buttons()
    draw_icons()
    draw_delete_gif()


if __name__ == "__main__":
    main()
