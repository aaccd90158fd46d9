#!/usr/bin/env python3
"""Draws every icon and bitmap of Vantrel from code.

Pure Python 3, standard library only.  Shapes are described by signed
distance functions (negative inside); each pixel whose centre lies well inside
or outside a shape is decided by one evaluation, and pixels near an edge are
supersampled on an 8x8 grid.  Layouts are written on a 16-unit grid and scaled
to the target size, with the main edges rounded to whole pixels so that the
small sizes stay crisp.

Running the script rewrites every output file; the same inputs always give
the same bytes.
"""

import math
import os
import struct
import sys
import zlib

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))

APP_SIZES = (16, 20, 24, 32, 40, 48, 64, 256)
CATALOG_SIZES = (16, 20, 24, 32, 40, 48, 64)
SMALL_SIZES = (16, 20, 24, 32)


# --------------------------------------------------------------------------
# Colours: (r, g, b) floats in 0..1.

def rgb(hex_text):
    h = hex_text.lstrip('#')
    return tuple(int(h[i:i + 2], 16) / 255.0 for i in (0, 2, 4))


def mix(a, b, t):
    return tuple(a[i] + (b[i] - a[i]) * t for i in range(3))


WHITE = (1.0, 1.0, 1.0)
BLACK = (0.0, 0.0, 0.0)


def shade(c, t=0.42):
    """The outline colour of a fill: the same hue, darker."""
    return mix(c, BLACK, t)


def tint(c, t):
    return mix(c, WHITE, t)


BLUE = rgb('#2F7DE1')       # object classes, coclasses
RED = rgb('#D9483B')        # type libraries
PURPLE = rgb('#7F56D9')     # application IDs
GREEN = rgb('#2EA44F')      # interfaces
VIOLET = rgb('#C05621')     # dispinterfaces (burnt orange)
TEAL = rgb('#148F8F')       # catalog root
AMBER = rgb('#F2B630')      # folders
GOLD = rgb('#E09B16')       # enums
CYAN = rgb('#1B98B5')       # structs
OCEAN = rgb('#3D6FD1')      # unions
SLATE = rgb('#66768C')      # modules, magnifier
MAGENTA = rgb('#C2418E')    # typedefs
INK = rgb('#1E2A3A')        # text of the logo
CREAM = rgb('#FBF3DF')      # paper, pages
PAPER = rgb('#FFFFFF')
STATUS_GREEN = rgb('#2DA44E')
STATUS_AMBER = rgb('#F5B400')


# --------------------------------------------------------------------------
# Shapes.  d(x, y) is a signed distance (or a lower bound of it, which is all
# the rasteriser needs); bbox is (x0, y0, x1, y1) in pixels.

INF = float('inf')


class Shape:
    bbox = (0.0, 0.0, 0.0, 0.0)

    def d(self, x, y):
        raise NotImplementedError

    def __or__(self, other):
        return Union(self, other)

    def __and__(self, other):
        return Intersect(self, other)

    def __sub__(self, other):
        return Subtract(self, other)

    def grow(self, k):
        """The shape widened by k pixels (narrowed when k is negative)."""
        return Offset(self, k)


class Rect(Shape):
    """Axis-aligned rectangle with optional corner radius."""

    def __init__(self, x0, y0, x1, y1, r=0.0):
        self.cx = (x0 + x1) / 2.0
        self.cy = (y0 + y1) / 2.0
        self.hx = abs(x1 - x0) / 2.0
        self.hy = abs(y1 - y0) / 2.0
        self.r = max(0.0, min(r, self.hx, self.hy))
        self.bbox = (min(x0, x1), min(y0, y1), max(x0, x1), max(y0, y1))

    def d(self, x, y):
        r = self.r
        qx = abs(x - self.cx) - self.hx + r
        qy = abs(y - self.cy) - self.hy + r
        ox = qx if qx > 0 else 0.0
        oy = qy if qy > 0 else 0.0
        inner = qx if qx > qy else qy
        if inner > 0:
            inner = 0.0
        return math.sqrt(ox * ox + oy * oy) + inner - r

    def grow(self, k):
        x0, y0, x1, y1 = self.bbox
        return Rect(x0 - k, y0 - k, x1 + k, y1 + k, max(0.0, self.r + k))


class Circle(Shape):
    def __init__(self, cx, cy, r):
        self.cx, self.cy, self.r = cx, cy, r
        self.bbox = (cx - r, cy - r, cx + r, cy + r)

    def d(self, x, y):
        return math.hypot(x - self.cx, y - self.cy) - self.r

    def grow(self, k):
        return Circle(self.cx, self.cy, self.r + k)


class Line(Shape):
    """A segment of width w with round ends."""

    def __init__(self, x0, y0, x1, y1, w):
        self.a = (x0, y0)
        self.b = (x1, y1)
        self.h = w / 2.0
        self.bbox = (min(x0, x1) - self.h, min(y0, y1) - self.h,
                     max(x0, x1) + self.h, max(y0, y1) + self.h)
        self.ex = x1 - x0
        self.ey = y1 - y0
        self.ee = self.ex * self.ex + self.ey * self.ey

    def d(self, x, y):
        px = x - self.a[0]
        py = y - self.a[1]
        t = (px * self.ex + py * self.ey) / self.ee if self.ee else 0.0
        t = 0.0 if t < 0 else (1.0 if t > 1 else t)
        return math.hypot(px - self.ex * t, py - self.ey * t) - self.h


class Arc(Shape):
    """A circular stroke of width w with round ends, from angle a0 to a1
    (degrees, measured clockwise on screen from the +x axis, a0 < a1)."""

    def __init__(self, cx, cy, r, a0, a1, w):
        self.cx, self.cy, self.r, self.h = cx, cy, r, w / 2.0
        self.a0 = math.radians(a0)
        self.span = math.radians(a1 - a0)
        self.p0 = (cx + r * math.cos(self.a0), cy + r * math.sin(self.a0))
        e = self.a0 + self.span
        self.p1 = (cx + r * math.cos(e), cy + r * math.sin(e))
        m = r + self.h
        self.bbox = (cx - m, cy - m, cx + m, cy + m)

    def d(self, x, y):
        dx = x - self.cx
        dy = y - self.cy
        ang = (math.atan2(dy, dx) - self.a0) % (2 * math.pi)
        if ang <= self.span:
            return abs(math.hypot(dx, dy) - self.r) - self.h
        return min(math.hypot(x - self.p0[0], y - self.p0[1]),
                   math.hypot(x - self.p1[0], y - self.p1[1])) - self.h


class Polygon(Shape):
    def __init__(self, pts):
        self.pts = [(float(x), float(y)) for x, y in pts]
        xs = [p[0] for p in self.pts]
        ys = [p[1] for p in self.pts]
        self.bbox = (min(xs), min(ys), max(xs), max(ys))
        self.edges = []
        n = len(self.pts)
        for i in range(n):
            vx, vy = self.pts[i]
            wx, wy = self.pts[i - 1]
            ex, ey = wx - vx, wy - vy
            self.edges.append((vx, vy, wy, ex, ey, ex * ex + ey * ey))

    def d(self, x, y):
        best = INF
        inside = False
        for vx, vy, wy, ex, ey, ee in self.edges:
            px = x - vx
            py = y - vy
            t = (px * ex + py * ey) / ee if ee else 0.0
            t = 0.0 if t < 0 else (1.0 if t > 1 else t)
            bx = px - ex * t
            by = py - ey * t
            dd = bx * bx + by * by
            if dd < best:
                best = dd
            c1 = y >= vy
            c2 = y < wy
            c3 = ex * py > ey * px
            if (c1 and c2 and c3) or not (c1 or c2 or c3):
                inside = not inside
        dist = math.sqrt(best)
        return -dist if inside else dist


def inset_convex(pts, k):
    """Moves every edge of a convex polygon inwards by k (clockwise or
    anticlockwise winding)."""
    n = len(pts)
    area = sum(pts[i][0] * pts[(i + 1) % n][1] - pts[(i + 1) % n][0] * pts[i][1]
               for i in range(n))
    sign = 1.0 if area > 0 else -1.0
    lines = []
    for i in range(n):
        (x0, y0), (x1, y1) = pts[i], pts[(i + 1) % n]
        ex, ey = x1 - x0, y1 - y0
        ln = math.hypot(ex, ey)
        nx, ny = -ey / ln * sign, ex / ln * sign   # inward normal
        lines.append((x0 + nx * k, y0 + ny * k, ex, ey))
    out = []
    for i in range(n):
        ax, ay, adx, ady = lines[i - 1]
        bx, by, bdx, bdy = lines[i]
        den = adx * bdy - ady * bdx
        t = ((bx - ax) * bdy - (by - ay) * bdx) / den
        out.append((ax + adx * t, ay + ady * t))
    return out


def RoundPolygon(pts, r):
    """Convex polygon whose corners are rounded with radius r."""
    return Offset(Polygon(inset_convex(pts, r)), r)


class Offset(Shape):
    def __init__(self, shape, k):
        self.s, self.k = shape, k
        x0, y0, x1, y1 = shape.bbox
        self.bbox = (x0 - k, y0 - k, x1 + k, y1 + k) if k > 0 else shape.bbox

    def d(self, x, y):
        return self.s.d(x, y) - self.k


class Union(Shape):
    def __init__(self, *shapes):
        self.items = shapes
        self.bbox = (min(s.bbox[0] for s in shapes), min(s.bbox[1] for s in shapes),
                     max(s.bbox[2] for s in shapes), max(s.bbox[3] for s in shapes))

    def d(self, x, y):
        best = INF
        for s in self.items:
            if best > 0:
                # Skip parts whose bounding box is already farther than the
                # nearest part: they cannot change the result's sign and the
                # minimum stays a lower bound of the true distance.
                bx0, by0, bx1, by1 = s.bbox
                dx = bx0 - x if x < bx0 else (x - bx1 if x > bx1 else 0.0)
                dy = by0 - y if y < by0 else (y - by1 if y > by1 else 0.0)
                if dx * dx + dy * dy >= best * best:
                    continue
            v = s.d(x, y)
            if v < best:
                best = v
        return best


class Intersect(Shape):
    def __init__(self, a, b):
        self.a, self.b = a, b
        ax0, ay0, ax1, ay1 = a.bbox
        bx0, by0, bx1, by1 = b.bbox
        self.bbox = (max(ax0, bx0), max(ay0, by0), min(ax1, bx1), min(ay1, by1))

    def d(self, x, y):
        return max(self.a.d(x, y), self.b.d(x, y))


class Subtract(Shape):
    def __init__(self, a, b):
        self.a, self.b = a, b
        self.bbox = a.bbox

    def d(self, x, y):
        return max(self.a.d(x, y), -self.b.d(x, y))


# --------------------------------------------------------------------------
# Raster: premultiplied RGBA floats.

SS = 8
SUB = [((i + 0.5) / SS, (j + 0.5) / SS) for j in range(SS) for i in range(SS)]
EDGE = 0.7072   # half the diagonal of a pixel


class Canvas:
    def __init__(self, w, h):
        self.w, self.h = w, h
        self.p = [0.0] * (w * h * 4)

    def _cover(self, shape):
        """Yields (index, coverage) for the pixels the shape touches."""
        x0, y0, x1, y1 = shape.bbox
        ix0 = max(0, int(math.floor(x0)) - 1)
        iy0 = max(0, int(math.floor(y0)) - 1)
        ix1 = min(self.w, int(math.ceil(x1)) + 1)
        iy1 = min(self.h, int(math.ceil(y1)) + 1)
        sd = shape.d
        for py in range(iy0, iy1):
            for px in range(ix0, ix1):
                d = sd(px + 0.5, py + 0.5)
                if d >= EDGE:
                    continue
                if d <= -EDGE:
                    cov = 1.0
                else:
                    n = 0
                    for ox, oy in SUB:
                        if sd(px + ox, py + oy) < 0:
                            n += 1
                    if not n:
                        continue
                    cov = n / float(SS * SS)
                yield (py * self.w + px) * 4, cov

    def fill(self, shape, color, alpha=1.0):
        r, g, b = color
        p = self.p
        for i, cov in self._cover(shape):
            a = cov * alpha
            k = 1.0 - a
            p[i] = r * a + p[i] * k
            p[i + 1] = g * a + p[i + 1] * k
            p[i + 2] = b * a + p[i + 2] * k
            p[i + 3] = a + p[i + 3] * k

    def erase(self, shape):
        p = self.p
        for i, cov in self._cover(shape):
            k = 1.0 - cov
            p[i] *= k
            p[i + 1] *= k
            p[i + 2] *= k
            p[i + 3] *= k

    def draw(self, shape, color, ow, edge=None):
        """Flat fill with an outline of ow pixels in a darker shade."""
        self.fill(shape, edge if edge is not None else shade(color), 1.0)
        self.fill(shape.grow(-ow), color, 1.0)

    def mask(self, shape):
        """Keeps only what lies inside the shape."""
        keep = [0.0] * (self.w * self.h)
        for i, cov in self._cover(shape):
            keep[i // 4] = cov
        p = self.p
        for j, k in enumerate(keep):
            if k < 1.0:
                i = j * 4
                p[i] *= k
                p[i + 1] *= k
                p[i + 2] *= k
                p[i + 3] *= k

    def blit(self, other, ox, oy):
        """Composites another canvas over this one at an integer offset."""
        for y in range(other.h):
            ty = y + oy
            if not 0 <= ty < self.h:
                continue
            for x in range(other.w):
                tx = x + ox
                if not 0 <= tx < self.w:
                    continue
                j = (y * other.w + x) * 4
                a = other.p[j + 3]
                if a <= 0:
                    continue
                i = (ty * self.w + tx) * 4
                k = 1.0 - a
                for c in range(4):
                    self.p[i + c] = other.p[j + c] + self.p[i + c] * k

    def straight_rgba(self):
        """8-bit RGBA rows, top row first, colours not premultiplied."""
        out = bytearray(self.w * self.h * 4)
        p = self.p
        for i in range(0, len(p), 4):
            a = min(1.0, max(0.0, p[i + 3]))
            a8 = int(round(a * 255))
            if a8 == 0:
                continue
            for c in range(3):
                out[i + c] = min(255, max(0, int(round(p[i + c] / a * 255))))
            out[i + 3] = a8
        return bytes(out)


def premultiply(rgba):
    """Straight 8-bit RGBA to premultiplied 8-bit RGBA."""
    out = bytearray(len(rgba))
    for i in range(0, len(rgba), 4):
        a = rgba[i + 3]
        for c in range(3):
            out[i + c] = (rgba[i + c] * a + 127) // 255
        out[i + 3] = a
    return bytes(out)


# --------------------------------------------------------------------------
# File encoders.

def png_bytes(w, h, pixels, channels=4):
    """PNG, 8 bits per channel, RGBA (channels=4) or RGB (channels=3)."""
    stride = w * channels
    raw = b''.join(b'\x00' + pixels[y * stride:(y + 1) * stride] for y in range(h))

    def chunk(tag, data):
        return (struct.pack('>I', len(data)) + tag + data
                + struct.pack('>I', zlib.crc32(tag + data) & 0xFFFFFFFF))

    kind = 6 if channels == 4 else 2
    return (b'\x89PNG\r\n\x1a\n'
            + chunk(b'IHDR', struct.pack('>IIBBBBB', w, h, 8, kind, 0, 0, 0))
            + chunk(b'IDAT', zlib.compress(raw, 9))
            + chunk(b'IEND', b''))


def bgra_bottom_up(w, h, rgba):
    rows = []
    for y in range(h - 1, -1, -1):
        row = bytearray(rgba[y * w * 4:(y + 1) * w * 4])
        row[0::4], row[2::4] = row[2::4], row[0::4]
        rows.append(bytes(row))
    return b''.join(rows)


def ico_entry_dib(n, rgba):
    """Icon image as a 32-bpp DIB: header with doubled height, colour rows
    bottom-up (straight alpha), then a 1-bpp AND mask set where alpha is 0."""
    xor = bgra_bottom_up(n, n, rgba)
    mask_stride = ((n + 31) // 32) * 4
    mask = bytearray()
    for y in range(n - 1, -1, -1):
        row = bytearray(mask_stride)
        for x in range(n):
            if rgba[(y * n + x) * 4 + 3] == 0:
                row[x >> 3] |= 0x80 >> (x & 7)
        mask += row
    header = struct.pack('<IiiHHIIiiII', 40, n, 2 * n, 1, 32, 0,
                         len(xor) + len(mask), 0, 0, 0, 0)
    return header + xor + bytes(mask)


def ico_bytes(images):
    """images: list of (size, rgba); sizes of 256 are stored as PNG."""
    datas = []
    for n, rgba in images:
        datas.append(png_bytes(n, n, rgba) if n >= 256 else ico_entry_dib(n, rgba))
    out = struct.pack('<HHH', 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for (n, _), data in zip(images, datas):
        out += struct.pack('<BBBBHHII', n % 256, n % 256, 0, 0, 1, 32, len(data), offset)
        offset += len(data)
    return out + b''.join(datas)


def bmp_bytes(w, h, rgba):
    """32-bpp BI_RGB bitmap, bottom-up, alpha premultiplied into the colours."""
    body = bgra_bottom_up(w, h, premultiply(rgba))
    info = struct.pack('<IiiHHIIiiII', 40, w, h, 1, 32, 0, len(body), 2835, 2835, 0, 0)
    head = struct.pack('<2sIHHI', b'BM', 14 + len(info) + len(body), 0, 0, 14 + len(info))
    return head + info + body


# --------------------------------------------------------------------------
# Layout grid.

OUTLINE = {16: 1, 20: 1, 24: 1, 32: 1, 40: 2, 48: 2, 64: 2, 256: 6}


class Grid:
    """Maps 16-unit design coordinates onto an n-pixel square."""

    def __init__(self, n, units=16.0):
        self.n = n
        self.s = n / units
        self.ow = OUTLINE.get(n, max(1, int(round(n / 32.0))))

    def p(self, v):
        """A coordinate rounded to the pixel grid."""
        return float(int(math.floor(v * self.s + 0.5)))

    def f(self, v):
        """A coordinate kept exact (for curves and diagonals)."""
        return v * self.s

    def w(self, v, lo=1.0):
        """A stroke width: whole pixels up to 64 px, exact above."""
        x = v * self.s
        if self.n <= 64:
            return max(lo, float(int(math.floor(x + 0.5))))
        return max(lo, x)

    def rect(self, x0, y0, x1, y1, r=0.0):
        return Rect(self.p(x0), self.p(y0), self.p(x1), self.p(y1), r * self.s)

    def line(self, x0, y0, x1, y1, w):
        return Line(self.f(x0), self.f(y0), self.f(x1), self.f(y1), w)

    def poly(self, pts, r=0.0):
        pts = [(self.f(x), self.f(y)) for x, y in pts]
        return RoundPolygon(pts, r * self.s) if r > 0 else Polygon(pts)


def radius(g, r16):
    """Corner radius: at least one pixel, scaled from the 16-unit design."""
    return max(1.0, r16 * g.s) / g.s


# --------------------------------------------------------------------------
# Shared motifs.

def motif_cube(c, g, x0, y0, x1, y1, color):
    """Isometric cube filling the box; vertical edges on whole pixels."""
    ow = g.ow
    X0, X1 = g.p(x0), g.p(x1)
    Y0, Y1 = g.p(y0), g.p(y1)
    cx = (X0 + X1) / 2.0
    half = (X1 - X0) / 2.0
    q = half / 2.0          # 2:1 slope of the top edges
    hexa = [(cx, Y0), (X1, Y0 + q), (X1, Y1 - q), (cx, Y1), (X0, Y1 - q), (X0, Y0 + q)]
    mid = (cx, Y0 + 2 * q)
    outer = Polygon(hexa)
    c.fill(outer, shade(color, 0.5))
    inner = outer.grow(-ow)
    top = Polygon([hexa[0], hexa[1], mid, hexa[5]])
    left = Polygon([hexa[5], mid, hexa[3], hexa[4]])
    right = Polygon([mid, hexa[1], hexa[2], hexa[3]])
    c.fill(inner & left, color)
    c.fill(inner & right, shade(color, 0.22))
    c.fill(inner & top, tint(color, 0.45))
    if g.n >= 24:
        # A light crease along the front edges keeps the faces apart.
        lw = max(1.0, ow * 0.75)
        crease = Union(Line(mid[0], mid[1], hexa[3][0], hexa[3][1] - ow, lw),
                       Line(mid[0], mid[1], hexa[1][0] - ow, hexa[1][1], lw),
                       Line(mid[0], mid[1], hexa[5][0] + ow, hexa[5][1], lw))
        c.fill(inner & crease, tint(color, 0.7), 0.8)


def stick_width(g):
    """Thickness of a lollipop stick, outline included."""
    return max(3.0, float(int(g.f(2.5) + 0.5))) if g.n <= 64 else g.f(2.5)


def motif_lollipop(c, g, color, ring=False, x0=1.0, right=15.0, ball_r=4.5):
    """A ball on a stick, the provided-interface symbol.  The stick starts at
    x0 and the ball ends at `right`; returns the ball's centre and radius."""
    ow = g.ow
    n = g.n
    sw = stick_width(g)
    if n <= 64:
        # Ball diameter of the same parity as the stick, so that both are
        # centred on the same pixel line and every straight edge is sharp.
        d = int(round(2 * g.f(ball_r)))
        if (d - int(sw)) % 2:
            d -= 1
        top = float((n - int(sw)) // 2)
    else:
        d = 2 * g.f(ball_r)
        top = (n - sw) / 2.0
    br = d / 2.0
    bcy = top + sw / 2.0
    bcx = g.p(right) - br
    stick = Rect(g.p(x0), top, bcx, top + sw, min(sw / 2.0, ow))
    ball = Circle(bcx, bcy, br)
    edge = shade(color, 0.45)
    c.fill(stick | ball, edge)
    c.fill(stick.grow(-ow), tint(color, 0.2))
    c.fill(ball.grow(-ow), color)
    if ring:
        # Dispatch: a hollow ring with a dot, so it reads apart from a plain
        # interface even without colour.
        rw = max(1.0, float(int(g.f(1.0) + 0.5))) if n <= 64 else g.f(1.0)
        c.fill(Circle(bcx, bcy, br - ow - rw), PAPER)
        if n >= 20:
            c.fill(Circle(bcx, bcy, max(1.0, br * 0.3)), edge)
    elif n >= 24:
        # A soft highlight on the ball.
        c.fill(Circle(bcx - br * 0.32, bcy - br * 0.32, br * 0.28), tint(color, 0.55), 0.9)
    return bcx, bcy, br


# --------------------------------------------------------------------------
# Catalog images.

def draw_root(c, g):
    """A drawer holding colour-coded registration cards."""
    ow = g.ow
    n = g.n
    r = radius(g, 1.0)
    if n <= 16:
        cards = [(2, 1, 9, 9, BLUE), (7, 3, 14, 9, RED)]
    else:
        cards = [(2.5, 1, 8.5, 9, BLUE), (5.5, 2.5, 11.5, 9, PURPLE), (8.5, 4, 14, 9, GREEN)]
        if n >= 40:
            cards = [(2, 1, 7.5, 9, BLUE), (4.5, 2, 10, 9, RED), (7, 3, 12.5, 9, PURPLE),
                     (9.5, 4, 14, 9, GREEN)]
    for x0, y0, x1, y1, col in cards:
        card = g.rect(x0, y0, x1, y1, radius(g, 0.75))
        c.draw(card, PAPER, ow, edge=shade(col, 0.35))
        band = g.rect(x0, y0, x1, y0 + 2.0, radius(g, 0.75))
        c.fill(band & card.grow(-ow), col)
    body = g.rect(1, 7, 15, 15, r)
    c.draw(body, TEAL, ow)
    # Lip of the drawer opening.
    lip_h = g.w(1.5 if n >= 24 else 1.0)
    lip = Rect(g.p(1), g.p(7), g.p(15), g.p(7) + ow + lip_h)
    c.fill(lip & body.grow(-ow), shade(TEAL, 0.18))
    # Handle.
    hw = g.w(1.5 if n >= 32 else 1.0)
    hy = float(int(g.p(11.5) - hw / 2.0 + 0.5))
    if n <= 16:
        handle = Rect(g.p(5), 11, g.p(11), 12)
    else:
        handle = Rect(g.p(5), hy, g.p(11), hy + hw + (1 if n >= 40 else 0), radius(g, 0.8) * g.s)
    c.fill(handle, shade(TEAL, 0.5))
    if n >= 32:
        c.fill(Rect(handle.bbox[0] + ow, handle.bbox[1] - ow, handle.bbox[2] - ow,
                    handle.bbox[1]), tint(TEAL, 0.5))


def draw_class(c, g):
    motif_cube(c, g, 1, 1, 15, 15, BLUE)


def draw_typelib(c, g):
    """A closed book, pages showing at the foot, with a title label."""
    ow = g.ow
    n = g.n
    r = radius(g, 1.0)
    back = g.rect(2, 1, 14, 15, r)
    c.draw(back, shade(RED, 0.25), ow, edge=shade(RED, 0.55))
    pages_top = g.p(12.0) if n > 16 else 12.0
    pages = Rect(g.p(4), pages_top - 1, g.p(14) - ow, g.p(15) - ow)
    c.fill(pages, CREAM)
    if n >= 32:
        step = max(2.0, float(int(g.s)))
        y = pages_top + step
        while y < g.p(15) - ow - 1:
            c.fill(Rect(g.p(4), y, g.p(14) - ow, y + 1), rgb('#E4D6B6'))
            y += step
    front = g.rect(2, 1, 14, 12.5 if n > 16 else 12, r)
    c.draw(front, RED, ow, edge=shade(RED, 0.55))
    # Spine band.
    spine = Rect(g.p(2), g.p(1), g.p(4.5), front.bbox[3])
    c.fill(spine & front.grow(-ow), shade(RED, 0.2))
    # Title label.
    if n <= 16:
        label = Rect(7, 4, 12, 6)
        c.fill(label, CREAM)
    else:
        label = g.rect(6.5, 3.5, 12, 7, radius(g, 0.5))
        c.fill(label, CREAM)
        lw = g.w(0.5)
        c.fill(Rect(label.bbox[0] + g.p(1), label.bbox[1] + g.p(1.25),
                    label.bbox[2] - g.p(1), label.bbox[1] + g.p(1.25) + lw), shade(RED, 0.3))
        if n >= 32:
            c.fill(Rect(label.bbox[0] + g.p(1), label.bbox[1] + g.p(2.25),
                        label.bbox[2] - g.p(2), label.bbox[1] + g.p(2.25) + lw), shade(RED, 0.3))


def shield(g, cx, top, w, h):
    """Badge shield: flat top, straight sides, pointed foot."""
    x0, x1 = cx - w / 2.0, cx + w / 2.0
    pts = [(x0, top), (x1, top), (x1, top + h * 0.45)]
    steps = 6
    for i in range(1, steps + 1):
        t = i / float(steps)
        # Right flank curving to the point.
        a = t * math.pi / 2
        pts.append((cx + (w / 2.0) * math.cos(a), top + h * 0.45 + (h * 0.55) * math.sin(a)))
    for i in range(steps - 1, -1, -1):
        t = i / float(steps)
        a = t * math.pi / 2
        pts.append((cx - (w / 2.0) * math.cos(a), top + h * 0.45 + (h * 0.55) * math.sin(a)))
    return Polygon([(g.f(x), g.f(y)) for x, y in pts])


def draw_appid(c, g):
    """An application window carrying a shield badge."""
    ow = g.ow
    n = g.n
    r = radius(g, 1.0)
    win = g.rect(1, 2, 15, 14, r)
    c.draw(win, PURPLE, ow)
    bar = g.p(5) if n > 16 else 5.0
    client = Rect(g.p(1) + ow, bar, g.p(15) - ow, g.p(14) - ow)
    c.fill(client, PAPER)
    if n >= 24:
        # Title bar dots.
        for i in range(3):
            dcx = g.p(3) + i * g.f(1.5)
            c.fill(Circle(dcx, (g.p(2) + bar) / 2.0 + ow / 2.0, max(1.0, g.f(0.45))), tint(PURPLE, 0.6))
        lw = g.w(0.75)
        for yy, x1 in ((7.0, 9.0), (9.5, 7.5)):
            c.fill(Rect(g.p(3), g.p(yy), g.p(x1), g.p(yy) + lw), tint(PURPLE, 0.55))
    # Badge, cut free of the window by a transparent gap.
    if n <= 16:
        sh = shield(g, 12, 7.5, 6, 8)
    else:
        sh = shield(g, 11.75, 7.25, 6.5, 8.25)
    c.erase(sh.grow(max(1.0, ow)))
    c.draw(sh, GOLD, ow)
    if n >= 24:
        # A check on the badge.
        cw = max(1.0, g.f(0.9))
        mark = Union(g.line(10.3, 11.2, 11.4, 12.3, cw), g.line(11.4, 12.3, 13.3, 9.9, cw))
        c.fill(mark, PAPER)


def draw_interface(c, g):
    """Ball and socket: an interface provided on one side and used on the
    other."""
    ow = g.ow
    n = g.n
    sw = stick_width(g)
    if n <= 16:
        bcx, bcy, br = motif_lollipop(c, g, GREEN, right=10, ball_r=3.5)
    else:
        bcx, bcy, br = motif_lollipop(c, g, GREEN, right=10.25, ball_r=4.0)
    gap = max(1.0, float(int(g.f(0.8) + 0.5))) if n <= 64 else g.f(0.8)
    sr = br + gap + sw / 2.0
    arc = Arc(bcx, bcy, sr, -56, 56, sw)
    top = bcy - sw / 2.0
    stem = Rect(bcx + sr, top, g.p(15), top + sw, min(sw / 2.0, ow))
    sock = arc | stem
    c.fill(sock, shade(SLATE, 0.45))
    c.fill(sock.grow(-ow), tint(SLATE, 0.35))


# --------------------------------------------------------------------------
# Type library viewer images.

def draw_enum(c, g):
    """Three values of which one is chosen."""
    ow = g.ow
    n = g.n
    rows = [(1, 5), (6, 10), (11, 15)] if n <= 20 else [(1.5, 5), (6.25, 9.75), (11, 14.5)]
    for i, (y0, y1) in enumerate(rows):
        pill = g.rect(1 if i == 1 else 3, y0, 15 if i == 1 else 13, y1, 8)
        if i == 1:
            c.draw(pill, GOLD, ow)
            if n >= 24:
                cy = (pill.bbox[1] + pill.bbox[3]) / 2.0
                c.fill(Circle(pill.bbox[0] + (cy - pill.bbox[1]), cy, (pill.bbox[3] - pill.bbox[1]) / 2.0 - ow - max(1.0, g.f(0.6))), PAPER)
        else:
            c.draw(pill, tint(GOLD, 0.72), ow, edge=shade(GOLD, 0.35))


def record(c, g, x0, y0, x1, y1, color, fields=True):
    """A record card: coloured header band and field lines."""
    ow = g.ow
    n = g.n
    card = g.rect(x0, y0, x1, y1, radius(g, 1.0))
    c.draw(card, PAPER, ow, edge=shade(color, 0.4))
    head = Rect(card.bbox[0], card.bbox[1], card.bbox[2], g.p(y0 + (3.5 if n > 16 else 4)))
    c.fill(head & card.grow(-ow), color)
    if not fields:
        return card
    lw = g.w(1.0) if n <= 32 else g.w(0.9)
    X0 = card.bbox[0] + ow + max(1.0, g.p(1.0))
    X1 = card.bbox[2] - ow - max(1.0, g.p(1.0))
    ys = []
    y = head.bbox[3] + max(1.0, g.p(1.5))
    while y + lw <= card.bbox[3] - ow - max(1.0, g.p(1.0)):
        ys.append(y)
        y += lw + max(1.0, g.p(1.5))
    for k, yy in enumerate(ys):
        c.fill(Rect(X0, yy, X1 - (0 if k % 2 == 0 else (X1 - X0) * 0.3), yy + lw), tint(color, 0.35))
    return card


def draw_struct(c, g):
    record(c, g, 1, 1, 15, 15, CYAN)


def draw_union(c, g):
    """Two records laid over the same place."""
    ow = g.ow
    record(c, g, 4, 1, 15, 12, OCEAN, fields=False)
    c.erase(g.rect(1, 4, 12, 15, radius(g, 1.0)).grow(max(1.0, ow)))
    record(c, g, 1, 4, 12, 15, OCEAN)


def draw_module(c, g):
    """A chip: the DLL a module's functions live in."""
    ow = g.ow
    n = g.n
    body = g.rect(3, 3, 13, 13, radius(g, 1.0))
    # Three pins a side, placed symmetrically about the middle of the square.
    if n <= 64:
        pw = 2.0 if n <= 32 else float(int(g.f(1.1) + 0.5))
        pitch = max(pw + 1, float(int(g.f(2.6) + 0.5)))
        mid = (n - pw) / 2.0
    else:
        pw, pitch = g.f(1.1), g.f(2.6)
        mid = (n - pw) / 2.0
    pins = []
    for k in (-1, 0, 1):
        a = mid + k * pitch
        pins.append(Rect(g.p(1), a, g.p(15), a + pw))
        pins.append(Rect(a, g.p(1), a + pw, g.p(15)))
    c.fill(Union(*pins), tint(SLATE, 0.25))
    c.fill(Union(*pins) - body, shade(SLATE, 0.1))
    c.draw(body, SLATE, ow, edge=shade(SLATE, 0.5))
    # Pin-1 mark.
    if n <= 20:
        x = body.bbox[0] + ow + 1
        c.fill(Rect(x, x, x + 1, x + 1), tint(SLATE, 0.6))
    else:
        c.fill(Circle(body.bbox[0] + ow + g.f(1.6), body.bbox[1] + ow + g.f(1.6), g.f(0.8)),
               tint(SLATE, 0.6))


def draw_tlb_interface(c, g):
    motif_lollipop(c, g, GREEN, right=15, ball_r=4.75)


def draw_dispinterface(c, g):
    motif_lollipop(c, g, VIOLET, ring=True, right=15, ball_r=4.75)


def draw_coclass(c, g):
    """A component cube exposing an interface."""
    ow = g.ow
    n = g.n
    motif_cube(c, g, 1, 4, 11, 15, BLUE)
    # Lollipop rising from the right face.
    bx, by = g.f(12.5), g.f(3.5)
    br = g.f(2.5 if n <= 16 else 2.4)
    sw = 1.0 if n <= 20 else g.w(1.0)
    stick = Line(g.f(8.5), g.f(8.0), bx, by, sw + 2 * ow)
    ball = Circle(bx, by, br)
    c.fill(stick | ball, shade(GREEN, 0.45))
    c.fill(stick.grow(-ow), tint(GREEN, 0.1))
    c.fill(ball.grow(-ow), GREEN)


def draw_typedef(c, g):
    """A name tag: another name for a type."""
    ow = g.ow
    n = g.n
    tag = g.poly([(1, 8), (5.5, 3), (15, 3), (15, 13), (5.5, 13)], r=radius(g, 1.0))
    c.draw(tag, MAGENTA, ow)
    hole_r = max(1.0, g.f(1.1))
    c.erase(Circle(g.f(5.25), g.f(8), hole_r))
    c.fill(Circle(g.f(5.25), g.f(8), hole_r + ow) - Circle(g.f(5.25), g.f(8), hole_r), shade(MAGENTA, 0.42))
    if n >= 20:
        lw = g.w(1.0)
        for yy, x1 in ((6.0, 13.0), (9.0, 11.5)):
            y = g.p(yy)
            c.fill(Rect(g.p(8), y, g.p(x1), y + lw), tint(MAGENTA, 0.7))
    else:
        c.fill(Rect(8, 6, 13, 7), tint(MAGENTA, 0.7))
        c.fill(Rect(8, 9, 12, 10), tint(MAGENTA, 0.7))


def draw_library(c, g):
    """A row of books, the last one leaning."""
    ow = g.ow
    n = g.n
    books = [(1, 3, 4.5, RED), (4.5, 1, 8, BLUE), (8, 4, 10.5, GREEN)]
    if n <= 16:
        books = [(1, 3, 4, RED), (4, 1, 8, BLUE), (8, 4, 10, GREEN)]
    for x0, y0, x1, col in books:
        b = g.rect(x0, y0, x1, 15, radius(g, 0.5))
        c.draw(b, col, ow)
        bw = g.w(1.0)
        if g.p(x1) - g.p(x0) - 2 * ow >= 2:
            for yy in ((y0 + 2.0), 12.0):
                t = g.p(yy)
                c.fill(Rect(b.bbox[0] + ow, t, b.bbox[2] - ow, t + bw), tint(col, 0.55))
    # The last book, tilted 22 degrees, standing on its lower right corner.
    ang = math.radians(22)
    L, W = g.f(12.5), g.f(3.0) if n > 16 else 3.0
    fx, fy = g.p(10.5), g.p(15)
    ux, uy = math.sin(ang), -math.cos(ang)     # along the book, upwards
    vx, vy = math.cos(ang), math.sin(ang)      # across the book
    p0 = (fx, fy)
    p1 = (fx + vx * W, fy + vy * W)
    p2 = (p1[0] + ux * L, p1[1] + uy * L)
    p3 = (fx + ux * L, fy + uy * L)
    # Lift it so that the lower right corner is on the floor line, and pull
    # it left if it would leave the square.
    lift = p1[1] - fy
    pts = [(x, y - lift) for x, y in (p0, p1, p2, p3)]
    shift = max(0.0, max(x for x, _ in pts) - (g.n - g.p(0.5)))
    pts = [(x - shift, y) for x, y in pts]
    book = RoundPolygon(pts, max(0.5, g.f(0.4)))
    c.draw(book, PURPLE, ow)
    if n >= 24:
        bw = g.w(1.0)
        for t in (0.25, 0.82):
            ax = pts[0][0] + (pts[3][0] - pts[0][0]) * t
            ay = pts[0][1] + (pts[3][1] - pts[0][1]) * t
            bx = pts[1][0] + (pts[2][0] - pts[1][0]) * t
            by = pts[1][1] + (pts[2][1] - pts[1][1]) * t
            c.fill(Line(ax, ay, bx, by, bw) & book.grow(-ow), tint(PURPLE, 0.55))


def draw_folder(c, g):
    ow = g.ow
    r = radius(g, 1.0)
    back = g.rect(1, 2, 7, 6, r) | g.rect(1, 3.5, 15, 14, r)
    c.draw(back, shade(AMBER, 0.12), ow, edge=shade(AMBER, 0.5))
    front = g.rect(1, 6, 15, 14, r)
    c.draw(front, AMBER, ow, edge=shade(AMBER, 0.5))
    if g.n >= 24:
        c.fill(Rect(front.bbox[0] + ow, front.bbox[1] + ow, front.bbox[2] - ow,
                    front.bbox[1] + ow + g.w(0.75)), tint(AMBER, 0.45))


# --------------------------------------------------------------------------
# Application icon.

def draw_app(c, g):
    """A small tree of registration nodes; a magnifying glass in front of it
    shows one registration close up as a component cube."""
    ow = g.ow
    n = g.n
    conn = rgb('#7B8798')
    lw = g.w(1.0)
    # Tree: root node, trunk and children.
    if n <= 20:
        nodes = [(1, 1, 6, 6, BLUE), (5.5, 10, 10, 14.5, GREEN)]
        trunk, branches, lens_c, lens_r = 3.5, (12.25,), (10.5, 5.5), 4.5
    else:
        nodes = [(1, 1, 5.5, 5.5, BLUE), (4.75, 8, 7.75, 11, RED), (4.75, 12.25, 7.75, 15.25, GREEN)]
        trunk, branches, lens_c, lens_r = 3.25, (9.5, 13.75), (11.0, 4.75), 4.4
    tx = float(int(g.f(trunk) - lw / 2.0 + 0.5))
    c.fill(Rect(tx, g.p(nodes[0][3]), tx + lw, float(int(g.f(branches[-1]) - lw / 2.0 + 0.5)) + lw), conn)
    for yy in branches:
        y = float(int(g.f(yy) - lw / 2.0 + 0.5))
        c.fill(Rect(tx, y, g.p(nodes[1][0]), y + lw), conn)
    for x0, y0, x1, y1, col in nodes:
        c.draw(g.rect(x0, y0, x1, y1, 1.2 if col is BLUE else 1.0), col, ow)
    if n >= 24:
        bh = g.w(1.25)
        y = float(int(g.f(13.75) - bh / 2.0 + 0.5))
        c.fill(Rect(g.p(9.0), y, g.p(11.75), y + bh, bh / 2.0), tint(conn, 0.4))
    # Lens, centred on whole or half pixels so that the rim is even.
    lr = g.f(lens_r)
    cx, cy = g.f(lens_c[0]), g.f(lens_c[1])
    if n <= 64:
        d = int(round(2 * lr))
        lr = d / 2.0
        cx = float(int(cx)) + (0.5 if d % 2 else 0.0)
        cy = float(int(cy)) + (0.5 if d % 2 else 0.0)
    rim = max(1.0, float(int(g.f(0.8) + 0.5))) if n <= 64 else g.f(0.8)
    lens = Circle(cx, cy, lr)
    glass = Circle(cx, cy, lr - ow - rim)
    # The handle points from the lens centre at the lower right corner and
    # ends with its round cap and outline just inside the square.
    handle_w = max(2.0, g.f(2.0))
    corner = g.n - max(0.5, g.f(0.4)) - handle_w / 2.0 - ow
    ux, uy = corner - cx, corner - cy
    ln = math.hypot(ux, uy)
    ux, uy = ux / ln, uy / ln
    hx0, hy0 = cx + (lr - ow) * ux, cy + (lr - ow) * uy
    hx1, hy1 = corner, corner
    handle = Line(hx0, hy0, hx1, hy1, handle_w)
    c.erase((lens | handle).grow(ow))
    c.fill(handle.grow(ow), shade(SLATE, 0.55))
    c.fill(handle, SLATE)
    if n >= 32:
        t = 0.3
        grip = Line(hx0 + (hx1 - hx0) * t, hy0 + (hy1 - hy0) * t, hx1, hy1, handle_w)
        c.fill(grip, shade(SLATE, 0.3))
    c.fill(lens, shade(SLATE, 0.55))
    c.fill(lens.grow(-ow), SLATE)
    c.fill(glass, rgb('#EAF3FD'))
    # What the lens shows close up.
    gr = glass.r
    if n <= 24:
        k = math.floor(gr * 0.75 + 0.5)
        c.draw(Rect(cx - k, cy - k, cx + k, cy + k, 1.0), PURPLE, 1)
    else:
        sub = Canvas(n, n)
        cg = Grid(n)
        half = gr * 0.66
        motif_cube(sub, cg, (cx - half) / cg.s, (cy - half * 1.1) / cg.s,
                   (cx + half) / cg.s, (cy + half * 1.1) / cg.s, PURPLE)
        c.blit(sub, 0, 0)
    if n >= 32:
        gw = max(1.0, g.f(0.5))
        c.fill(Arc(cx, cy, gr - gw / 2.0 - max(1.0, g.f(0.4)), 195, 250, gw), PAPER, 0.95)


# --------------------------------------------------------------------------
# About dialog pictures.

def draw_status_ok(c, g):
    ow = g.ow
    disc = Circle(g.n / 2.0, g.n / 2.0, g.n / 2.0 - g.f(0.75))
    c.draw(disc, STATUS_GREEN, ow, edge=shade(STATUS_GREEN, 0.4))
    w = max(1.5, g.f(2.0)) if g.n > 16 else 2.0
    tick = Union(g.line(4.6, 8.3, 7.0, 10.7, w), g.line(7.0, 10.7, 11.6, 5.6, w))
    c.fill(tick, PAPER)


def draw_status_warn(c, g):
    ow = g.ow
    tri = g.poly([(8, 1.0), (15.3, 14.6), (0.7, 14.6)], r=radius(g, 1.25))
    c.draw(tri, STATUS_AMBER, ow, edge=shade(STATUS_AMBER, 0.45))
    ink = rgb('#2B2100')
    n = g.n
    if n <= 16:
        c.fill(Rect(7, 5, 9, 10), ink)
        c.fill(Rect(7, 11, 9, 13), ink)
    else:
        bw = g.w(1.9)
        x0 = float(int(g.n / 2.0 - bw / 2.0 + 0.5)) if (g.n % 2 == 0) == (bw % 2 == 0) else g.n / 2.0 - bw / 2.0
        x0 = float(int(x0))
        c.fill(Rect(x0, g.p(5.0), x0 + bw, g.p(10.0), min(bw / 2.0, g.f(0.4))), ink)
        c.fill(Rect(x0, g.p(11.25), x0 + bw, g.p(11.25) + bw, min(bw / 2.0, g.f(0.4))), ink)


def spinner_frame(n, frame):
    """One frame of the busy spinner: eight dots on a circle, the brightest at
    position `frame` (0 = top, then clockwise), the others fading behind it."""
    c = Canvas(n, n)
    s = n / 16.0
    ring = 5.4 * s
    dot = 1.55 * s
    col = BLUE
    for j in range(8):
        lag = (frame - j) % 8
        alpha = max(0.16, 1.0 - lag * 0.14)
        ang = math.radians(j * 45.0)
        x = n / 2.0 + ring * math.sin(ang)
        y = n / 2.0 - ring * math.cos(ang)
        r = dot * (1.0 - 0.05 * lag)
        c.fill(Circle(x, y, r), col, alpha)
    return c


def spinner_strip(n):
    strip = Canvas(n * 8, n)
    for f in range(8):
        strip.blit(spinner_frame(n, f), f * n, 0)
    return strip


# Stroke letters for the wordmark, in units of the x-height (baseline at 0,
# y grows downwards, so the x-height line is at -1).  Each glyph is
# (advance, [strokes]); strokes are ('l', x0, y0, x1, y1) or
# ('a', cx, cy, r, a0, a1).

def wordmark_glyphs(sw):
    h = sw / 2.0
    r = 0.5 - h
    cap = 1.42
    return {
        'V': (1.12, [('l', h, -cap + h, 0.56, -h), ('l', 0.56, -h, 1.12 - h, -cap + h)]),
        'a': (1.0, [('a', 0.5, -0.5, r, 0, 360), ('l', 1 - h, -1 + h, 1 - h, -h)]),
        'n': (0.92, [('l', h, -1 + h, h, -h),
                     ('a', 0.46, -0.54, 0.46 - h, 180, 360),
                     ('l', 0.92 - h, -0.54, 0.92 - h, -h)]),
        't': (0.66, [('l', 0.22, -1.32 + h, 0.22, -0.36),
                     ('a', 0.58, -0.36, 0.36, 90, 180),
                     ('l', 0.0 + h * 0.3, -1 + h, 0.62, -1 + h)]),
        'r': (0.62, [('l', h, -1 + h, h, -h),
                     ('a', 0.46, -0.54, 0.46 - h, 180, 285)]),
        'e': (1.0, [('a', 0.5, -0.5, r, 38, 360), ('l', h, -0.5, 1 - h, -0.5)]),
        'l': (sw, [('l', h, -cap + h, h, -h)]),
    }


def wordmark(text, x, baseline, unit, sw_units, spacing):
    glyphs = wordmark_glyphs(sw_units)
    parts = []
    for chi, ch in enumerate(text):
        adv, strokes = glyphs[ch]
        for s in strokes:
            if s[0] == 'l':
                _, x0, y0, x1, y1 = s
                parts.append(Line(x + x0 * unit, baseline + y0 * unit,
                                  x + x1 * unit, baseline + y1 * unit, sw_units * unit))
            else:
                _, cx, cy, r, a0, a1 = s
                parts.append(Arc(x + cx * unit, baseline + cy * unit, r * unit,
                                 a0, a1, sw_units * unit))
        x += adv * unit + spacing.get(text[chi:chi + 2], 0.24) * unit
    return Union(*parts), x


def draw_logo(scale):
    w, h = 120 * scale, 59 * scale
    c = Canvas(w, h)
    mark_n = 40 * scale
    mark = Canvas(mark_n, mark_n)
    draw_app(mark, Grid(mark_n))
    my = (h - mark_n) // 2
    c.blit(mark, 3 * scale, my)
    unit = 10.0 * scale
    sw = 0.23
    spacing = {'Va': 0.02}
    base = my + mark_n / 2.0 + 0.5 * unit + 0.21 * unit
    base = float(int(base + 0.5))
    word, end = wordmark('Vantrel', 47.5 * scale, base, unit, sw, spacing)
    c.fill(word, INK)
    # Underline in the kind colours.
    y = base + 0.55 * unit
    x0 = 48.0 * scale
    x1 = end - 0.24 * unit
    seg = (x1 - x0) / 4.0
    for i, col in enumerate((BLUE, RED, PURPLE, GREEN)):
        c.fill(Rect(float(int(x0 + i * seg + 0.5)), float(int(y)),
                    float(int(x0 + (i + 1) * seg + 0.5)) - (scale if i < 3 else 0),
                    float(int(y)) + 2 * scale), col)
    return c


# --------------------------------------------------------------------------
# Contact sheet.

FONT = {  # 3x5 pixel letters for the labels, rows top to bottom
    'a': '.#. #.# ### #.# #.#', 'b': '##. #.# ##. #.# ##.', 'c': '.## #.. #.. #.. .##', 'd': '##. #.# #.# #.# ##.',
    'e': '### #.. ##. #.. ###', 'f': '### #.. ##. #.. #..', 'g': '.## #.. #.# #.# .##', 'h': '#.# #.# ### #.# #.#',
    'i': '### .#. .#. .#. ###', 'j': '..# ..# ..# #.# .#.', 'k': '#.# #.# ##. #.# #.#', 'l': '#.. #.. #.. #.. ###',
    'm': '#.# ### ### #.# #.#', 'n': '##. #.# #.# #.# #.#', 'o': '.#. #.# #.# #.# .#.', 'p': '##. #.# ##. #.. #..',
    'q': '.#. #.# #.# ##. .##', 'r': '##. #.# ##. #.# #.#', 's': '.## #.. .#. ..# ##.', 't': '### .#. .#. .#. .#.',
    'u': '#.# #.# #.# #.# ###', 'v': '#.# #.# #.# #.# .#.', 'w': '#.# #.# ### ### #.#', 'x': '#.# #.# .#. #.# #.#',
    'y': '#.# #.# .#. .#. .#.', 'z': '### ..# .#. #.. ###', '0': '### #.# #.# #.# ###', '1': '.#. ##. .#. .#. ###',
    '2': '##. ..# .#. #.. ###', '3': '##. ..# .#. ..# ##.', '4': '#.# #.# ### ..# ..#', '5': '### #.. ##. ..# ##.',
    '6': '.## #.. ### #.# ###', '7': '### ..# .#. .#. .#.', '8': '### #.# ### #.# ###', '9': '### #.# ### ..# ##.',
    '_': '... ... ... ... ###', '.': '... ... ... ... .#.', '@': '.#. #.# ### #.. .##', '-': '... ... ### ... ...',
    ' ': '... ... ... ... ...', '/': '..# ..# .#. #.. #..',
}


def font_rows(ch):
    return FONT.get(ch.lower(), FONT[' ']).split()


class Sheet:
    def __init__(self, w, h, bg):
        self.w, self.h = w, h
        self.px = bytearray(bytes(bg) * (w * h))

    def rect(self, x0, y0, x1, y1, col):
        for y in range(max(0, y0), min(self.h, y1)):
            i = (y * self.w + max(0, x0)) * 3
            n = max(0, min(self.w, x1) - max(0, x0))
            self.px[i:i + n * 3] = bytes(col) * n

    def text(self, x, y, s, col, k=2):
        for ch in s:
            for ry, row in enumerate(font_rows(ch)):
                for rx, b in enumerate(row):
                    if b == '#':
                        self.rect(x + rx * k, y + ry * k, x + (rx + 1) * k, y + (ry + 1) * k, col)
            x += 4 * k

    def image(self, x, y, w, h, rgba, k, bg):
        for yy in range(h):
            row = bytearray()
            for xx in range(w):
                j = (yy * w + xx) * 4
                a = rgba[j + 3]
                px = bytes((rgba[j + c] * a + bg[c] * (255 - a) + 127) // 255 for c in range(3))
                row += px * k
            for r in range(k):
                ty = y + yy * k + r
                i = (ty * self.w + x) * 3
                self.px[i:i + len(row)] = row


def contact_sheet(rows):
    """rows: list of (label, [(w, h, rgba), ...]).  Each row shows its images
    4x enlarged on white (left) and on mid-grey (right)."""
    K, GAP, PAD, LABEL = 4, 12, 16, 18
    white, grey, sep = (255, 255, 255), (128, 128, 128), (60, 60, 60)
    panel_w = max(sum(w * K for w, _, _ in imgs) + GAP * (len(imgs) - 1) for _, imgs in rows) + 2 * PAD
    heights = [LABEL + max(h * K for _, h, _ in imgs) + PAD for _, imgs in rows]
    W = panel_w * 2 + 2
    H = sum(heights) + PAD
    sh = Sheet(W, H, white)
    sh.rect(panel_w, 0, panel_w + 2, H, sep)
    sh.rect(panel_w + 2, 0, W, H, grey)
    y = PAD // 2
    for (label, imgs), rh in zip(rows, heights):
        for px0, bg, ink in ((0, white, (40, 40, 40)), (panel_w + 2, grey, (255, 255, 255))):
            sh.text(px0 + PAD, y, label, ink)
            x = px0 + PAD
            for w, h, rgba in imgs:
                sh.image(x, y + LABEL, w, h, rgba, K, bg)
                x += w * K + GAP
        y += rh
        sh.rect(0, y - PAD // 2, W, y - PAD // 2 + 1, (200, 200, 200))
    return png_bytes(W, H, bytes(sh.px), channels=3)


# --------------------------------------------------------------------------

def render(draw, n):
    c = Canvas(n, n)
    draw(c, Grid(n))
    return c.straight_rgba()


ICONS = [
    ('mainwindow/res/Vantrel.ico', draw_app, APP_SIZES),
    ('mainwindow/res/catalog_root.ico', draw_root, CATALOG_SIZES),
    ('mainwindow/res/catalog_class.ico', draw_class, CATALOG_SIZES),
    ('mainwindow/res/catalog_typelib.ico', draw_typelib, CATALOG_SIZES),
    ('mainwindow/res/catalog_appid.ico', draw_appid, CATALOG_SIZES),
    ('mainwindow/res/catalog_interface.ico', draw_interface, CATALOG_SIZES),
    ('tlbviewer/res/tlb_enum.ico', draw_enum, SMALL_SIZES),
    ('tlbviewer/res/tlb_struct.ico', draw_struct, SMALL_SIZES),
    ('tlbviewer/res/tlb_union.ico', draw_union, SMALL_SIZES),
    ('tlbviewer/res/tlb_module.ico', draw_module, SMALL_SIZES),
    ('tlbviewer/res/tlb_interface.ico', draw_tlb_interface, SMALL_SIZES),
    ('tlbviewer/res/tlb_dispinterface.ico', draw_dispinterface, SMALL_SIZES),
    ('tlbviewer/res/tlb_coclass.ico', draw_coclass, SMALL_SIZES),
    ('tlbviewer/res/tlb_typedef.ico', draw_typedef, SMALL_SIZES),
    ('tlbviewer/res/tlb_library.ico', draw_library, SMALL_SIZES),
    ('tlbviewer/res/tlb_folder.ico', draw_folder, SMALL_SIZES),
    ('about/res/uptodate.ico', draw_status_ok, SMALL_SIZES),
    ('about/res/warning.ico', draw_status_warn, SMALL_SIZES),
]


def build(out_root):
    """Writes every output under out_root (the repository root by default)."""
    def write(rel, data):
        path = os.path.join(out_root, rel)
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, 'wb') as f:
            f.write(data)

    rows = []
    for rel, draw, sizes in ICONS:
        images = [(n, render(draw, n)) for n in sizes]
        write(rel, ico_bytes(images))
        rows.append((os.path.basename(rel), [(n, n, px) for n, px in images]))
    for scale, suffix in ((1, ''), (2, '@2x')):
        logo = draw_logo(scale)
        logo_px = logo.straight_rgba()
        write('about/res/logo%s.bmp' % suffix, bmp_bytes(logo.w, logo.h, logo_px))
        rows.append(('logo%s.bmp' % suffix, [(logo.w, logo.h, logo_px)]))
    for scale, suffix in ((1, ''), (2, '@2x')):
        strip = spinner_strip(16 * scale)
        strip_px = strip.straight_rgba()
        write('about/res/wait%s.bmp' % suffix, bmp_bytes(strip.w, strip.h, strip_px))
        rows.append(('wait%s.bmp' % suffix, [(strip.w, strip.h, strip_px)]))
    write('art/preview.png', contact_sheet(rows))


def main(argv):
    out_root = ROOT
    if len(argv) == 3 and argv[1] == '--out':
        out_root = argv[2]
    elif len(argv) != 1:
        sys.stderr.write('usage: make_art.py [--out DIR]\n')
        return 2
    build(out_root)
    return 0


if __name__ == '__main__':
    sys.exit(main(sys.argv))
