#!/usr/bin/env python3
"""Build the demo geodata server that ships with Atlasdesk (data/demo-server/).

Run it from anywhere; it deletes data/demo-server/ and writes it again, byte for
byte the same on every run (no clock, no unseeded randomness).

What the demo holds, and what each part of it shows in the browser:

* Numbered place folders 10_world/21_<country>/31_<region>/..., a 50_europe
  branch and an 85_archive branch (first folder 80 or above: never uploaded
  to the catalogue). A folder named `all` below 21_switzerland.
* Theme folders named after the configured themes, source folders below them
  (10_world/21_france/31_bretagne/transport/ign/routes.shp), two theme folders
  in a row (31_provence/geology/hydrology/brgm) and a data set lying directly
  in 10_world (countries.shp).
* Data sets of all six categories: vector (.shp, .e00), raster (.tif, .jp2,
  .img, a grid shown through its .aux), GIS files (.mxd, .lyr), tables
  (.dbf, .csv, .xls), documents (.pdf, .txt) and a Python script. A file
  geodatabase folder (occupation.gdb) carries a configured extension, so the
  tree lists it twice: as a folder and as a leaf. Shapefiles are small but
  valid (.shp/.shx/.dbf/.prj); the .tif files, the .pdf, the .csv and the .xls
  (SpreadsheetML) open in ordinary tools; other binary formats are
  placeholders.
* Hidden companions: .dbf beside its .shp, ortho.aux beside ortho.tif, the
  ArcInfo `info` folders of a grid and of a coverage (their .dat files would
  otherwise show as tables; the upper-case INFO in the archive is shown).
* A grid folder dem/ with dem.aux beside it and dem/metadata.xml, a coverage
  folder (bassins/) with its own metadata.xml, and a lone table with its
  .dbf.xml (comptages.dbf).
* ESRI-profile metadata of the ArcGIS 9 era, most with the esriprof80 DOCTYPE
  and a Base64 BMP thumbnail (24-bit, bottom-up, 120x80), in UTF-8 or in
  ISO-8859-1 with French text, plus the awkward files of real servers:
    routes.shp.xml, departements.shp.xml   ISO-8859-1, real Latin-1 bytes
    rivieres.shp.xml       declares ISO-8859-1, holds UTF-8 bytes
    comptages.dbf.xml      declares ISO-8859-1, holds a windows-1252 en dash
                           (0x96); CRLF line ends
    voies_ferrees.shp.xml  UTF-8 with a byte-order mark
    lacs.shp.xml           no XML declaration, no DOCTYPE
    cours_eau.shp.xml      UTF-16 little endian with a byte-order mark,
                           declared UTF-16; CRLF line ends
    gares.shp.xml          DOCTYPE commented out; a thumbnail name but no
                           thumbnail
    mosaic_2010.jp2.xml    ArcGIS 10 style, PNG thumbnail (PictureX)
    routes_projet.shp.xml  metadata/metainfo/atlasdesk/ignore = Yes, stamped
    occupation_sol.shp.xml not well-formed (a bare "&" in the title)
  Data sets without metadata: communes.shp, lisezmoi.txt, nuts2010.lyr and
  the occupation.gdb folder.

Python 3 standard library only.
"""

import base64
import hashlib
import math
import random
import shutil
import struct
import zlib
from pathlib import Path

ROOT = Path(__file__).resolve().parent.parent / "data" / "demo-server"
UNC_ROOT = "\\\\GEOSERVER\\Geodata"
DOCTYPE = '<!DOCTYPE metadata SYSTEM "http://www.esri.com/metadata/esriprof80.dtd">'
THUMB_W, THUMB_H = 120, 80


def seeded(name):
    """A random generator that depends on the name only."""
    return random.Random(zlib.crc32(name.encode("utf-8")))


# ---------------------------------------------------------------------------
# Pictures: a tiny RGB canvas, value noise and a few map-like drawings
# ---------------------------------------------------------------------------

class Canvas:
    def __init__(self, w, h, colour=(255, 255, 255)):
        self.w, self.h = w, h
        self.px = [[colour] * w for _ in range(h)]

    def get(self, x, y):
        return self.px[y][x]

    def set(self, x, y, c):
        if 0 <= x < self.w and 0 <= y < self.h:
            self.px[y][x] = c

    def fill(self, fn):
        for y in range(self.h):
            row = self.px[y]
            for x in range(self.w):
                row[x] = fn(x, y)

    def dot(self, x, y, c, width=1):
        r = (width - 1) / 2.0
        for yy in range(int(math.floor(y - r)), int(math.floor(y + r)) + 1):
            for xx in range(int(math.floor(x - r)), int(math.floor(x + r)) + 1):
                self.set(xx, yy, c)

    def line(self, x0, y0, x1, y1, c, width=1, dash=None):
        steps = max(1, int(max(abs(x1 - x0), abs(y1 - y0)) * 2))
        for i in range(steps + 1):
            t = i / steps
            if dash and int(i / 2 / dash) % 2:
                continue
            self.dot(round(x0 + (x1 - x0) * t), round(y0 + (y1 - y0) * t), c, width)

    def polyline(self, pts, c, width=1, dash=None):
        for (x0, y0), (x1, y1) in zip(pts, pts[1:]):
            self.line(x0, y0, x1, y1, c, width, dash)

    def rect(self, x0, y0, x1, y1, c):
        for y in range(y0, y1 + 1):
            for x in range(x0, x1 + 1):
                self.set(x, y, c)

    def map(self, fn):
        for row in self.px:
            for x, c in enumerate(row):
                row[x] = fn(c)

    def bmp(self):
        """24-bit Windows bitmap, rows stored bottom-up in BGR order."""
        stride = (self.w * 3 + 3) & ~3
        pad = b"\0" * (stride - self.w * 3)
        body = bytearray()
        for y in range(self.h - 1, -1, -1):
            for r, g, b in self.px[y]:
                body += bytes((b, g, r))
            body += pad
        header = struct.pack("<2sIHHI", b"BM", 54 + len(body), 0, 0, 54)
        info = struct.pack("<IiiHHIIiiII", 40, self.w, self.h, 1, 24, 0, len(body), 0, 0, 0, 0)
        return header + info + bytes(body)

    def png(self):
        raw = bytearray()
        for row in self.px:
            raw.append(0)
            for c in row:
                raw += bytes(c)

        def chunk(kind, data):
            return (struct.pack(">I", len(data)) + kind + data
                    + struct.pack(">I", zlib.crc32(kind + data) & 0xFFFFFFFF))

        ihdr = struct.pack(">IIBBBBB", self.w, self.h, 8, 2, 0, 0, 0)
        return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", ihdr)
                + chunk(b"IDAT", zlib.compress(bytes(raw), 9)) + chunk(b"IEND", b""))


class Noise:
    """Smooth value noise on [0,1]x[0,1]."""

    def __init__(self, rng, cells):
        self.n = cells
        self.v = [[rng.random() for _ in range(cells + 2)] for _ in range(cells + 2)]

    def at(self, u, v):
        x = min(max(u, 0.0), 0.9999) * self.n
        y = min(max(v, 0.0), 0.9999) * self.n
        i, j = int(x), int(y)
        fx, fy = x - i, y - j
        sx, sy = fx * fx * (3 - 2 * fx), fy * fy * (3 - 2 * fy)
        a, b = self.v[j][i], self.v[j][i + 1]
        c, d = self.v[j + 1][i], self.v[j + 1][i + 1]
        top = a + (b - a) * sx
        bottom = c + (d - c) * sx
        return top + (bottom - top) * sy


def fbm(rng, base=3, octaves=4):
    layers = [Noise(rng, base * 2 ** k) for k in range(octaves)]
    weights = [0.5 ** k for k in range(octaves)]
    total = sum(weights)

    def f(u, v):
        return sum(w * n.at(u, v) for w, n in zip(weights, layers)) / total
    return f


def mix(a, b, t):
    t = min(max(t, 0.0), 1.0)
    return tuple(int(round(a[i] + (b[i] - a[i]) * t)) for i in range(3))


def ramp(stops, t):
    """Colour at t in [0,1] along evenly spaced colour stops."""
    t = min(max(t, 0.0), 1.0) * (len(stops) - 1)
    i = min(int(t), len(stops) - 2)
    return mix(stops[i], stops[i + 1], t - i)


def jitter(c, rng, amount):
    d = rng.randint(-amount, amount)
    return tuple(min(255, max(0, v + d)) for v in c)


def wiggly(rng, p0, p1, depth=4, rough=0.25):
    """Midpoint displacement between two points: a natural-looking line."""
    pts = [p0, p1]
    for _ in range(depth):
        out = [pts[0]]
        for (x0, y0), (x1, y1) in zip(pts, pts[1:]):
            dx, dy = x1 - x0, y1 - y0
            k = rng.uniform(-rough, rough)
            out.append(((x0 + x1) / 2 - dy * k, (y0 + y1) / 2 + dx * k))
            out.append((x1, y1))
        pts = out
    return pts


def outline_where(cv, key, colour):
    """Draw colour where key(x, y) differs from the pixel to the right or below."""
    keys = [[key(x, y) for x in range(cv.w)] for y in range(cv.h)]
    for y in range(cv.h):
        for x in range(cv.w):
            k = keys[y][x]
            if (x + 1 < cv.w and keys[y][x + 1] != k) or (y + 1 < cv.h and keys[y + 1][x] != k):
                cv.set(x, y, colour)


def voronoi(rng, w, h, n, wobble=6.0):
    seeds = [(rng.uniform(0, w), rng.uniform(0, h)) for _ in range(n)]
    warp = fbm(rng, 4, 2)

    def owner(x, y):
        wx = x + (warp(x / w, y / h) - 0.5) * wobble
        wy = y + (warp(y / h, x / w) - 0.5) * wobble
        return min(range(n), key=lambda i: (seeds[i][0] - wx) ** 2 + (seeds[i][1] - wy) ** 2)
    return seeds, owner


def level(f, w, h, share):
    """The value below which the given share of the picture lies."""
    values = sorted(f(x / w, y / h) for y in range(h) for x in range(w))
    return values[int(share * (len(values) - 1))]


def pic_world(rng, w, h):
    noise = fbm(rng, 3, 5)

    def height(u, v):
        return noise(u, v) - 0.12 * abs(v - 0.5)
    sea = level(height, w, h, 0.62)
    cv = Canvas(w, h)

    def colour(x, y):
        e = height(x / w, y / h)
        if e < sea:
            return ramp([(28, 70, 140), (64, 120, 190), (140, 190, 230)], 1 - (sea - e) / 0.2)
        return ramp([(126, 172, 92), (186, 190, 120), (170, 140, 100), (245, 245, 240)], (e - sea) / 0.25)
    cv.fill(colour)
    for gx in range(0, w, w // 6):
        for y in range(h):
            cv.set(gx, y, mix(cv.get(gx, y), (255, 255, 255), 0.35))
    for gy in range(0, h, h // 4):
        for x in range(w):
            cv.set(x, gy, mix(cv.get(x, gy), (255, 255, 255), 0.35))
    return cv


def pic_climate(rng, w, h):
    land = fbm(rng, 3, 4)
    warm = fbm(rng, 2, 3)
    sea = level(land, w, h, 0.4)
    stops = [(49, 54, 149), (69, 117, 180), (116, 173, 209), (171, 217, 233),
             (254, 224, 144), (253, 174, 97), (244, 109, 67), (215, 48, 39)]
    cv = Canvas(w, h)

    def colour(x, y):
        u, v = x / w, y / h
        if land(u, v) < sea:
            return (226, 231, 236)
        t = (1 - abs(v - 0.55) * 2) * 0.8 + (warm(u, v) - 0.5) * 0.6
        return ramp(stops, t)
    cv.fill(colour)
    outline_where(cv, lambda x, y: land(x / w, y / h) < sea, (90, 90, 90))
    return cv


def pic_polygons(rng, w, h, palette, n, border=(70, 70, 70), sea=None):
    _, owner = voronoi(rng, w, h, n)
    coast = fbm(rng, 3, 4)

    def is_sea(x, y):
        if sea is None:
            return False
        return coast(x / w, y / h) * 0.5 + sea(x / w, y / h) < 0.5

    cv = Canvas(w, h)
    cv.fill(lambda x, y: (196, 219, 238) if is_sea(x, y) else palette[owner(x, y) % len(palette)])
    outline_where(cv, lambda x, y: -1 if is_sea(x, y) else owner(x, y), border)
    return cv


def pic_roads(rng, w, h):
    green = fbm(rng, 3, 3)
    cv = Canvas(w, h)
    cv.fill(lambda x, y: (214, 230, 200) if green(x / w, y / h) > 0.58 else (243, 240, 232))
    towns = [((i % 3 + rng.uniform(0.2, 0.8)) * w / 3, (i // 3 + rng.uniform(0.2, 0.8)) * h / 2) for i in range(6)]
    towns = [towns[i] for i in (0, 1, 2, 5, 4, 3)]
    for tx, ty in towns:
        for y in range(int(ty) - 3, int(ty) + 4):
            for x in range(int(tx) - 4, int(tx) + 5):
                if (x - tx) ** 2 / 16 + (y - ty) ** 2 / 9 < 1:
                    cv.set(x, y, (236, 206, 200))
    minor = [wiggly(rng, towns[i], (rng.uniform(0, w), rng.choice((0, h - 1))), 4, 0.2) for i in range(6)]
    major = [wiggly(rng, towns[i], towns[i + 1], 4, 0.18) for i in range(5)]
    for pts in minor:
        cv.polyline(pts, (170, 170, 170), 3)
    for pts in minor:
        cv.polyline(pts, (255, 255, 255), 1)
    for pts in major:
        cv.polyline(pts, (150, 70, 40), 3)
    for pts in major:
        cv.polyline(pts, (240, 150, 70), 1)
    return cv


def pic_rail(rng, w, h):
    cv = Canvas(w, h, (246, 245, 238))
    fields = fbm(rng, 3, 3)
    cv.fill(lambda x, y: (226, 236, 214) if fields(x / w, y / h) > 0.56 else (246, 245, 238))
    stations = [((i + rng.uniform(0.2, 0.8)) * w / 5, rng.uniform(10, h - 10)) for i in range(5)]
    lines = [wiggly(rng, (0, rng.uniform(10, h - 10)), stations[0], 3, 0.12)]
    lines += [wiggly(rng, stations[i], stations[i + 1], 3, 0.12) for i in range(4)]
    lines.append(wiggly(rng, stations[2], (rng.uniform(20, w - 20), h - 1), 3, 0.12))
    lines.append(wiggly(rng, stations[4], (w - 1, rng.uniform(10, h - 10)), 3, 0.12))
    for pts in lines:
        cv.polyline(pts, (30, 30, 30), 3)
    for pts in lines:
        cv.polyline(pts, (255, 255, 255), 1, dash=3)
    for sx, sy in stations:
        cv.rect(int(sx) - 2, int(sy) - 2, int(sx) + 2, int(sy) + 2, (30, 30, 30))
        cv.rect(int(sx) - 1, int(sy) - 1, int(sx) + 1, int(sy) + 1, (255, 255, 255))
    return cv


def pic_river(rng, w, h):
    ground = fbm(rng, 4, 3)
    cv = Canvas(w, h)
    cv.fill(lambda x, y: ramp([(120, 160, 80), (160, 190, 110), (200, 210, 150)], ground(x / w, y / h) * 1.6 - 0.3))
    phase, amp = rng.uniform(0, 6.28), rng.uniform(8, 14)
    main = [(x, h * 0.5 + amp * math.sin(x / w * 9 + phase) + 5 * math.sin(x / 7.0)) for x in range(0, w + 4, 4)]
    for i in range(5):
        x0 = rng.uniform(10, w - 10)
        j = min(int(x0 / 4), len(main) - 1)
        top = rng.random() < 0.5
        start = (x0 + rng.uniform(-25, 25), -1 if top else h)
        cv.polyline(wiggly(rng, start, main[j], 4, 0.3), (70, 130, 200), 1)
    for k, (p, q) in enumerate(zip(main, main[1:])):
        cv.line(p[0], p[1], q[0], q[1], (40, 100, 190), 2 if k < len(main) // 2 else 3)
    lx, ly = rng.uniform(20, w - 20), rng.uniform(10, 25)
    for y in range(h):
        for x in range(w):
            if ((x - lx) / 7) ** 2 + ((y - ly) / 4) ** 2 < 1:
                cv.set(x, y, (70, 130, 200))
    return cv


HYPSO = [(88, 150, 90), (150, 190, 110), (226, 220, 150), (200, 160, 100), (160, 110, 80), (240, 240, 240)]


def pic_contours(rng, w, h):
    height = fbm(rng, 3, 4)
    cv = Canvas(w, h)
    cv.fill(lambda x, y: ramp(HYPSO, height(x / w, y / h) * 1.8 - 0.4))
    outline_where(cv, lambda x, y: int(height(x / w, y / h) * 14), (130, 90, 60))
    return cv


def pic_ortho(rng, w, h):
    crops = [(124, 140, 80), (150, 160, 90), (196, 184, 124), (110, 125, 70), (172, 150, 104), (92, 112, 62)]
    _, owner = voronoi(rng, w, h, 26, 3.0)
    wood = fbm(rng, 3, 4)
    tone = [rng.choice(crops) for _ in range(26)]
    grain = seeded("grain")
    cv = Canvas(w, h)

    def colour(x, y):
        if wood(x / w, y / h) > 0.6:
            return jitter((58, 84, 46), grain, 12)
        return jitter(tone[owner(x, y)], grain, 6)
    cv.fill(colour)
    cv.polyline(wiggly(rng, (0, rng.uniform(20, 60)), (w - 1, rng.uniform(20, 60)), 4, 0.1), (200, 196, 186), 2)
    vx, vy = rng.uniform(30, 90), rng.uniform(20, 60)
    for _ in range(14):
        bx, by = int(vx + rng.uniform(-10, 10)), int(vy + rng.uniform(-7, 7))
        cv.rect(bx, by, bx + 1, by + 1, (170, 90, 80))
    return cv


def pic_geology(rng, w, h, palette, hatch=False):
    warp = fbm(rng, 3, 3)
    phase = rng.uniform(0, 6.28)

    def unit(x, y):
        u, v = x / w, y / h
        return int(v * 6 + 0.9 * math.sin(u * 9.4 + phase) + warp(u, v) * 2.4)

    cv = Canvas(w, h)

    def colour(x, y):
        k = unit(x, y)
        c = palette[k % len(palette)]
        if hatch and k % 2 and (x + y) % 5 == 0:
            return mix(c, (40, 60, 120), 0.5)
        return c
    cv.fill(colour)
    outline_where(cv, unit, (110, 90, 90))
    fx = rng.uniform(30, 90)
    cv.line(fx, 0, fx + rng.uniform(-30, 30), h - 1, (60, 40, 40), 1)
    return cv


def pic_hillshade(rng, w, h):
    height = fbm(rng, 3, 5)
    cv = Canvas(w, h)

    def colour(x, y):
        u, v = x / w, y / h
        e = height(u, v)
        if e < 0.3:
            return (104, 160, 214)
        dx = (height(u + 1.0 / w, v) - height(u - 1.0 / w, v)) * w
        dy = (height(u, v + 1.0 / h) - height(u, v - 1.0 / h)) * h
        shade = 0.85 + (-dx - dy) * 0.06
        base = ramp(HYPSO, e * 1.8 - 0.45)
        return mix((20, 20, 30), base, shade) if shade < 1 else mix(base, (255, 255, 255), shade - 1)
    cv.fill(colour)
    return cv


def pic_lakes(rng, w, h):
    ground = fbm(rng, 4, 3)
    cv = Canvas(w, h)
    cv.fill(lambda x, y: ramp([(110, 155, 80), (170, 200, 120), (214, 218, 160)], ground(x / w, y / h) * 1.6 - 0.3))
    big = (rng.uniform(0.4, 0.55), rng.uniform(0.78, 0.86))
    for y in range(h):
        for x in range(w):
            u, v = x / w, y / h
            bend = 0.08 * math.cos((u - big[0]) * 5)
            if ((u - big[0]) / 0.42) ** 2 + ((v - big[1] + bend) / 0.1) ** 2 < 1:
                cv.set(x, y, (84, 140, 204))
            ru, rv = (u - 0.72) * 0.8 + (v - 0.3) * 0.6, -(u - 0.72) * 0.6 + (v - 0.3) * 0.8
            if (ru / 0.2) ** 2 + (rv / 0.05) ** 2 < 1:
                cv.set(x, y, (84, 140, 204))
    cv.polyline(wiggly(rng, (w * 0.78, h * 0.42), (w - 1, h * 0.1), 4, 0.25), (84, 140, 204), 1)
    cv.polyline(wiggly(rng, (w * 0.2, 0), (w * 0.35, h * 0.75), 4, 0.25), (84, 140, 204), 1)
    return cv


def pic_satellite(rng, w, h):
    noise = fbm(rng, 3, 5)
    cloud = fbm(rng, 4, 4)

    def height(u, v):
        return noise(u, v) + 0.1 * (1 - v)
    sea = level(height, w, h, 0.35)
    haze = level(cloud, w, h, 0.85)
    cv = Canvas(w, h)

    def colour(x, y):
        u, v = x / w, y / h
        e = height(u, v)
        if e < sea:
            base = ramp([(14, 38, 74), (30, 70, 110)], 1 - (sea - e) / 0.15)
        else:
            base = ramp([(66, 98, 52), (98, 120, 64), (132, 114, 84), (160, 150, 140), (238, 240, 246)], (e - sea) / 0.3)
        c = cloud(u, v)
        return mix(base, (248, 248, 250), (c - haze) * 6) if c > haze else base
    cv.fill(colour)
    return cv


def sepia(cv):
    def tone(c):
        g = (c[0] * 30 + c[1] * 59 + c[2] * 11) / 100
        return mix((70, 50, 30), (250, 236, 206), g / 255)
    cv.map(tone)
    return cv


ADMIN_PASTEL = [(251, 180, 174), (179, 205, 227), (204, 235, 197), (222, 203, 228), (254, 217, 166),
                (255, 255, 204), (229, 216, 189), (253, 218, 236)]
EUROPE_PASTEL = [(141, 211, 199), (255, 255, 179), (190, 186, 218), (251, 128, 114), (128, 177, 211),
                 (253, 180, 98), (179, 222, 105), (252, 205, 229), (217, 217, 217)]
GEOLOGY = [(247, 190, 180), (250, 212, 142), (255, 240, 170), (204, 184, 222), (184, 212, 160), (232, 164, 124)]
AQUIFER = [(198, 219, 239), (158, 202, 225), (107, 174, 214), (222, 235, 247), (66, 146, 198)]


def picture(style, name, w=THUMB_W, h=THUMB_H):
    rng = seeded(style + "/" + name)
    if style == "world":
        return pic_world(rng, w, h)
    if style == "climate":
        return pic_climate(rng, w, h)
    if style == "departements":
        return pic_polygons(rng, w, h, ADMIN_PASTEL, 14, sea=lambda u, v: u * 1.6 - 0.05 - 0.8 * (v - 0.5) ** 2)
    if style == "nuts":
        return pic_polygons(rng, w, h, EUROPE_PASTEL, 30, (90, 90, 110), sea=lambda u, v: 0.55 - 0.6 * v + 0.5 * abs(u - 0.5))
    if style == "roads":
        return pic_roads(rng, w, h)
    if style == "roads-old":
        return sepia(pic_roads(rng, w, h))
    if style == "rail":
        return pic_rail(rng, w, h)
    if style == "river":
        return pic_river(rng, w, h)
    if style == "contours":
        return pic_contours(rng, w, h)
    if style == "ortho":
        return pic_ortho(rng, w, h)
    if style == "geology":
        return pic_geology(rng, w, h, GEOLOGY)
    if style == "aquifer":
        return pic_geology(rng, w, h, AQUIFER, hatch=True)
    if style == "hillshade":
        return pic_hillshade(rng, w, h)
    if style == "lakes":
        return pic_lakes(rng, w, h)
    if style == "satellite":
        return pic_satellite(rng, w, h)
    raise ValueError(style)


def base64_lines(data):
    text = base64.b64encode(data).decode("ascii")
    return "\n".join(text[i:i + 76] for i in range(0, len(text), 76))


# ---------------------------------------------------------------------------
# Data files
# ---------------------------------------------------------------------------

PROJECTIONS = {
    "wgs84": {
        "wkt": 'GEOGCS["GCS_WGS_1984",DATUM["D_WGS_1984",SPHEROID["WGS_1984",6378137.0,298.257223563]],'
               'PRIMEM["Greenwich",0.0],UNIT["Degree",0.0174532925199433]]',
    },
    "lambert93": {
        "wkt": 'PROJCS["RGF_1993_Lambert_93",GEOGCS["GCS_RGF_1993",DATUM["D_RGF_1993",'
               'SPHEROID["GRS_1980",6378137.0,298.257222101]],PRIMEM["Greenwich",0.0],'
               'UNIT["Degree",0.0174532925199433]],PROJECTION["Lambert_Conformal_Conic"],'
               'PARAMETER["False_Easting",700000.0],PARAMETER["False_Northing",6600000.0],'
               'PARAMETER["Central_Meridian",3.0],PARAMETER["Standard_Parallel_1",44.0],'
               'PARAMETER["Standard_Parallel_2",49.0],PARAMETER["Latitude_Of_Origin",46.5],UNIT["Meter",1.0]]',
        "projcs": "RGF_1993_Lambert_93", "geogcs": "GCS_RGF_1993", "datum": "D_RGF_1993",
        "ellips": "Geodetic Reference System 80", "semiaxis": "6378137.000000", "denflat": "298.257222",
        "mapprojn": "Lambert Conformal Conic",
        "params": ("lambertc", [("stdparll", "44.000000"), ("stdparll", "49.000000"), ("longcm", "3.000000"),
                                ("latprjo", "46.500000"), ("feast", "700000.000000"), ("fnorth", "6600000.000000")]),
    },
    "lambert2e": {
        "wkt": 'PROJCS["NTF_Paris_Lambert_II_Etendu",GEOGCS["GCS_NTF_Paris",DATUM["D_NTF",'
               'SPHEROID["Clarke_1880_IGN",6378249.2,293.4660212936265]],PRIMEM["Paris",2.337229166666667],'
               'UNIT["Grad",0.01570796326794897]],PROJECTION["Lambert_Conformal_Conic"],'
               'PARAMETER["False_Easting",600000.0],PARAMETER["False_Northing",2200000.0],'
               'PARAMETER["Central_Meridian",0.0],PARAMETER["Standard_Parallel_1",52.0],'
               'PARAMETER["Scale_Factor",0.99987742],PARAMETER["Latitude_Of_Origin",52.0],UNIT["Meter",1.0]]',
        "projcs": "NTF_Paris_Lambert_II_Etendu", "geogcs": "GCS_NTF_Paris", "datum": "D_NTF",
        "ellips": "Clarke 1880 (IGN)", "semiaxis": "6378249.200000", "denflat": "293.466021",
        "mapprojn": "Lambert Conformal Conic",
        "params": ("lambertc", [("stdparll", "46.800000"), ("longcm", "2.337229"), ("latprjo", "46.800000"),
                                ("feast", "600000.000000"), ("fnorth", "2200000.000000")]),
    },
    "lv03": {
        "wkt": 'PROJCS["CH1903_LV03",GEOGCS["GCS_CH1903",DATUM["D_CH1903",'
               'SPHEROID["Bessel_1841",6377397.155,299.1528128]],PRIMEM["Greenwich",0.0],'
               'UNIT["Degree",0.0174532925199433]],PROJECTION["Hotine_Oblique_Mercator_Azimuth_Center"],'
               'PARAMETER["False_Easting",600000.0],PARAMETER["False_Northing",200000.0],'
               'PARAMETER["Scale_Factor",1.0],PARAMETER["Azimuth",90.0],'
               'PARAMETER["Longitude_Of_Center",7.439583333333333],'
               'PARAMETER["Latitude_Of_Center",46.95240555555556],UNIT["Meter",1.0]]',
        "projcs": "CH1903_LV03", "geogcs": "GCS_CH1903", "datum": "D_CH1903",
        "ellips": "Bessel 1841", "semiaxis": "6377397.155000", "denflat": "299.152813",
        "mapprojn": "Hotine Oblique Mercator",
        "params": ("obqmerc", [("sfctrlin", "1.000000"), ("obqlazim", None), ("latprjo", "46.952406"),
                               ("feast", "600000.000000"), ("fnorth", "200000.000000")]),
    },
    "laea": {
        "wkt": 'PROJCS["ETRS_1989_LAEA",GEOGCS["GCS_ETRS_1989",DATUM["D_ETRS_1989",'
               'SPHEROID["GRS_1980",6378137.0,298.257222101]],PRIMEM["Greenwich",0.0],'
               'UNIT["Degree",0.0174532925199433]],PROJECTION["Lambert_Azimuthal_Equal_Area"],'
               'PARAMETER["False_Easting",4321000.0],PARAMETER["False_Northing",3210000.0],'
               'PARAMETER["Central_Meridian",10.0],PARAMETER["Latitude_Of_Origin",52.0],UNIT["Meter",1.0]]',
        "projcs": "ETRS_1989_LAEA", "geogcs": "GCS_ETRS_1989", "datum": "D_ETRS_1989",
        "ellips": "Geodetic Reference System 80", "semiaxis": "6378137.000000", "denflat": "298.257222",
        "mapprojn": "Lambert Azimuthal Equal Area",
        "params": ("lamberta", [("longpc", "10.000000"), ("latprjc", "52.000000"),
                                ("feast", "4321000.000000"), ("fnorth", "3210000.000000")]),
    },
}


def write(path, data):
    path.parent.mkdir(parents=True, exist_ok=True)
    if isinstance(data, str):
        data = data.encode("utf-8")
    path.write_bytes(data)


def placeholder(path, what):
    write(path, "Atlasdesk demo server: placeholder for %s (%s).\n" % (what, path.name))


def dbf_bytes(fields, records, date=(2008, 1, 1)):
    """dBase III table; fields are (name, type C/N, width, decimals)."""
    reclen = 1 + sum(f[2] for f in fields)
    # Language driver 0x57: ANSI (windows-1252), as ArcGIS writes it.
    out = bytearray(struct.pack("<BBBBIHH17xB2x", 3, date[0] - 1900, date[1], date[2],
                                len(records), 32 + 32 * len(fields) + 1, reclen, 0x57))
    for name, kind, width, dec in fields:
        out += struct.pack("<11sc4xBB14x", name.encode("ascii"), kind.encode("ascii"), width, dec)
    out += b"\r"
    for rec in records:
        out += b" "
        for (name, kind, width, dec), value in zip(fields, rec):
            if kind == "N":
                text = ("%.*f" % (dec, value)).rjust(width)
            else:
                text = str(value).ljust(width)
            out += text.encode("cp1252")[:width]
    out += b"\x1a"
    return bytes(out)


def shape_geometries(rng, kind, box, count):
    l, r, b, t = box
    dx, dy = r - l, t - b
    shapes = []
    for _ in range(count):
        if kind == 1:
            shapes.append([[(rng.uniform(l, r), rng.uniform(b, t))]])
        elif kind == 3:
            x0, y0 = rng.uniform(l, r), rng.uniform(b, t)
            pts = [(x0, y0)]
            for _ in range(rng.randint(3, 7)):
                x0 = min(r, max(l, x0 + rng.uniform(-0.12, 0.12) * dx))
                y0 = min(t, max(b, y0 + rng.uniform(-0.12, 0.12) * dy))
                pts.append((x0, y0))
            shapes.append([pts])
        else:
            cx, cy = rng.uniform(l + 0.15 * dx, r - 0.15 * dx), rng.uniform(b + 0.15 * dy, t - 0.15 * dy)
            n = rng.randint(5, 9)
            ring = []
            for i in range(n):
                a = -2 * math.pi * i / n          # clockwise: outer ring
                k = rng.uniform(0.05, 0.14)
                ring.append((cx + k * dx * math.cos(a), cy + k * dy * math.sin(a)))
            ring.append(ring[0])
            shapes.append([ring])
    return shapes


def write_shapefile(base, kind, box, fields, records, proj, date):
    """A small but valid shapefile: .shp, .shx, .dbf and .prj."""
    rng = seeded("shape/" + base.name)
    shapes = shape_geometries(rng, kind, box, len(records))
    contents = []
    for parts in shapes:
        pts = [p for part in parts for p in part]
        if kind == 1:
            contents.append(struct.pack("<idd", 1, pts[0][0], pts[0][1]))
            continue
        xs, ys = [p[0] for p in pts], [p[1] for p in pts]
        c = struct.pack("<i4dii", kind, min(xs), min(ys), max(xs), max(ys), len(parts), len(pts))
        start = 0
        for part in parts:
            c += struct.pack("<i", start)
            start += len(part)
        for x, y in pts:
            c += struct.pack("<2d", x, y)
        contents.append(c)
    allpts = [p for parts in shapes for part in parts for p in part]
    bbox = (min(p[0] for p in allpts), min(p[1] for p in allpts), max(p[0] for p in allpts), max(p[1] for p in allpts))

    def header(length_bytes):
        return (struct.pack(">7i", 9994, 0, 0, 0, 0, 0, length_bytes // 2)
                + struct.pack("<2i4d4d", 1000, kind, *bbox, 0.0, 0.0, 0.0, 0.0))

    body, index, offset = bytearray(), bytearray(), 100
    for i, c in enumerate(contents):
        body += struct.pack(">2i", i + 1, len(c) // 2) + c
        index += struct.pack(">2i", offset // 2, len(c) // 2)
        offset += 8 + len(c)
    write(base.with_suffix(".shp"), header(100 + len(body)) + bytes(body))
    write(base.with_suffix(".shx"), header(100 + len(index)) + bytes(index))
    write(base.with_suffix(".dbf"), dbf_bytes(fields, records, date))
    write(base.with_suffix(".prj"), PROJECTIONS[proj]["wkt"])
    return len(records)


def tiff_bytes(cv):
    """Uncompressed RGB TIFF of the canvas (little-endian, one strip)."""
    w, h = cv.w, cv.h
    pixels = b"".join(bytes(c) for row in cv.px for c in row)
    entries = [(256, 3, 1, w), (257, 3, 1, h), (258, 3, 3, None), (259, 3, 1, 1), (262, 3, 1, 2),
               (273, 4, 1, None), (277, 3, 1, 3), (278, 3, 1, h), (279, 4, 1, len(pixels)), (284, 3, 1, 1)]
    ifd_size = 2 + 12 * len(entries) + 4
    bps_at = 8 + ifd_size
    data_at = bps_at + 6
    out = bytearray(b"II*\x00" + struct.pack("<I", 8) + struct.pack("<H", len(entries)))
    for tag, typ, count, value in entries:
        if tag == 258:
            value = bps_at
        elif tag == 273:
            value = data_at
        if typ == 3 and count == 1:
            out += struct.pack("<HHIHH", tag, typ, count, value, 0)
        else:
            out += struct.pack("<HHII", tag, typ, count, value)
    out += struct.pack("<I", 0) + struct.pack("<3H", 8, 8, 8) + pixels
    return bytes(out)


def pdf_bytes(title, lines):
    """One-page PDF with Helvetica text (WinAnsi encoding)."""
    def esc(s):
        return s.replace("\\", "\\\\").replace("(", "\\(").replace(")", "\\)")
    text = "BT /F1 16 Tf 56 780 Td (%s) Tj /F1 11 Tf 0 -28 Td 14 TL\n" % esc(title)
    for line in lines:
        text += "(%s) '\n" % esc(line)
    text += "ET\n"
    stream = text.encode("cp1252")
    objs = [b"<< /Type /Catalog /Pages 2 0 R >>",
            b"<< /Type /Pages /Kids [3 0 R] /Count 1 >>",
            b"<< /Type /Page /Parent 2 0 R /MediaBox [0 0 595 842] /Contents 4 0 R "
            b"/Resources << /Font << /F1 5 0 R >> >> >>",
            b"<< /Length %d >>\nstream\n" % len(stream) + stream + b"endstream",
            b"<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica /Encoding /WinAnsiEncoding >>"]
    out = bytearray(b"%PDF-1.4\n%\xe2\xe3\xcf\xd3\n")
    offsets = []
    for i, o in enumerate(objs):
        offsets.append(len(out))
        out += b"%d 0 obj\n" % (i + 1) + o + b"\nendobj\n"
    xref = len(out)
    out += b"xref\n0 %d\n0000000000 65535 f \n" % (len(objs) + 1)
    for off in offsets:
        out += b"%010d 00000 n \n" % off
    out += b"trailer\n<< /Size %d /Root 1 0 R >>\nstartxref\n%d\n%%%%EOF\n" % (len(objs) + 1, xref)
    return bytes(out)


def spreadsheet_xml(sheet, header, rows):
    """SpreadsheetML 2003 workbook: opens in spreadsheet programs as .xls."""
    def cell(v):
        kind = "Number" if isinstance(v, (int, float)) else "String"
        return '<Cell><Data ss:Type="%s">%s</Data></Cell>' % (kind, xml_escape(str(v)))
    lines = ['<?xml version="1.0" encoding="UTF-8"?>', '<?mso-application progid="Excel.Sheet"?>',
             '<Workbook xmlns="urn:schemas-microsoft-com:office:spreadsheet"',
             ' xmlns:ss="urn:schemas-microsoft-com:office:spreadsheet">',
             ' <Worksheet ss:Name="%s">' % sheet, '  <Table>']
    for r in [header] + rows:
        lines.append('   <Row>' + "".join(cell(v) for v in r) + '</Row>')
    lines += ['  </Table>', ' </Worksheet>', '</Workbook>', '']
    return "\n".join(lines)


def hfa_placeholder(path, what):
    """ERDAS HFA files (.img, .aux, .rrd) begin with this tag."""
    write(path, b"EHFA_HEADER_TAG\x00" + struct.pack("<I", 20) + b"\x00" * 12
          + ("Atlasdesk demo server: placeholder for %s.\n" % what).encode("ascii"))


def tree_size(paths):
    return sum(p.stat().st_size for p in paths)


# ---------------------------------------------------------------------------
# ESRI-profile metadata documents
# ---------------------------------------------------------------------------

def xml_escape(s):
    return s.replace("&", "&amp;").replace("<", "&lt;").replace(">", "&gt;")


def E(tag, *children, attrs=None, **kw):
    a = dict(attrs or {})
    a.update(kw)
    return (tag, a, [c for c in children if c is not None])


def S(tag, text):
    """An element that ArcCatalog keeps in step with the data (Sync="TRUE")."""
    return E(tag, text, Sync="TRUE")


def render(node, depth=0):
    tag, attrs, children = node
    ind = "\t" * depth
    a = "".join(' %s="%s"' % (k, xml_escape(v).replace('"', "&quot;")) for k, v in attrs.items())
    if not children:
        return [ind + "<%s%s/>" % (tag, a)]
    if all(isinstance(c, str) for c in children):
        return [ind + "<%s%s>%s</%s>" % (tag, a, xml_escape("".join(children)), tag)]
    out = [ind + "<%s%s>" % (tag, a)]
    for c in children:
        out += render(c, depth + 1)
    out.append(ind + "</%s>" % tag)
    return out


def meta_id(path):
    h = hashlib.md5(path.encode("utf-8")).hexdigest().upper()
    return "{%s-%s-%s-%s-%s}" % (h[:8], h[8:12], h[12:16], h[16:20], h[20:32])


def windows_path(rel):
    return UNC_ROOT + "\\" + rel.replace("/", "\\")


def contact(c, person_first=True):
    org, person, pos, address, city, postal, country, voice, email = c
    names = [E("cntper", person), E("cntorg", org)] if person_first else [E("cntorg", org), E("cntper", person)]
    return E("cntinfo",
             E("cntperp" if person_first else "cntorgp", *names),
             E("cntpos", pos),
             E("cntaddr", E("addrtype", "mailing and physical address"), E("address", address),
               E("city", city), E("postal", postal), E("country", country)),
             E("cntvoice", voice),
             E("cntemail", email))


def spref(proj):
    p = PROJECTIONS[proj]
    if proj == "wgs84":
        return E("spref", E("horizsys",
                            E("geograph", S("latres", "0.000001"), S("longres", "0.000001"),
                              S("geogunit", "Decimal degrees")),
                            E("geodetic", S("horizdn", "D_WGS_1984"), S("ellips", "WGS_1984"),
                              S("semiaxis", "6378137.000000"), S("denflat", "298.257224")),
                            E("cordsysn", S("geogcsn", "GCS_WGS_1984"))))
    kind, params = p["params"]
    values = []
    for name, value in params:
        if name == "obqlazim":
            values.append(E("obqlazim", S("azimangl", "90.000000"), S("azimptl", "7.439583")))
        else:
            values.append(S(name, value))
    return E("spref", E("horizsys",
                        E("planar",
                          E("mapproj", S("mapprojn", p["mapprojn"]), E(kind, *values)),
                          E("planci", S("plance", "coordinate pair"),
                            E("coordrep", S("absres", "0.000512"), S("ordres", "0.000512")),
                            S("plandu", "meters"))),
                        E("geodetic", S("horizdn", p["datum"]), S("ellips", p["ellips"]),
                          S("semiaxis", p["semiaxis"]), S("denflat", p["denflat"])),
                        E("cordsysn", S("geogcsn", p["geogcs"]), S("projcsn", p["projcs"]))))


def attr_elements(entity, attrs, source):
    out = [E("attr", S("attrlabl", "FID"), S("attalias", "FID"), S("attrtype", "OID"), S("attwidth", "4"),
             S("atprecis", "0"), S("attscale", "0"), S("attrdef", "Internal feature number."),
             S("attrdefs", "ESRI"),
             E("attrdomv", S("udom", "Sequential unique whole numbers that are automatically generated.")))]
    if entity == "Feature Class":
        out.append(E("attr", S("attrlabl", "Shape"), S("attalias", "Shape"), S("attrtype", "Geometry"),
                     S("attwidth", "0"), S("atprecis", "0"), S("attscale", "0"),
                     S("attrdef", "Feature geometry."), S("attrdefs", "ESRI"),
                     E("attrdomv", S("udom", "Coordinates defining the features."))))
    for label, kind, width, dec, definition, domain in attrs:
        kind_name = "Double" if kind == "N" and dec else "Integer" if kind == "N" else "String"
        out.append(E("attr", S("attrlabl", label), S("attalias", label), S("attrtype", kind_name),
                     S("attwidth", str(width)), S("atprecis", str(width if kind == "N" else 0)),
                     S("attscale", str(dec)), E("attrdef", definition), E("attrdefs", source),
                     E("attrdomv", E("udom", domain))))
    return out


def metadata_tree(ds):
    """The metadata element of one data set, in the ArcGIS 9 ESRI profile."""
    lang = ds["lang"]
    rel = ds["path"]
    name = ds.get("ftname", Path(rel).stem if not ds.get("is_dir") else Path(rel).name)
    crea = ds["created"]
    esri = [S("CreaDate", crea[0]), S("CreaTime", crea[1]), E("SyncOnce", "FALSE"),
            S("SyncDate", ds["metd"]), S("SyncTime", crea[2]), S("ModDate", ds["metd"]),
            S("ModTime", crea[2]), E("MetaID", meta_id(rel)),
            E("DataProperties", E("itemProps", S("itemName", name), S("imsContentType", "002"),
                                  E("itemLocation", S("linkage", "file://" + windows_path(ds.get("linkage", rel))),
                                    S("protocol", "Local Area Network"))))]
    if ds.get("arcgis10"):
        esri = [E("ArcGISFormat", "1.0"), E("ArcGISstyle", "FGDC CSDGM Metadata"),
                E("ArcGISProfile", "ItemDescription")] + esri

    bbox = ds["bbox"]
    spdom = [E("bounding", S("westbc", "%.6f" % bbox[0]), S("eastbc", "%.6f" % bbox[1]),
               S("northbc", "%.6f" % bbox[2]), S("southbc", "%.6f" % bbox[3]))]
    if ds.get("lbox"):
        lb = ds["lbox"]
        spdom.append(E("lbounding", S("leftbc", "%.6f" % lb[0]), S("rightbc", "%.6f" % lb[1]),
                       S("bottombc", "%.6f" % lb[2]), S("topbc", "%.6f" % lb[3])))

    citeinfo = [E("origin", ds["origin"]), E("pubdate", ds["pubdate"]), E("title", ds["title"], Sync="FALSE"),
                E("edition", ds["edition"]), S("geoform", ds["geoform"]),
                E("serinfo", E("sername", ds.get("sername", "Catalogue des géodonnées")),
                  E("issue", ds["issue"], attrs=ds.get("issue_attrs"))),
                E("pubinfo", E("pubplace", ds["pubplace"]), E("publish", ds["origin"])),
                E("onlink", ds["onlink"]), S("ftname", name)]

    descript = [S("langdata", lang), E("abstract", ds["abstract"]), E("purpose", ds["purpose"])]
    if ds.get("supplinf"):
        descript.append(E("supplinf", ds["supplinf"]))

    keywords = [E("theme", E("themekt", "Thèmes du serveur" if lang == "fr" else "Server themes"),
                  *[E("themekey", k) for k in ds["themekeys"]]),
                E("place", E("placekt", "Lieux" if lang == "fr" else "Places"),
                  *[E("placekey", k) for k in ds["placekeys"]])]

    idinfo = [S("native", ds["native"]),
              E("descript", *descript),
              E("citation", E("citeinfo", *citeinfo)),
              E("timeperd", E("timeinfo", E("sngdate", E("caldate", ds["pubdate"][:4]))),
                E("current", "publication date")),
              E("status", E("progress", ds.get("progress", "Complete")), E("update", ds.get("update", "As needed"))),
              E("spdom", *spdom),
              E("keywords", *keywords),
              E("accconst", ds.get("accconst", "Aucune" if lang == "fr" else "None")),
              E("useconst", ds["useconst"]),
              E("ptcontac", contact(ds["creator"]))]
    if ds.get("browsen"):
        idinfo.append(E("browse", E("browsen", ds["browsen"]),
                        E("browsed", "Aperçu de la donnée" if lang == "fr" else "Preview of the data"),
                        E("browset", ds.get("browset", "BMP"))))
    idinfo += [E("secinfo", E("secsys", "Diffusion" if lang == "fr" else "Release"), E("secclass", ds["secclass"]),
                 E("sechandl", ds.get("sechandl", "Sans restriction" if lang == "fr" else "None"))),
               S("natvform", ds["natvform"])]

    children = [E("Esri", *esri), E("idinfo", *idinfo)]

    dataqual = E("dataqual",
                 E("lineage",
                   E("srcinfo",
                     E("srccite", E("citeinfo", E("title", ds["srctitle"]))),
                     E("srcscale", str(ds["srcscale"])) if ds.get("srcscale") else None,
                     E("typesrc", ds.get("typesrc", "digital file")),
                     E("srccitea", ds.get("srccitea", "SRC1")),
                     E("srccontr", ds.get("srccontr", "Données de base" if lang == "fr" else "Base data"))),
                   E("procstep", E("procdesc", ds["procdesc"]), E("procdate", ds["procdate"]))))
    children.append(dataqual)

    if ds.get("spdoinfo"):
        children.append(ds["spdoinfo"])
    if ds.get("proj"):
        children.append(spref(ds["proj"]))
    if ds.get("attrs") is not None:
        entity = ds.get("entity", "Feature Class")
        children.append(E("eainfo", E("detailed",
                                      E("enttyp", S("enttypl", name), S("enttypt", entity),
                                        S("enttypc", str(ds.get("count", 0))),
                                        E("enttypd", ds.get("enttypd", ds["title"])),
                                        E("enttypds", ds["origin"])),
                                      *attr_elements(entity, ds["attrs"], ds["origin"]), attrs={"Name": name})))

    dist = ds["distributor"]
    children.append(E("distinfo",
                      E("distrib", contact(dist, person_first=False)),
                      S("resdesc", "Downloadable Data"),
                      E("distliab", ds.get("distliab", "Les données sont fournies en l'état, sans garantie."
                                            if lang == "fr" else "The data are supplied as they are, without warranty.")),
                      E("stdorder",
                        E("digform",
                          E("digtinfo", S("formname", ds["natvform"]), S("transize", ds["transize"])),
                          E("digtopt", E("onlinopt", E("computer", E("networka", E("networkr", ds["networkr"])))))),
                        E("fees", ds.get("fees", "Gratuit" if lang == "fr" else "None")),
                        E("ordering", ds["ordering"]))))

    metainfo = [S("langmeta", lang), S("metd", ds["metd"]),
                E("metc", contact(ds["metc"])),
                S("metstdn", "FGDC Content Standards for Digital Geospatial Metadata"),
                S("metstdv", "FGDC-STD-001-1998"), S("mettc", "local time"),
                E("metextns", S("onlink", "http://www.esri.com/metadata/esriprof80.html"),
                  S("metprof", "ESRI Metadata Profile"))]
    if ds.get("stamp"):
        st = ds["stamp"]
        ads = [E("ignore", st["ignore"])] if st.get("ignore") else []
        ads += [E("modifdate", st["date"]), E("modiftime", st["time"]), E("manager", st["manager"])]
        metainfo.append(E("atlasdesk", *ads, version=st["version"]))
        for i, c in enumerate(metainfo):
            if c[0] == "metc":
                metainfo[i] = E("metc", E("cntinfo", E("cntorgp", E("cntper", "Atlasdesk geodata manager")),
                                          E("cntemail", "geodata@atlasdesk.org")),
                                E("metd", st["date"]))
    children.append(E("metainfo", *metainfo))

    if ds.get("arcgis10"):
        children.append(E("mdDateSt", ds["metd"], Sync="TRUE"))
        children.append(E("dataIdInfo",
                          E("idCitation", E("resTitle", ds["title"]),
                            E("date", E("pubDate", ds["pubdate"][:4] + "-" + ds["pubdate"][4:6] + "-"
                                        + ds["pubdate"][6:] + "T00:00:00"))),
                          E("idAbs", ds["abstract"]),
                          E("searchKeys", *[E("keyword", k) for k in ds["themekeys"]])))

    thumb = ds.get("thumbnail")
    if thumb:
        cv = picture(thumb, rel)
        if ds.get("thumbnail_png"):
            data, kind = cv.png(), "PictureX"
        else:
            data, kind = cv.bmp(), "Picture"
        children.append(E("Binary", E("Thumbnail", E("Data", base64_lines(data), EsriPropertyType=kind))))

    return E("metadata", *children, attrs={"xml:lang": lang})


def write_metadata(path, ds):
    """Serialise a metadata document in the encoding style the data set asks for."""
    style = ds.get("style", "utf8")
    body = render(metadata_tree(ds))
    declared = {"latin1": "ISO-8859-1", "latin1-utf8": "ISO-8859-1", "latin1-cp1252": "ISO-8859-1",
                "utf16": "UTF-16"}.get(style, "UTF-8")
    head = []
    if style != "no-decl":
        head.append('<?xml version="1.0" encoding="%s"?>' % declared)
    if style == "commented-doctype":
        head[0] = '<?xml version="1.0" ?>'
        head.append("<!--" + DOCTYPE + "-->")
    elif style != "no-decl":
        head.append(DOCTYPE)
    newline = "\r\n" if ds.get("crlf") else "\n"
    text = newline.join(head + body) + newline
    if style == "malformed":
        # A bare ampersand, as a hand edit or a careless export tool leaves
        # it: the file is no longer well-formed.
        text = text.replace(ds["title"].replace("&", "&amp;"), ds["title"], 1)
    if style == "latin1":
        # Characters outside Latin-1 (the en dash of some names) become
        # character references, as a careful Latin-1 writer does.
        data = text.encode("iso-8859-1", errors="xmlcharrefreplace")
    elif style == "latin1-cp1252":
        data = text.encode("cp1252")
    elif style == "utf16":
        # UTF-16 little endian behind its byte-order mark, as older desktop
        # tools of Windows wrote it.
        data = b"\xff\xfe" + text.encode("utf-16-le")
    else:
        data = text.encode("utf-8")
    if style == "utf8-bom":
        data = b"\xef\xbb\xbf" + data
    write(path, data)


# ---------------------------------------------------------------------------
# People, places and the data sets
# ---------------------------------------------------------------------------

C_WORLD = ("World Outline Cooperative", "Helen Marsh", "Data editor", "12 Meridian Row", "Cambridge", "CB2 1TN",
           "United Kingdom", "+44 1223 555 014", "outlines@example.org")
C_IGN = ("Institut géographique national (IGN)", "Yann Kerhervé", "Chargé de diffusion", "73 avenue de Paris",
         "Saint-Mandé", "94165", "France", "+33 1 43 98 80 00", "diffusion@ign.example.org")
C_REGION = ("Région Bretagne – Service SIG", "Anne Le Goff", "Administratrice de données",
            "283 avenue du Général Patton", "Rennes", "35711", "France", "+33 2 99 27 10 10", "sig@region-bretagne.example.org")
C_SANDRE = ("Sandre – Service d'administration nationale des données et référentiels sur l'eau", "Lucie Daniel",
            "Référente données eau", "15 rue Édouard Chamberland", "Limoges", "87065", "France",
            "+33 5 55 11 47 80", "contact@sandre.example.org")
C_BRGM = ("Bureau de recherches géologiques et minières (BRGM)", "Pierre Vidal", "Géologue cartographe",
          "117 avenue de Luminy", "Marseille", "13009", "France", "+33 4 91 17 74 77", "paca@brgm.example.org")
C_SWISSTOPO = ("Office fédéral de topographie swisstopo", "Marc Berthoud", "Responsable produits",
               "Seftigenstrasse 264", "Wabern", "3084", "Suisse", "+41 31 963 21 11", "geodata@swisstopo.example.org")
C_VAUD = ("État de Vaud – Service des eaux, sols et assainissement", "Sophie Rochat", "Géomaticienne",
          "Chemin des Boveresses 155", "Épalinges", "1066", "Suisse", "+41 21 316 75 00", "sig@sesa-vd.example.org")
C_OFS = ("Office fédéral de la statistique (OFS)", "Daniel Aeby", "GEOSTAT", "Espace de l'Europe 10",
         "Neuchâtel", "2010", "Suisse", "+41 32 713 60 11", "geostat@ofs.example.org")
C_EUROSTAT = ("Eurostat – GISCO", "Marta Kowalska", "GIS officer", "5 rue Alphonse Weicker", "Luxembourg",
              "L-2721", "Luxembourg", "+352 4301 1", "gisco@eurostat.example.org")
C_ESA = ("European Space Agency (ESA)", "Jonas Lindqvist", "Earth observation data desk", "Largo Galileo Galilei 1",
         "Frascati", "00044", "Italy", "+39 06 941 801", "eo-desk@esa.example.org")
C_SERVER = ("Atlasdesk – serveur de géodonnées", "Claire Dufour", "Gestionnaire du serveur", "1 place du Catalogue",
            "Lausanne", "1004", "Suisse", "+41 21 555 01 02", "geodata@example.org")

# Extents: (west, east, north, south) in degrees; (left, right, bottom, top) projected.
WORLD = (-180.0, 180.0, 90.0, -90.0)
FRANCE = (-5.142222, 9.560000, 51.089167, 41.333611), (99217.1, 1242375.0, 6049646.3, 7110480.1)
BRETAGNE = (-5.141270, -1.015780, 48.900820, 47.277860), (99217.1, 400562.3, 6704317.6, 6887435.2)
BRETAGNE_L2E = (70523.0, 382456.0, 2255113.0, 2447062.0)
PROVENCE = (4.230281, 7.718708, 45.126846, 42.982050), (771290.0, 1077469.0, 6133198.0, 6439723.0)
VAUD = (6.063790, 7.248860, 46.986740, 46.187040), (494540.0, 586560.0, 115900.0, 201500.0)
SWITZERLAND = (5.955870, 10.492340, 47.808380, 45.817920), (485410.0, 833840.0, 75270.0, 295930.0)
EUROPE = (-24.542500, 44.825000, 71.185000, 34.563000), (2635590.0, 6526470.0, 1385010.0, 5418370.0)

NATIVE_92 = "Microsoft Windows XP Version 5.1 (Build 2600) Service Pack 2; ESRI ArcCatalog 9.2.0.1324"
NATIVE_93 = "Microsoft Windows XP Version 5.1 (Build 2600) Service Pack 3; ESRI ArcCatalog 9.3.1.1850"
NATIVE_91 = "Microsoft Windows 2000 Version 5.0 (Build 2195) Service Pack 4; ESRI ArcCatalog 9.1.0.722"
NATIVE_10 = "Microsoft Windows 7 Version 6.1 (Build 7601) Service Pack 1; Esri ArcGIS 10.0.3.3200"

LICENCE_FR = "http://geodata.example.org/conditions/licence-ouverte.html"
LICENCE_EN = "http://geodata.example.org/terms/open-data-licence.html"


def vector_spdoinfo(name, geom, count):
    return E("spdoinfo", S("direct", "Vector"),
             E("ptvctinf",
               E("esriterm", S("efeatyp", "Simple"), S("efeageom", geom), S("esritopo", "FALSE"),
                 S("efeacnt", str(count)), S("spindex", "FALSE"), S("linrefer", "FALSE"), attrs={"Name": name}),
               E("sdtsterm", S("sdtstype", {"Point": "Entity point", "Polyline": "String",
                                            "Polygon": "G-polygon"}[geom]),
                 S("ptvctcnt", str(count)), attrs={"Name": name})))


def raster_spdoinfo(rows, cols, bands, kind="Pixel"):
    return E("spdoinfo", S("direct", "Raster"),
             E("rastinfo", S("rasttype", kind), S("rowcount", str(rows)), S("colcount", str(cols)),
               S("vrtcount", str(bands))))


def mb(n):
    return "%.3f" % (n / 1048576.0)


def base_fr(**kw):
    d = dict(lang="fr", native=NATIVE_92, secclass="Public", ordering=LICENCE_FR, metc=C_SERVER,
             pubplace="Rennes", procdate=kw.get("pubdate", "20080101"))
    d.update(kw)
    return d


def base_en(**kw):
    d = dict(lang="en", native=NATIVE_92, secclass="Unclassified", ordering=LICENCE_EN, metc=C_SERVER,
             pubplace="Cambridge", sername="Geodata catalogue", procdate=kw.get("pubdate", "20080101"))
    d.update(kw)
    return d


def build(root):
    R = root
    out = []   # (path of metadata file, data set description)

    def shp(rel, kind, box, fields, records, proj, date, meta, attrs_doc):
        base = R / rel
        count = write_shapefile(base.with_suffix(""), kind, box, fields, records, proj, date)
        parts = [base.with_suffix(s) for s in (".shp", ".shx", ".dbf", ".prj")]
        if meta is None:
            return
        geom = {1: "Point", 3: "Polyline", 5: "Polygon"}[kind]
        meta.update(path=rel, proj=proj, count=count, transize=mb(tree_size(parts)),
                    spdoinfo=vector_spdoinfo(base.stem, geom, count), natvform="Shape file",
                    geoform=meta.get("geoform", "vector digital data"),
                    attrs=[(f[0], f[1], f[2], f[3]) + attrs_doc[f[0]] for f in fields])
        out.append((R / (rel + ".xml"), meta))

    # -- 10_world ----------------------------------------------------------
    shp("10_world/countries.shp", 5, (-180, 180, -90, 90),
        [("ISO_A3", "C", 3, 0), ("NAME_EN", "C", 40, 0), ("NAME_FR", "C", 40, 0), ("AREA_KM2", "N", 12, 0)],
        [("FRA", "France", "France", 551695), ("CHE", "Switzerland", "Suisse", 41285),
         ("BEL", "Belgium", "Belgique", 30528), ("ITA", "Italy", "Italie", 301340),
         ("ESP", "Spain", "Espagne", 505990), ("DEU", "Germany", "Allemagne", 357022),
         ("MAR", "Morocco", "Maroc", 446550), ("CAN", "Canada", "Canada", 9984670)],
        "wgs84", (2008, 3, 14),
        base_en(title="World countries", edition="2008", origin="World Outline Cooperative",
                pubdate="20080314", metd="20080402", created=("20080314", "09312400", "11050200"),
                abstract="Outlines of the countries of the world, generalised for maps at about 1:10 000 000. "
                         "One polygon per sovereign state or dependent territory, with its ISO 3166 code and "
                         "its name in English and in French.",
                purpose="Background layer for small-scale maps and for locating the other data sets of the server.",
                supplinf="Boundaries are generalised for small-scale display: do not measure areas or lengths "
                         "with them.\n\nDisputed areas are drawn along the lines of fact on the ground in 2007 "
                         "and imply no judgement on their status.",
                useconst="Free for any use, including commercial use; please credit the World Outline Cooperative.",
                themekeys=["administrative", "countries", "boundaries"], placekeys=["World"],
                bbox=WORLD, srcscale=10000000, srctitle="World outlines 1:10 000 000, edition 2008",
                procdesc="Generalised from the 1:1 000 000 outlines; islands under 20 km² removed.",
                issue="1001", onlink="http://geodata.example.org/world/countries",
                creator=C_WORLD, distributor=C_WORLD, networkr="http://geodata.example.org/download/world/countries.zip",
                browsen="countries.bmp", thumbnail="world"),
        {"ISO_A3": ("ISO 3166-1 alpha-3 country code.", "ISO 3166-1"),
         "NAME_EN": ("Country name in English.", "Free text"),
         "NAME_FR": ("Nom du pays en français.", "Texte libre"),
         "AREA_KM2": ("Area of the country in square kilometres.", "0 to 20 000 000")})

    wc = R / "10_world/climate/worldclim"
    write(wc / "tmean_annual.tif", tiff_bytes(picture("climate", "10_world/climate/worldclim/tmean_annual.tif", 36, 18)))
    out.append((wc / "tmean_annual.tif.xml", base_en(
        path="10_world/climate/worldclim/tmean_annual.tif", title="Mean annual air temperature, 1961-1990",
        edition="1.4", origin="WorldClim", pubdate="20050610", metd="20070918", created=("20070918", "14020700", "14103300"),
        native=NATIVE_91, abstract="Mean annual air temperature at 2 m above ground, interpolated from weather "
        "station normals of 1961-1990, in degrees Celsius multiplied by ten. This copy is resampled to 10 arc-minutes.",
        purpose="Climate background for regional studies and for teaching.",
        supplinf="Values are stored as whole numbers: divide by ten to get degrees Celsius. Sea cells hold -9999.",
        useconst="Free for non-commercial use; cite the WorldClim database.",
        themekeys=["climate", "temperature", "normals"], placekeys=["World"], bbox=WORLD,
        srcscale=None, srctitle="Station normals 1961-1990", procdesc="Resampled from 30 arc-seconds by block mean.",
        issue="1014", onlink="http://geodata.example.org/world/worldclim", creator=C_WORLD, distributor=C_WORLD,
        networkr="http://geodata.example.org/download/world/tmean_annual.zip", geoform="raster digital data",
        natvform="TIFF", transize=mb((wc / "tmean_annual.tif").stat().st_size),
        spdoinfo=raster_spdoinfo(1080, 2160, 1), proj="wgs84", browsen="tmean_annual.bmp", thumbnail="climate")))

    stations = [("FR07110", "Brest-Guipavas", 48.4442, -4.4119, 94, 1210.5), ("FR07130", "Rennes-Saint-Jacques", 48.0689, -1.7339, 36, 694.2),
                ("CH06700", "Genève-Cointrin", 46.2475, 6.1278, 411, 1005.0), ("CH06610", "Pully", 46.5122, 6.6675, 456, 1153.8),
                ("FR07650", "Marignane", 43.4378, 5.2158, 9, 515.4), ("FR07690", "Nice", 43.6483, 7.2089, 2, 767.1)]
    csv = "station_id;name;lat;lon;elevation_m;precip_mm\r\n" + "".join(
        "%s;%s;%.4f;%.4f;%d;%.1f\r\n" % s for s in stations)
    write(wc / "stations_precip.csv", csv)
    out.append((wc / "stations_precip.csv.xml", base_en(
        path="10_world/climate/worldclim/stations_precip.csv", title="Annual precipitation at weather stations",
        edition="2007", origin="WorldClim", pubdate="20070918", metd="20070920", created=("20070918", "15103000", "09221800"),
        native=NATIVE_91, abstract="Annual precipitation normals of 1961-1990 at a selection of weather stations "
        "used to check the interpolated grids, one row per station, separated by semicolons.",
        purpose="Check the interpolated climate grids against measured values.",
        useconst="Free for non-commercial use; cite the WorldClim database.",
        themekeys=["climate", "precipitation", "stations"], placekeys=["World", "France", "Switzerland"], bbox=WORLD,
        srctitle="Station normals 1961-1990", procdesc="Extracted from the station list of the interpolation.",
        issue="1015", onlink="http://geodata.example.org/world/worldclim", creator=C_WORLD, distributor=C_WORLD,
        networkr="http://geodata.example.org/download/world/stations_precip.csv", geoform="tabular digital data",
        natvform="Text file", transize=mb((wc / "stations_precip.csv").stat().st_size), entity="Table", count=len(stations),
        attrs=[("station_id", "C", 7, 0, "WMO-based station identifier.", "Free text"),
               ("precip_mm", "N", 8, 1, "Mean annual precipitation in millimetres.", "0 to 5000")])))

    # -- 10_world/21_france --------------------------------------------------
    shp("10_world/21_france/administrative/ign/departements.shp", 5, FRANCE[1],
        [("CODE_DEPT", "C", 3, 0), ("NOM_DEPT", "C", 30, 0), ("CODE_REG", "C", 2, 0)],
        [("22", "Côtes-d'Armor", "53"), ("29", "Finistère", "53"), ("35", "Ille-et-Vilaine", "53"),
         ("56", "Morbihan", "53"), ("13", "Bouches-du-Rhône", "93"), ("83", "Var", "93"),
         ("84", "Vaucluse", "93")],
        "lambert93", (2009, 2, 2),
        base_fr(title="Limites des départements", edition="2009", origin="Institut géographique national (IGN)",
                pubdate="20090202", metd="20090316", created=("20090216", "10440500", "16123300"), pubplace="Saint-Mandé",
                style="latin1",
                abstract="Limites administratives des départements de France métropolitaine, issues de la "
                         "BD CARTO®. Un polygone par département avec son code INSEE et sa région.",
                purpose="Habillage des cartes régionales et agrégation de statistiques par département.",
                supplinf="Précision métrique décamétrique; les limites en mer ne sont pas représentées.",
                useconst="Réutilisation libre avec mention de la source « IGN – BD CARTO® ».",
                themekeys=["administrative", "départements", "limites"], placekeys=["France"],
                bbox=FRANCE[0], lbox=FRANCE[1], srcscale=50000, srctitle="BD CARTO® édition 2009",
                procdesc="Extraction de la couche des départements et simplification à 10 m.",
                issue="2107", onlink="http://geodata.example.org/france/departements",
                creator=C_IGN, distributor=C_IGN, networkr="http://geodata.example.org/telechargement/departements.zip",
                browsen="departements.bmp", thumbnail="departements"),
        {"CODE_DEPT": ("Code INSEE du département.", "01 à 95, 2A, 2B"),
         "NOM_DEPT": ("Nom du département.", "Texte libre"),
         "CODE_REG": ("Code INSEE de la région.", "Liste des régions de 2009")})

    # A shapefile nobody documented yet.
    shp("10_world/21_france/administrative/ign/communes.shp", 5, BRETAGNE[1],
        [("INSEE_COM", "C", 5, 0), ("NOM_COMM", "C", 40, 0), ("POPULATION", "N", 9, 0)],
        [("29019", "Brest", 142722), ("35238", "Rennes", 207178), ("56260", "Vannes", 53079),
         ("22278", "Saint-Brieuc", 46437), ("29232", "Quimper", 63849)],
        "lambert93", (2010, 6, 30), None, {})

    # -- 31_bretagne: transport -------------------------------------------
    ign = "10_world/21_france/31_bretagne/transport/ign/"
    road_fields = [("NUMERO", "C", 10, 0), ("CLASSE", "C", 20, 0), ("NB_VOIES", "N", 2, 0), ("LONGUEUR", "N", 10, 1)]
    road_doc = {"NUMERO": ("Numéro de la route départementale.", "D1 à D1999"),
                "CLASSE": ("Classe administrative de la route.", "Départementale, Nationale"),
                "NB_VOIES": ("Nombre de voies de circulation.", "1 à 4"),
                "LONGUEUR": ("Longueur du tronçon en mètres.", "0 à 50 000")}
    shp(ign + "routes.shp", 3, BRETAGNE[1], road_fields,
        [("D785", "Départementale", 2, 12450.3), ("D164", "Départementale", 2, 8320.0),
         ("N165", "Nationale", 4, 30512.8), ("D700", "Départementale", 2, 15877.4),
         ("D137", "Départementale", 4, 9020.1), ("D768", "Départementale", 2, 21330.6)],
        "lambert93", (2009, 5, 12),
        base_fr(title="Réseau routier départemental", edition="2009", origin="Institut géographique national (IGN)",
                pubdate="20090512", metd="20090604", created=("20090513", "08594100", "17021600"), style="latin1",
                abstract="Tronçons des routes départementales et nationales de Bretagne, avec leur numéro, leur "
                         "classe et le nombre de voies. Mise à jour annuelle à partir des arrêtés de classement.",
                purpose="Cartographie du réseau, calculs d'itinéraires et suivi de l'entretien des chaussées.",
                supplinf="Les bretelles d'échangeur ne sont pas saisies.\n\nLes longueurs sont calculées en "
                         "Lambert-93 et arrondies au décimètre.",
                useconst="Réutilisation libre avec mention « IGN – Région Bretagne, 2009 ».",
                themekeys=["transport", "routes", "réseau routier"], placekeys=["Bretagne", "Côtes-d'Armor",
                                                                           "Finistère", "Ille-et-Vilaine", "Morbihan"],
                bbox=BRETAGNE[0], lbox=BRETAGNE[1], srcscale=25000, srctitle="BD TOPO® – thème routier",
                procdesc="Sélection des routes classées et fusion des tronçons par numéro.",
                issue="2231", onlink="http://geodata.example.org/bretagne/routes",
                creator=C_IGN, distributor=C_REGION,
                networkr="http://geodata.example.org/telechargement/bretagne/routes.zip",
                browsen="routes.bmp", thumbnail="roads"),
        road_doc)

    # Flagged by the data manager: the draft must stay out of the catalogue.
    shp(ign + "routes_projet.shp", 3, BRETAGNE[1], road_fields,
        [("D785", "Départementale", 2, 12460.0), ("N165", "Nationale", 4, 30500.0), ("D12", "Départementale", 2, 4500.0)],
        "lambert93", (2011, 9, 12),
        base_fr(title="Réseau routier départemental – projet 2011", edition="2011 (projet)",
                origin="Région Bretagne – Service SIG", pubdate="20110912", metd="20110915",
                created=("20110912", "13402200", "14321000"), native=NATIVE_93,
                abstract="Version de travail du réseau routier départemental, en cours de vérification. "
                         "Ne pas diffuser avant validation.",
                purpose="Contrôle des modifications avant la publication de l'édition 2011.",
                useconst="Usage interne uniquement.", accconst="Réservé au service SIG",
                themekeys=["transport", "routes"], placekeys=["Bretagne"], progress="In work",
                bbox=BRETAGNE[0], lbox=BRETAGNE[1], srcscale=25000, srctitle="Réseau routier départemental 2009",
                procdesc="Reprise des arrêtés de classement de 2010 et 2011.", secclass="Interne",
                sechandl="Ne pas diffuser", issue="2232", issue_attrs={"Sync": '"FALSE"'},
                onlink="http://geodata.example.org/bretagne/routes", creator=C_REGION, distributor=C_REGION,
                networkr="http://geodata.example.org/interne/routes_projet.zip",
                stamp=dict(version="1.2.0.48", ignore="Yes", date="20110915", time="143210", manager="alegoff")),
        road_doc)

    comptages = [("D785", 2005, 8420), ("D785", 2009, 9105), ("N165", 2005, 41200), ("N165", 2009, 44870),
                 ("D700", 2005, 5230), ("D700", 2009, 5610)]
    write(R / (ign + "comptages.dbf"), dbf_bytes([("ROUTE", "C", 10, 0), ("ANNEE", "N", 4, 0), ("TMJA", "N", 7, 0)],
                                                  comptages, (2010, 1, 20)))
    out.append((R / (ign + "comptages.dbf.xml"), base_fr(
        path=ign + "comptages.dbf", style="latin1-cp1252", crlf=True,
        title="Comptages routiers 2005 – 2009", edition="2010", origin="Région Bretagne – Service SIG",
        pubdate="20100120", metd="20100125", created=("20100120", "10151200", "16450900"), native=NATIVE_93,
        abstract="Trafic moyen journalier annuel (TMJA) mesuré aux postes de comptage permanents, "
                 "années 2005 – 2009, par route.",
        purpose="Suivi de l'évolution du trafic – à joindre aux tronçons par le numéro de route.",
        useconst="Réutilisation libre avec mention de la source.",
        themekeys=["transport", "trafic", "comptages"], placekeys=["Bretagne"],
        bbox=BRETAGNE[0], lbox=BRETAGNE[1], srctitle="Postes de comptage permanents",
        procdesc="Moyenne des comptages journaliers – jours fériés compris.",
        issue="2240", onlink="http://geodata.example.org/bretagne/comptages", creator=C_REGION, distributor=C_REGION,
        networkr="http://geodata.example.org/telechargement/bretagne/comptages.dbf",
        geoform="tabular digital data", natvform="dBASE Table",
        transize=mb((R / (ign + "comptages.dbf")).stat().st_size), entity="Table", count=len(comptages),
        attrs=[("ROUTE", "C", 10, 0, "Numéro de la route.", "D1 à D1999, N1 à N999"),
               ("ANNEE", "N", 4, 0, "Année du comptage.", "2005 à 2009"),
               ("TMJA", "N", 7, 0, "Trafic moyen journalier annuel, en véhicules par jour.", "0 à 200 000")])))

    write(R / (ign + "lisezmoi.txt"),
          "Réseau routier départemental – livraison 2009\r\n"
          "==============================================\r\n\r\n"
          "routes.shp          tronçons des routes classées (Lambert-93)\r\n"
          "routes_projet.shp   version de travail 2011, ne pas diffuser\r\n"
          "comptages.dbf       trafic moyen journalier annuel, à joindre par le numéro de route\r\n\r\n"
          "Contact : Service SIG de la Région Bretagne, sig@region-bretagne.example.org\r\n".encode("cp1252"))

    shp("10_world/21_france/31_bretagne/transport/region/voies_ferrees.shp", 3, BRETAGNE[1],
        [("LIGNE", "C", 40, 0), ("ELECTRIF", "C", 3, 0), ("VOIES", "N", 1, 0)],
        [("Rennes – Brest", "OUI", 2), ("Rennes – Quimper", "OUI", 2), ("Rennes – Saint-Malo", "OUI", 1),
         ("Morlaix – Roscoff", "NON", 1), ("Guingamp – Paimpol", "NON", 1)],
        "lambert93", (2008, 11, 4),
        base_fr(title="Voies ferrées", edition="2008", origin="Région Bretagne – Service SIG", pubdate="20081104",
                metd="20081120", created=("20081104", "11002000", "10113800"), style="utf8-bom",
                abstract="Lignes ferroviaires ouvertes aux voyageurs en Bretagne, avec l'électrification et le "
                         "nombre de voies.",
                purpose="Cartographie de l'offre de transport régional (TER).",
                useconst="Réutilisation libre avec mention « Région Bretagne ».",
                themekeys=["transport", "chemin de fer", "TER"], placekeys=["Bretagne"],
                bbox=BRETAGNE[0], lbox=BRETAGNE[1], srcscale=100000, srctitle="Schéma régional des transports",
                procdesc="Numérisation sur le fond IGN au 1:100 000.",
                issue="2250", onlink="http://geodata.example.org/bretagne/voies_ferrees",
                creator=C_REGION, distributor=C_REGION,
                networkr="http://geodata.example.org/telechargement/bretagne/voies_ferrees.zip",
                browsen="voies_ferrees.bmp", thumbnail="rail"),
        {"LIGNE": ("Nom de la ligne.", "Texte libre"), "ELECTRIF": ("Ligne électrifiée.", "OUI, NON"),
         "VOIES": ("Nombre de voies.", "1 ou 2")})

    # -- 31_bretagne: hydrology --------------------------------------------
    sandre = "10_world/21_france/31_bretagne/hydrology/sandre/"
    shp(sandre + "rivieres.shp", 3, BRETAGNE[1],
        [("CODE_HYDRO", "C", 8, 0), ("TOPONYME", "C", 30, 0), ("CLASSE", "N", 1, 0)],
        [("J---0100", "La Vilaine", 1), ("J3--0200", "L'Aulne", 1), ("J5--0300", "Le Blavet", 1),
         ("J4--0210", "L'Odet", 2), ("J1--0400", "La Rance", 2), ("J7--0500", "L'Oust", 2)],
        "lambert93", (2008, 9, 1),
        base_fr(title="Rivières et plans d'eau", edition="2008", pubdate="20080901", metd="20081015",
                origin="Sandre – Service d'administration nationale des données et référentiels sur l'eau",
                created=("20080901", "09150000", "15300400"), style="latin1-utf8", pubplace="Limoges",
                abstract="Cours d'eau principaux et plans d'eau de Bretagne issus de la BD Carthage®, avec leur "
                         "code hydrographique, leur toponyme et leur classe de Strahler simplifiée.",
                purpose="Référentiel hydrographique pour les études de bassin versant et la qualité des eaux.",
                supplinf="Les rivières côtières de moins de 5 km ne sont pas retenues.",
                useconst="Données publiques de l'eau : réutilisation libre avec mention « Sandre – BD Carthage® ».",
                themekeys=["hydrology", "rivières", "plans d'eau"], placekeys=["Bretagne"],
                bbox=BRETAGNE[0], lbox=BRETAGNE[1], srcscale=50000, srctitle="BD Carthage® 2008",
                procdesc="Sélection des cours d'eau de classe 1 et 2 et des plans d'eau de plus de 10 ha.",
                issue="2310", onlink="http://geodata.example.org/bretagne/rivieres",
                creator=C_SANDRE, distributor=C_REGION,
                networkr="http://geodata.example.org/telechargement/bretagne/rivieres.zip",
                browsen="rivieres.bmp", thumbnail="river"),
        {"CODE_HYDRO": ("Code hydrographique du tronçon.", "Codification Sandre"),
         "TOPONYME": ("Nom du cours d'eau.", "Texte libre"),
         "CLASSE": ("Classe de Strahler simplifiée.", "1 à 3")})

    # An ArcInfo workspace: one coverage (a folder with its own metadata.xml)
    # and the workspace's info folder.
    bassins = R / (sandre + "bassins")
    for f in ("arc.adf", "cnt.adf", "lab.adf", "pal.adf", "pat.adf", "tol.adf", "tic.adf", "bnd.adf"):
        placeholder(bassins / f, "an ArcInfo coverage file")
    for f in ("arc.dir", "arc0000.dat", "arc0000.nit", "arc0001.dat", "arc0001.nit"):
        placeholder(R / sandre / "info" / f, "an ArcInfo INFO table file")
    out.append((bassins / "metadata.xml", base_fr(
        path=sandre + "bassins", is_dir=True, title="Bassins versants de Bretagne", edition="2007",
        origin="Sandre – Service d'administration nationale des données et référentiels sur l'eau",
        pubdate="20070611", metd="20070702", created=("20070611", "16002200", "08451100"), native=NATIVE_91,
        pubplace="Limoges",
        abstract="Couverture ArcInfo des bassins versants hydrographiques de Bretagne (zones hydrographiques), "
                 "avec la topologie des limites de partage des eaux.",
        purpose="Découpage de référence pour les bilans de qualité et de quantité d'eau.",
        useconst="Réutilisation libre avec mention « Sandre ».",
        themekeys=["hydrology", "bassins versants"], placekeys=["Bretagne"],
        bbox=BRETAGNE[0], lbox=BRETAGNE[1], srcscale=50000, srctitle="Zones hydrographiques BD Carthage®",
        procdesc="Import des zones hydrographiques et construction de la topologie (BUILD POLY).",
        issue="2311", onlink="http://geodata.example.org/bretagne/bassins", creator=C_SANDRE, distributor=C_REGION,
        networkr="http://geodata.example.org/telechargement/bretagne/bassins.e00", geoform="vector digital data",
        natvform="ArcInfo Coverage", transize=mb(tree_size(bassins.iterdir())),
        spdoinfo=vector_spdoinfo("bassins", "Polygon", 42), proj="lambert93", count=42,
        attrs=[("ZONE_HYDRO", "C", 4, 0, "Code de la zone hydrographique.", "Codification Sandre"),
               ("SURF_KM2", "N", 10, 2, "Surface du bassin en km².", "0 à 10 000")])))

    rows = [["J0010010", "La Vilaine à Rennes", 2009, 6.2, 28.5], ["J3410010", "L'Aulne à Châteaulin", 2009, 4.1, 21.0],
            ["J5710010", "Le Blavet à Pontivy", 2009, 3.4, 25.2], ["J4300010", "L'Odet à Quimper", 2009, 2.8, 18.7]]
    write(R / (sandre + "qualite_eau.xls"), spreadsheet_xml(
        "Qualite", ["Station", "Libellé", "Année", "Nitrates moyens (mg/l)", "Nitrates max (mg/l)"], rows))
    out.append((R / (sandre + "qualite_eau.xls.xml"), base_fr(
        path=sandre + "qualite_eau.xls", title="Qualité des cours d'eau – nitrates 2009", edition="2009",
        origin="Sandre – Service d'administration nationale des données et référentiels sur l'eau",
        pubdate="20100301", metd="20100315", created=("20100301", "09000000", "10204400"), native=NATIVE_93,
        pubplace="Limoges",
        abstract="Concentrations moyennes et maximales en nitrates mesurées en 2009 aux stations de suivi de "
                 "la qualité des rivières bretonnes.",
        purpose="Suivi de la directive Nitrates et des contrats de bassin versant.",
        useconst="Réutilisation libre avec mention « Sandre ».",
        themekeys=["hydrology", "qualité de l'eau", "nitrates"], placekeys=["Bretagne"],
        bbox=BRETAGNE[0], lbox=BRETAGNE[1], srctitle="Réseau de suivi de la qualité des eaux",
        procdesc="Agrégation annuelle des analyses mensuelles.",
        issue="2315", onlink="http://geodata.example.org/bretagne/qualite_eau", creator=C_SANDRE, distributor=C_REGION,
        networkr="http://geodata.example.org/telechargement/bretagne/qualite_eau.xls",
        geoform="tabular digital data", natvform="Microsoft Excel",
        transize=mb((R / (sandre + "qualite_eau.xls")).stat().st_size), entity="Table", count=len(rows),
        attrs=[("Station", "C", 8, 0, "Code de la station de mesure.", "Codification Sandre"),
               ("Nitrates moyens", "N", 6, 1, "Concentration moyenne en nitrates (mg/l).", "0 à 200")])))

    script = ("# -*- coding: utf-8 -*-\n"
              "\"\"\"Débits caractéristiques des stations hydrométriques de Bretagne.\n\n"
              "Outil de script ArcGIS 9.3 : lit une table de débits journaliers (station, date,\n"
              "débit en m3/s) et écrit le module et les débits d'étiage (QMNA5 approché).\n"
              "\"\"\"\n\n"
              "import csv\n"
              "import sys\n\n\n"
              "def module_et_etiage(debits):\n"
              "    debits = sorted(debits)\n"
              "    module = sum(debits) / len(debits)\n"
              "    etiage = debits[len(debits) // 5]\n"
              "    return module, etiage\n\n\n"
              "def main(entree, sortie):\n"
              "    par_station = {}\n"
              "    with open(entree) as f:\n"
              "        for ligne in csv.reader(f, delimiter=';'):\n"
              "            par_station.setdefault(ligne[0], []).append(float(ligne[2]))\n"
              "    with open(sortie, 'w') as f:\n"
              "        for station in sorted(par_station):\n"
              "            module, etiage = module_et_etiage(par_station[station])\n"
              "            f.write('%s;%.3f;%.3f\\n' % (station, module, etiage))\n\n\n"
              "if __name__ == '__main__':\n"
              "    main(sys.argv[1], sys.argv[2])\n")
    reg = "10_world/21_france/31_bretagne/hydrology/region/"
    write(R / (reg + "calcul_debits.py"), script)
    out.append((R / (reg + "calcul_debits.py.xml"), base_fr(
        path=reg + "calcul_debits.py", title="Calcul des débits caractéristiques", edition="1.1",
        origin="Région Bretagne – Service SIG", pubdate="20090930", metd="20091002",
        created=("20090930", "17150000", "08300000"), native=NATIVE_93,
        abstract="Script Python pour ArcGIS 9.3 qui calcule, pour chaque station hydrométrique, le module "
                 "interannuel et un débit d'étiage approché à partir d'une table de débits journaliers.",
        purpose="Préparer les indicateurs de débit des fiches de bassin versant.",
        supplinf="Paramètres : table d'entrée (station;date;débit), fichier de sortie.",
        useconst="Licence libre ; aucune garantie sur les résultats.",
        themekeys=["hydrology", "débits", "script"], placekeys=["Bretagne"], bbox=BRETAGNE[0],
        srctitle="Banque HYDRO – débits journaliers", procdesc="Écrit et testé sur les données 1990-2008.",
        issue="2320", onlink="http://geodata.example.org/bretagne/outils", creator=C_REGION, distributor=C_REGION,
        networkr="http://geodata.example.org/telechargement/bretagne/calcul_debits.py",
        geoform="software", natvform="Python script", transize=mb(len(script.encode("utf-8"))))))

    # -- 31_bretagne: topography (an ESRI grid shown through dem.aux) ------
    topo = R / "10_world/21_france/31_bretagne/topography/ign"
    for f in ("hdr.adf", "w001001.adf", "w001001x.adf", "dblbnd.adf", "sta.adf", "prj.adf"):
        placeholder(topo / "dem" / f, "an ESRI grid file")
    hfa_placeholder(topo / "dem.aux", "the auxiliary file of the grid dem")
    for f in ("arc.dir", "arc0000.dat", "arc0000.nit"):
        placeholder(topo / "info" / f, "an ArcInfo INFO table file")
    dem_meta = base_fr(
        path="10_world/21_france/31_bretagne/topography/ign/dem", is_dir=True,
        title="Modèle numérique de terrain au pas de 50 m", edition="2006", origin="Institut géographique national (IGN)",
        pubdate="20060415", metd="20070122", created=("20070122", "14300000", "14354500"), native=NATIVE_91,
        pubplace="Saint-Mandé",
        abstract="Grille d'altitudes de la Bretagne au pas de 50 m, en mètres (NGF-IGN69), dérivée de la "
                 "BD ALTI®.",
        purpose="Calculs de pente, d'exposition et de bassins versants ; ombrage des cartes.",
        supplinf="Précision altimétrique moyenne de 2,5 m en plaine et 7 m en relief marqué.",
        useconst="Réutilisation libre avec mention « IGN – BD ALTI® ».",
        themekeys=["topography", "altitude", "MNT"], placekeys=["Bretagne"],
        bbox=BRETAGNE[0], lbox=BRETAGNE[1], srcscale=25000, srctitle="BD ALTI® 2006",
        procdesc="Rééchantillonnage bilinéaire et conversion en grille ESRI (GRID).",
        issue="2400", onlink="http://geodata.example.org/bretagne/mnt50", creator=C_IGN, distributor=C_REGION,
        networkr="http://geodata.example.org/telechargement/bretagne/mnt50.zip",
        geoform="raster digital data", natvform="Raster Dataset", proj="lambert93",
        spdoinfo=raster_spdoinfo(3662, 6027, 1, "Grid Cell"),
        browsen="dem.bmp", thumbnail="contours", transize=mb(tree_size((topo / "dem").iterdir())))
    out.append((topo / "dem" / "metadata.xml", dem_meta))

    # -- 31_bretagne: imagery (ortho.aux beside ortho.tif is not a data set) --
    im = R / "10_world/21_france/31_bretagne/imagery/ign"
    write(im / "ortho.tif", tiff_bytes(picture("ortho", "10_world/21_france/31_bretagne/imagery/ign/ortho.tif", 40, 27)))
    hfa_placeholder(im / "ortho.aux", "the statistics and pyramids of ortho.tif")
    write(im / "ortho.tfw", "0.500000\r\n0.000000\r\n0.000000\r\n-0.500000\r\n351000.250000\r\n6790999.750000\r\n")
    out.append((im / "ortho.tif.xml", base_fr(
        path="10_world/21_france/31_bretagne/imagery/ign/ortho.tif", title="Orthophotographie de Rennes 2008",
        edition="2008", origin="Institut géographique national (IGN)", pubdate="20081201", metd="20090112",
        created=("20090112", "09100000", "09223100"), pubplace="Saint-Mandé",
        abstract="Orthophotographie en couleurs naturelles de l'agglomération rennaise, pixel de 50 cm, "
                 "prises de vues de l'été 2008.",
        purpose="Fond de plan pour la numérisation et la photo-interprétation.",
        supplinf="Dalle de démonstration ; l'orthophotographie complète compte 412 dalles.",
        useconst="Réutilisation soumise à la licence IGN ; mention « © IGN – BD ORTHO® 2008 ».",
        accconst="Réservé aux partenaires de la convention régionale",
        themekeys=["imagery", "orthophotographie"], placekeys=["Bretagne", "Rennes"],
        bbox=(-1.752300, -1.624800, 48.142600, 48.072200), lbox=(351000.0, 361000.0, 6781000.0, 6791000.0),
        srcscale=20000, srctitle="Prises de vues aériennes 2008", procdesc="Orthorectification et mosaïquage.",
        issue="2500", onlink="http://geodata.example.org/bretagne/ortho", creator=C_IGN, distributor=C_REGION,
        networkr="http://geodata.example.org/telechargement/bretagne/ortho_rennes.zip",
        geoform="remote-sensing image", natvform="TIFF",
        transize=mb(tree_size([im / "ortho.tif", im / "ortho.aux", im / "ortho.tfw"])),
        spdoinfo=raster_spdoinfo(20000, 20000, 3), proj="lambert93", browsen="ortho.bmp", thumbnail="ortho")))

    # -- 31_bretagne: landuse (the broken metadata file lives here) --------
    lu = "10_world/21_france/31_bretagne/landuse/region/"
    shp(lu + "occupation_sol.shp", 5, BRETAGNE[1],
        [("CODE_CLC", "C", 3, 0), ("LIBELLE", "C", 40, 0), ("SURF_HA", "N", 10, 1)],
        [("112", "Tissu urbain discontinu", 1520.4), ("211", "Terres arables", 48210.0),
         ("231", "Prairies", 20114.2), ("311", "Forêts de feuillus", 8840.9), ("512", "Plans d'eau", 410.3)],
        "lambert93", (2009, 7, 1),
        base_fr(title="Occupation du sol & végétation", edition="2006", origin="Région Bretagne – Service SIG",
                pubdate="20090701", metd="20090703", created=("20090701", "10000000", "11300000"), style="malformed",
                abstract="Occupation du sol de la Bretagne selon la nomenclature CORINE Land Cover, niveau 3.",
                purpose="Suivi de l'artificialisation des sols.",
                useconst="Réutilisation libre avec mention de la source.",
                themekeys=["landuse", "CORINE Land Cover"], placekeys=["Bretagne"],
                bbox=BRETAGNE[0], lbox=BRETAGNE[1], srcscale=100000, srctitle="CORINE Land Cover 2006",
                procdesc="Extraction régionale.", issue="2600", onlink="http://geodata.example.org/bretagne/ocs",
                creator=C_REGION, distributor=C_REGION,
                networkr="http://geodata.example.org/telechargement/bretagne/occupation_sol.zip"),
        {"CODE_CLC": ("Code CORINE Land Cover.", "Nomenclature CLC niveau 3"),
         "LIBELLE": ("Libellé du poste.", "Texte libre"), "SURF_HA": ("Surface en hectares.", "0 à 100 000")})
    placeholder(R / (lu + "carte_occupation.mxd"), "an ArcMap 9.3 document")
    out.append((R / (lu + "carte_occupation.mxd.xml"), base_fr(
        path=lu + "carte_occupation.mxd", title="Carte de l'occupation du sol", edition="2009",
        origin="Région Bretagne – Service SIG", pubdate="20090715", metd="20090716",
        created=("20090715", "15000000", "15100000"), native=NATIVE_93,
        abstract="Document ArcMap de mise en page de la carte régionale de l'occupation du sol au format A0, "
                 "avec la légende CORINE Land Cover.",
        purpose="Impression de la carte murale et export PDF pour le site web.",
        useconst="Usage interne ; les données restent soumises à leurs propres conditions.",
        themekeys=["landuse", "carte"], placekeys=["Bretagne"], bbox=BRETAGNE[0], lbox=BRETAGNE[1],
        srctitle="Occupation du sol et végétation", procdesc="Mise en page ArcMap 9.3.",
        issue="2601", onlink="http://geodata.example.org/bretagne/ocs", creator=C_REGION, distributor=C_REGION,
        networkr="http://geodata.example.org/interne/carte_occupation.mxd",
        geoform="map", natvform="ArcMap Document", transize=mb((R / (lu + "carte_occupation.mxd")).stat().st_size))))
    # A file geodatabase: its folder name carries a configured extension.
    gdb = R / (lu + "occupation.gdb")
    write(gdb / "gdb", b"\x05\x00\x00\x00\xde\xad\xbe\xef")
    write(gdb / "timestamps", b"\xff" * 16)
    for f in ("a00000001.gdbtable", "a00000001.gdbtablx"):
        placeholder(gdb / f, "a file geodatabase table")

    # -- 31_provence: two theme folders in a row ---------------------------
    brgm = "10_world/21_france/31_provence/geology/brgm/"
    geo_doc = {"NOTATION": ("Notation de la formation sur la carte.", "Légende de la carte"),
               "DESCR": ("Description de la formation.", "Texte libre"),
               "AGE_MA": ("Âge moyen en millions d'années.", "0 à 600")}
    shp(brgm + "geologie_50k.shp", 5, PROVENCE[1],
        [("NOTATION", "C", 8, 0), ("DESCR", "C", 50, 0), ("AGE_MA", "N", 6, 1)],
        [("Fz", "Alluvions récentes", 0.1), ("m2", "Molasse calcaire du Miocène", 18.0),
         ("n4", "Calcaires urgoniens du Barrémien", 127.0), ("j7", "Calcaires du Jurassique supérieur", 150.0),
         ("t", "Marnes et gypse du Trias", 220.0)],
        "lambert93", (2007, 10, 1),
        base_fr(title="Carte géologique harmonisée au 1:50 000", edition="2007",
                origin="Bureau de recherches géologiques et minières (BRGM)", pubdate="20071001", metd="20071105",
                created=("20071105", "10250000", "10401100"), pubplace="Marseille",
                abstract="Formations géologiques affleurantes de Provence, harmonisées entre les feuilles de la "
                         "carte géologique au 1:50 000.",
                purpose="Études d'aménagement, de risques naturels et de ressources en eau.",
                useconst="Réutilisation libre avec mention « BRGM ».",
                themekeys=["geology", "formations géologiques"], placekeys=["Provence-Alpes-Côte d'Azur"],
                bbox=PROVENCE[0], lbox=PROVENCE[1], srcscale=50000, srctitle="Cartes géologiques au 1:50 000",
                procdesc="Harmonisation des légendes et raccord des contours aux limites de feuilles.",
                issue="3100", onlink="http://geodata.example.org/provence/geologie", creator=C_BRGM,
                distributor=C_BRGM, networkr="http://geodata.example.org/telechargement/provence/geologie_50k.zip",
                browsen="geologie_50k.bmp", thumbnail="geology"),
        geo_doc)
    notice = R / (brgm + "notice_geologie.pdf")
    write(notice, pdf_bytes("Carte géologique de Provence – notice", [
        "Notice de démonstration du serveur Atlasdesk.", "",
        "Les formations sont décrites de la plus récente à la plus ancienne :",
        "Fz   alluvions récentes des vallées du Rhône et de la Durance ;",
        "m2   molasse calcaire du Miocène ;",
        "n4   calcaires urgoniens du Barrémien (faciès à rudistes) ;",
        "j7   calcaires du Jurassique supérieur ;",
        "t    marnes et gypse du Trias."]))
    out.append((R / (brgm + "notice_geologie.pdf.xml"), base_fr(
        path=brgm + "notice_geologie.pdf", title="Notice de la carte géologique harmonisée", edition="2007",
        origin="Bureau de recherches géologiques et minières (BRGM)", pubdate="20071001", metd="20071105",
        created=("20071105", "10410000", "10420000"), pubplace="Marseille",
        abstract="Notice explicative décrivant les formations de la carte géologique harmonisée de Provence.",
        purpose="Accompagner la carte géologique au 1:50 000.",
        useconst="Réutilisation libre avec mention « BRGM ».",
        themekeys=["geology", "notice"], placekeys=["Provence-Alpes-Côte d'Azur"], bbox=PROVENCE[0],
        srctitle="Notices des cartes géologiques au 1:50 000", procdesc="Synthèse des notices des feuilles.",
        issue="3101", onlink="http://geodata.example.org/provence/geologie", creator=C_BRGM, distributor=C_BRGM,
        networkr="http://geodata.example.org/telechargement/provence/notice_geologie.pdf",
        geoform="document", natvform="PDF", transize=mb(notice.stat().st_size))))

    shp("10_world/21_france/31_provence/geology/hydrology/brgm/aquiferes.shp", 5, PROVENCE[1],
        [("CODE_BDLISA", "C", 7, 0), ("NOM", "C", 50, 0), ("NATURE", "C", 20, 0)],
        [("139AA01", "Calcaires urgoniens des monts de Vaucluse", "Karstique"),
         ("139AB03", "Alluvions de la Durance", "Poreux"),
         ("139AC05", "Calcaires jurassiques de la Sainte-Baume", "Karstique"),
         ("139AD02", "Molasse miocène du Comtat", "Poreux")],
        "lambert93", (2010, 4, 20),
        base_fr(title="Aquifères de Provence", edition="2010",
                origin="Bureau de recherches géologiques et minières (BRGM)", pubdate="20100420", metd="20100503",
                created=("20100503", "08400000", "09100000"), native=NATIVE_93, pubplace="Marseille",
                abstract="Entités hydrogéologiques de Provence : aquifères karstiques et poreux, avec leur code du "
                         "référentiel hydrogéologique.",
                purpose="Gestion des ressources en eau souterraine et protection des captages.",
                useconst="Réutilisation libre avec mention « BRGM – référentiel hydrogéologique ».",
                themekeys=["geology", "hydrology", "aquifères", "hydrogéologie"],
                placekeys=["Provence-Alpes-Côte d'Azur"], bbox=PROVENCE[0], lbox=PROVENCE[1], srcscale=250000,
                srctitle="Référentiel hydrogéologique, version 1", procdesc="Sélection des entités de niveau 2.",
                issue="3150", onlink="http://geodata.example.org/provence/aquiferes", creator=C_BRGM,
                distributor=C_BRGM, networkr="http://geodata.example.org/telechargement/provence/aquiferes.zip",
                browsen="aquiferes.bmp", thumbnail="aquifer"),
        {"CODE_BDLISA": ("Code de l'entité hydrogéologique.", "Référentiel hydrogéologique"),
         "NOM": ("Nom de l'entité.", "Texte libre"), "NATURE": ("Nature de l'aquifère.", "Karstique, Poreux, Fissuré")})

    # -- 21_switzerland ----------------------------------------------------
    mnt = R / "10_world/21_switzerland/31_vaud/topography/swisstopo"
    hfa_placeholder(mnt / "mnt25.img", "an ERDAS IMAGINE raster")
    hfa_placeholder(mnt / "mnt25.rrd", "the pyramid layers of mnt25.img")
    out.append((mnt / "mnt25.img.xml", base_fr(
        path="10_world/21_switzerland/31_vaud/topography/swisstopo/mnt25.img",
        title="Modèle numérique de terrain MNT25 – canton de Vaud", edition="2004",
        origin="Office fédéral de topographie swisstopo", pubdate="20040301", metd="20060515",
        created=("20060515", "11200000", "11250000"), native=NATIVE_91, pubplace="Wabern",
        sername="Catalogue ASIT-VD",
        abstract="Altitudes du canton de Vaud sur une grille de 25 m, dérivées des courbes de niveau de la "
                 "carte nationale au 1:25 000.",
        purpose="Analyses du relief, modélisation hydrologique et ombrage des cartes.",
        useconst="Utilisation soumise à l'autorisation de swisstopo.",
        themekeys=["topography", "relief", "MNT25"], placekeys=["Vaud"], bbox=VAUD[0], lbox=VAUD[1],
        srcscale=25000, srctitle="Carte nationale 1:25 000", procdesc="Interpolation des courbes de niveau.",
        issue="184", onlink="http://geodata.example.org/vaud/mnt25", creator=C_SWISSTOPO, distributor=C_VAUD,
        networkr="http://geodata.example.org/vaud/telechargement/mnt25.zip",
        geoform="raster digital data", natvform="ERDAS IMAGINE",
        transize=mb(tree_size([mnt / "mnt25.img", mnt / "mnt25.rrd"])),
        spdoinfo=raster_spdoinfo(3440, 3681, 1), proj="lv03", browsen="mnt25.bmp", thumbnail="hillshade")))

    shp("10_world/21_switzerland/31_vaud/hydrology/sesa/lacs.shp", 5, VAUD[1],
        [("NOM", "C", 30, 0), ("SURF_KM2", "N", 8, 2), ("ALTITUDE", "N", 5, 0)],
        [("Lac Léman", 580.03, 372), ("Lac de Neuchâtel", 215.20, 429), ("Lac de Joux", 8.77, 1004),
         ("Lac de Bret", 0.56, 674)],
        "lv03", (2007, 6, 6),
        base_fr(title="Lacs du canton de Vaud", edition="2007",
                origin="État de Vaud – Service des eaux, sols et assainissement", pubdate="20070606", metd="20070620",
                created=("20070606", "13000000", "13200000"), native=NATIVE_91, pubplace="Épalinges",
                style="no-decl", sername="Catalogue ASIT-VD",
                abstract="Contours des lacs du canton de Vaud, avec leur surface et l'altitude moyenne du plan d'eau.",
                purpose="Cartographie de base et calculs de bilans hydrologiques.",
                useconst="Libre pour un usage non commercial ; autres usages sur demande.",
                themekeys=["hydrology", "lacs"], placekeys=["Vaud", "Lac Léman"], bbox=VAUD[0], lbox=VAUD[1],
                srcscale=25000, srctitle="Mensuration officielle", procdesc="Extraction des surfaces d'eau stagnante.",
                issue="207", onlink="http://geodata.example.org/vaud/lacs", creator=C_VAUD, distributor=C_VAUD,
                networkr="http://geodata.example.org/vaud/telechargement/lacs.zip",
                browsen="lacs.bmp", thumbnail="lakes"),
        {"NOM": ("Nom du lac.", "Texte libre"), "SURF_KM2": ("Surface en km².", "0 à 600"),
         "ALTITUDE": ("Altitude moyenne du plan d'eau en mètres.", "300 à 3000")})

    shp("10_world/21_switzerland/31_vaud/hydrology/sesa/cours_eau.shp", 3, VAUD[1],
        [("NOM", "C", 30, 0), ("LONG_KM", "N", 8, 2)],
        [("Venoge", 38.40), ("Broye", 85.60), ("Orbe", 57.00), ("Talent", 21.90)],
        "lv03", (2006, 11, 20),
        base_fr(title="Cours d'eau principaux du canton de Vaud", edition="2006",
                origin="État de Vaud – Service des eaux, sols et assainissement", pubdate="20061120", metd="20061201",
                created=("20061120", "10000000", "10100000"), native=NATIVE_91, pubplace="Épalinges",
                style="utf16", crlf=True, sername="Catalogue ASIT-VD",
                abstract="Tracé des principaux cours d'eau du canton de Vaud, de la source à l'embouchure.",
                purpose="Cartographie de base et suivi de la qualité des eaux.",
                useconst="Libre pour un usage non commercial ; autres usages sur demande.",
                themekeys=["hydrology", "cours d'eau"], placekeys=["Vaud", "Venoge"], bbox=VAUD[0], lbox=VAUD[1],
                srcscale=25000, srctitle="Mensuration officielle", procdesc="Extraction des axes des cours d'eau.",
                issue="198", onlink="http://geodata.example.org/vaud/cours_eau", creator=C_VAUD, distributor=C_VAUD,
                networkr="http://geodata.example.org/vaud/telechargement/cours_eau.zip",
                browsen="cours_eau.bmp", thumbnail="river"),
        {"NOM": ("Nom du cours d'eau.", "Texte libre"), "LONG_KM": ("Longueur en km.", "0 à 200")})

    shp("10_world/21_switzerland/all/transport/ofs/gares.shp", 1, SWITZERLAND[1],
        [("NOM", "C", 30, 0), ("CANTON", "C", 2, 0), ("VOYAGEURS", "N", 7, 0)],
        [("Lausanne", "VD", 88000), ("Genève", "GE", 56000), ("Neuchâtel", "NE", 18000),
         ("Fribourg", "FR", 22000), ("Yverdon-les-Bains", "VD", 14000), ("Sion", "VS", 12000)],
        "lv03", (2010, 3, 3),
        base_fr(title="Gares ferroviaires de Suisse", edition="2010", origin="Office fédéral de la statistique (OFS)",
                pubdate="20100303", metd="20100310", created=("20100303", "16000000", "16050000"), native=NATIVE_93,
                pubplace="Neuchâtel", style="commented-doctype", sername="Catalogue ASIT-VD",
                abstract="Gares et haltes ferroviaires de Suisse avec la fréquentation journalière moyenne.",
                purpose="Analyses d'accessibilité en transports publics.",
                useconst="Libre avec mention « OFS – GEOSTAT ».",
                themekeys=["transport", "gares"], placekeys=["Suisse"], bbox=SWITZERLAND[0], lbox=SWITZERLAND[1],
                srcscale=25000, srctitle="Horaire officiel 2010", procdesc="Géocodage des points d'arrêt.",
                issue="311", onlink="http://geodata.example.org/suisse/gares", creator=C_OFS, distributor=C_OFS,
                networkr="http://geodata.example.org/suisse/telechargement/gares.zip",
                browsen="gares.png", browset="PNG"),
        {"NOM": ("Nom de la gare.", "Texte libre"), "CANTON": ("Abréviation du canton.", "AG à ZH"),
         "VOYAGEURS": ("Voyageurs par jour ouvrable.", "0 à 500 000")})

    # -- 50_europe -----------------------------------------------------------
    eu = "50_europe/administrative/eurostat/"
    shp(eu + "nuts2010.shp", 5, EUROPE[1],
        [("NUTS_ID", "C", 5, 0), ("NAME", "C", 40, 0), ("LEVL", "N", 1, 0)],
        [("FR52", "Bretagne", 2), ("FR82", "Provence-Alpes-Côte d'Azur", 2), ("CH01", "Région lémanique", 2),
         ("BE10", "Région de Bruxelles-Capitale", 2), ("ITC4", "Lombardia", 2), ("ES51", "Cataluña", 2),
         ("DE21", "Oberbayern", 2)],
        "laea", (2011, 1, 10),
        base_en(title="NUTS 2010 regions", edition="2010", origin="Eurostat – GISCO", pubdate="20110110",
                metd="20110201", created=("20110201", "10000000", "10300000"), native=NATIVE_93, pubplace="Luxembourg",
                abstract="Boundaries of the statistical regions of Europe (NUTS 2010), levels 0 to 3, generalised "
                         "for maps at 1:3 000 000.",
                purpose="Mapping of regional statistics.",
                useconst="Free of charge with the acknowledgement © EuroGeographics for the administrative boundaries.",
                themekeys=["administrative", "NUTS", "statistical regions"], placekeys=["Europe"],
                bbox=EUROPE[0], lbox=EUROPE[1], srcscale=3000000, srctitle="NUTS 2010 classification",
                procdesc="Generalised from the 1:100 000 boundaries.", issue="5001",
                onlink="http://geodata.example.org/europe/nuts", creator=C_EUROSTAT, distributor=C_EUROSTAT,
                networkr="http://geodata.example.org/download/europe/nuts2010.zip",
                browsen="nuts2010.bmp", thumbnail="nuts"),
        {"NUTS_ID": ("NUTS code of the region.", "NUTS 2010"), "NAME": ("Name of the region in its own language.",
                                                                          "Free text"),
         "LEVL": ("NUTS level.", "0 to 3")})
    placeholder(R / (eu + "nuts2010.lyr"), "an ArcGIS layer file")

    esa = R / "50_europe/imagery/esa"
    write(esa / "mosaic_2010.jp2", b"\x00\x00\x00\x0cjP  \r\n\x87\n" + b"\x00\x00\x00\x14ftypjp2 \x00\x00\x00\x00jp2 "
          + b"Atlasdesk demo server: placeholder for a JPEG 2000 mosaic.\n")
    out.append((esa / "mosaic_2010.jp2.xml", base_en(
        path="50_europe/imagery/esa/mosaic_2010.jp2", arcgis10=True, title="Satellite mosaic of Europe 2010",
        edition="2010", origin="European Space Agency (ESA)", pubdate="20101215", metd="20120207",
        created=("20120207", "11000000", "11100000"), native=NATIVE_10, pubplace="Frascati",
        abstract="Cloud-reduced natural-colour mosaic of Europe made from optical satellite images of the "
                 "summers 2009 and 2010, with 300 m pixels.",
        purpose="Background imagery for European overview maps.",
        supplinf="Remaining clouds cover about 2 % of the land area, mostly over Scandinavia.",
        useconst="Free for non-commercial use with the credit © ESA 2010.",
        themekeys=["imagery", "satellite", "mosaic"], placekeys=["Europe"], bbox=EUROPE[0], lbox=EUROPE[1],
        srcscale=1000000, srctitle="Optical satellite scenes 2009-2010",
        procdesc="Atmospheric correction, cloud masking and per-pixel median compositing.", issue="5100",
        onlink="http://geodata.example.org/europe/mosaic", creator=C_ESA, distributor=C_ESA,
        networkr="http://geodata.example.org/download/europe/mosaic_2010.jp2", geoform="remote-sensing image",
        natvform="JPEG 2000", transize=mb((esa / "mosaic_2010.jp2").stat().st_size),
        spdoinfo=raster_spdoinfo(13450, 13000, 3), proj="laea", browsen="mosaic_2010.png", browset="PNG",
        thumbnail="satellite", thumbnail_png=True)))

    # -- 85_archive: never uploaded; an old DOS-era workspace in capitals ----
    arch = "85_archive/21_france/31_bretagne/"
    shp(arch + "transport/ign/routes_1998.shp", 3, BRETAGNE_L2E, road_fields[:2] + [("LONGUEUR", "N", 10, 1)],
        [("D785", "Départementale", 12380.0), ("N165", "Nationale", 30180.5), ("D700", "Départementale", 15620.2)],
        "lambert2e", (1998, 12, 15),
        base_fr(title="Réseau routier départemental 1998", edition="1998", origin="Institut géographique national (IGN)",
                pubdate="19981215", metd="20050310", created=("20050310", "10000000", "10100000"), native=NATIVE_91,
                style="latin1",
                abstract="Édition 1998 du réseau routier départemental, en Lambert II étendu. Conservée pour "
                         "l'historique ; remplacée par l'édition 2009.",
                purpose="Archives.", useconst="Réutilisation libre avec mention « IGN, 1998 ».",
                themekeys=["transport", "routes", "archives"], placekeys=["Bretagne"], progress="Complete",
                update="None planned", bbox=BRETAGNE[0], lbox=BRETAGNE_L2E, srcscale=50000,
                srctitle="BD CARTO® 1998", procdesc="Conversion depuis la couverture ArcInfo d'origine.",
                issue="1998", onlink="http://geodata.example.org/archives/routes_1998", creator=C_IGN,
                distributor=C_REGION, networkr="http://geodata.example.org/archives/routes_1998.zip",
                browsen="routes_1998.bmp", thumbnail="roads-old"),
        {k: road_doc[k] for k in ("NUMERO", "CLASSE", "LONGUEUR")})
    old = R / (arch + "hydrology/ign")
    for f in ("ARC.ADF", "AAT.ADF", "BND.ADF", "TIC.ADF"):
        placeholder(old / "HYDRO" / f, "an ArcInfo coverage file")
    for f in ("ARC.DIR", "ARC0000.DAT", "ARC0000.NIT", "ARC0001.DAT", "ARC0001.NIT"):
        placeholder(old / "INFO" / f, "an ArcInfo INFO table file")
    e00 = ("EXP  0 C:\\GEODATA\\HYDRO1990.E00\n"
           "ARC  2\n"
           "         1         1         1         0         0         2\n"
           " 1.1200000E+05 2.3850000E+06 1.1900000E+05 2.3910000E+06\n"
           "        -1         0         0         0         0         0         0\n"
           "EOS\n")
    write(old / "hydro1990.e00", e00)
    out.append((old / "hydro1990.e00.xml", base_fr(
        path=arch + "hydrology/ign/hydro1990.e00", title="Hydrographie 1990 (export ArcInfo)", edition="1990",
        origin="Institut géographique national (IGN)", pubdate="19900601", metd="20050310",
        created=("20050310", "10200000", "10250000"), native=NATIVE_91, style="latin1",
        abstract="Fichier d'échange ArcInfo de la couverture HYDRO : réseau hydrographique de 1990.",
        purpose="Archives.", useconst="Réutilisation libre avec mention « IGN, 1990 ».",
        themekeys=["hydrology", "archives"], placekeys=["Bretagne"], update="None planned",
        bbox=BRETAGNE[0], lbox=BRETAGNE_L2E, srcscale=100000, srctitle="Couverture HYDRO 1990",
        procdesc="EXPORT COVER HYDRO HYDRO1990 NONE.", issue="1990",
        onlink="http://geodata.example.org/archives/hydro1990", creator=C_IGN, distributor=C_REGION,
        networkr="http://geodata.example.org/archives/hydro1990.e00", geoform="vector digital data",
        natvform="ArcInfo Interchange File", transize=mb(len(e00)), proj="lambert2e")))

    for path, ds in out:
        write_metadata(path, ds)


def main():
    if ROOT.exists():
        shutil.rmtree(ROOT)
    ROOT.mkdir(parents=True)
    build(ROOT)
    files = sorted(p for p in ROOT.rglob("*") if p.is_file())
    total = sum(p.stat().st_size for p in files)
    print("%s: %d files, %d bytes" % (ROOT, len(files), total))


if __name__ == "__main__":
    main()
