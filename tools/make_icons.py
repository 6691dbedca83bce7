#!/usr/bin/env python3
"""Draws Vantor's icons into resources/. Standard library only, so it runs on a bare python3.

Each size is drawn at its own resolution (supersampled, soft-edged shapes per sample) rather
than shrunk from a big master, which keeps 16 px crisp. Output is byte-for-byte repeatable.
"""
import math
import os
import struct
import zlib

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
APP_SIZES = (512, 256, 128, 48, 32, 16)
CLEAR = (0.0, 0.0, 0.0, 0.0)


def norm(v):
    n = math.sqrt(sum(c * c for c in v))
    return tuple(c / n for c in v)


def cross(a, b):
    return (a[1] * b[2] - a[2] * b[1], a[2] * b[0] - a[0] * b[2], a[0] * b[1] - a[1] * b[0])


def dot(a, b):
    return a[0] * b[0] + a[1] * b[1] + a[2] * b[2]


def cov(d, aa):
    """Coverage of a shape at signed distance d (negative inside), edge aa wide."""
    return min(1.0, max(0.0, 0.5 - d / aa))


def over(dst, rgb, a):
    """Source-over compositing with straight (non-premultiplied) alpha."""
    if a <= 0.0:
        return dst
    da = dst[3] * (1.0 - a)
    oa = a + da
    return tuple((rgb[k] * a + dst[k] * da) / oa for k in range(3)) + (oa,)


# --- globe geometry, shared by the raster and the SVG -------------------------
# Screen space: x right, y down, z towards the viewer. Tilting the pole towards
# us turns the parallels into arcs, which reads as a sphere.
LIGHT = norm((-0.5, -0.6, 0.65))


def grid_circles(size):
    """(plane normal, offset) pairs: circles n.c == s on the unit sphere."""
    if size <= 16:
        # Too few pixels for a tilted grid: an upright cross plus two side
        # meridians is the globe glyph people recognise.
        axis, lats, lons = (0.12, -0.97, 0.2), (0.0,), (0.0, 55.0, -55.0)
    elif size <= 48:
        axis, lats, lons = (0.28, -0.88, 0.38), (-35.0, 0.0, 35.0), (25.0, 85.0, 145.0)
    else:
        axis, lats = (0.28, -0.88, 0.38), (-60.0, -30.0, 0.0, 30.0, 60.0)
        lons = (10.0, 40.0, 70.0, 100.0, 130.0, 160.0)
    axis = norm(axis)
    e1 = norm(cross(axis, (0.0, 0.0, 1.0)))
    e2 = cross(axis, e1)
    circles = [(axis, math.sin(math.radians(t))) for t in lats]
    for deg in lons:
        t = math.radians(deg)
        circles.append((tuple(math.cos(t) * a + math.sin(t) * b for a, b in zip(e1, e2)), 0.0))
    return circles


def ring_metrics(size):
    # At small sizes the ring and lines need a floor in pixels, or they vanish.
    px = 1.0 / size
    outer = 0.485
    inner = outer - max(0.085, 2.3 * px)
    return px, outer, inner, max(0.011, (1.0 if size <= 48 else 0.75) * px)


def app_shader(size):
    px, r_out, r_in, line_w = ring_metrics(size)
    r_globe = r_in + 0.5 * px  # tucked under the ring so no seam shows through
    circles = grid_circles(size)
    edge_w = max(0.006, 0.55 * px)
    deep, light = (0.05, 0.22, 0.55), (0.35, 0.68, 0.98)
    # A pin-point highlight turns into one odd bright pixel when small; spread it.
    shine_exp, shine_a = (24, 0.7) if size >= 128 else (8, 0.5)
    grid_a, fade_k = (0.6, 2.5) if size > 16 else (0.8, 5.0)

    def shade(x, y, aa):
        dx, dy = x - 0.5, y - 0.5
        r = math.hypot(dx, dy)
        if r > r_out + aa:
            return CLEAR
        out = CLEAR
        a_globe = cov(r - r_globe, aa)
        if a_globe > 0.0:
            nx, ny = dx / r_globe, dy / r_globe
            nz = math.sqrt(max(1e-6, 1.0 - nx * nx - ny * ny))
            n = (nx, ny, nz)
            diff = max(0.0, dot(n, LIGHT))
            k = 0.12 + 0.88 * diff
            col = tuple(d + (l - d) * k for d, l in zip(deep, light))
            out = over(out, col, a_globe)
            fade = min(1.0, nz * fade_k)
            for c, s in circles:
                f = dot(c, n) - s
                gx = (c[0] - c[2] * nx / nz) / r_globe
                gy = (c[1] - c[2] * ny / nz) / r_globe
                d = abs(f) / max(1e-9, math.hypot(gx, gy))
                a = cov(d - 0.5 * line_w, aa) * grid_a * fade * a_globe
                out = over(out, (0.78, 0.9, 1.0), a)
            rz = 2.0 * diff * nz - LIGHT[2]  # view-aligned part of the reflected light
            gloss = max(0.0, rz) ** shine_exp
            out = over(out, (1.0, 1.0, 1.0), shine_a * gloss * a_globe)
        a_ring = cov(r - r_out, aa) * (1.0 - cov(r - r_in, aa))
        if a_ring > 0.0:
            # Shade the ring as a tube so it reads as polished metal.
            t = min(1.0, max(0.0, (r - r_in) / (r_out - r_in)))
            nr = 0.85 * (2.0 * t - 1.0)
            ux, uy = (dx / r, dy / r) if r > 0 else (0.0, 0.0)
            n = (nr * ux, nr * uy, math.sqrt(1.0 - nr * nr))
            diff = max(0.0, dot(n, LIGHT))
            rz = 2.0 * diff * n[2] - LIGHT[2]
            band = 0.09 * math.cos(3.0 * math.atan2(dy, dx))
            lum = min(1.0, 0.26 + 0.6 * diff + band + 0.6 * max(0.0, rz) ** 12)
            col = (lum * 0.96, lum * 0.97, min(1.0, lum * 1.02))
            edge = max(cov(r_out - r - edge_w, aa), cov(r - r_in - edge_w, aa))
            col = tuple(c + (e - c) * 0.75 * edge for c, e in zip(col, (0.28, 0.3, 0.35)))
            out = over(out, col, a_ring)
        return out

    return shade


GLINT = (-2.75, -1.55, 0.62)  # arc from/to angle (radians) and radius as a share of the lens


def search_metrics(size):
    """Lens centre, outer radius, rim width, handle start/end (on the diagonal), handle width."""
    c, r_out, rim = 0.41, 0.31, max(0.085, 2.6 / size)
    return c, r_out, rim, c + (r_out - 0.5 * rim) * math.sqrt(0.5), 0.86, max(0.13, 4.0 / size)


def search_shader(size):
    px = 1.0 / size
    cx, r_out, rim, hx0, hx1, hw = search_metrics(size)
    cy, r_in = cx, r_out - rim
    dark = (0.16, 0.2, 0.27)

    def shade(x, y, aa):
        out = CLEAR
        # The handle lies on the x == y diagonal: distance to that segment.
        t = min(hx1, max(hx0, 0.5 * (x + y)))
        d = math.hypot(x - t, y - t)
        if d < 0.5 * hw + aa:
            # Sideways offset along the handle gives it a faint rounded sheen.
            side = ((x - y) * math.sqrt(0.5)) / (0.5 * hw)
            lum = 0.1 * max(0.0, 1.0 - (side + 0.3) ** 2)
            out = over(out, tuple(c + lum for c in dark), cov(d - 0.5 * hw, aa))
        r = math.hypot(x - cx, y - cy)
        if r < r_out + aa:
            g = ((x - cx) + (y - cy)) / (2.0 * r_out)  # -0.7 at top-left .. 0.7 at bottom-right
            glass = (0.74 - 0.12 * g, 0.88 - 0.08 * g, 0.99 - 0.03 * g)
            out = over(out, glass, 0.92 * cov(r - r_in, aa))
            # A short white glint inside the upper-left of the lens.
            ang = math.atan2(y - cy, x - cx)
            if GLINT[0] < ang < GLINT[1]:
                a = cov(abs(r - GLINT[2] * r_in) - max(0.028, 0.75 * px), aa)
                out = over(out, (1.0, 1.0, 1.0), 0.85 * a)
            out = over(out, dark, cov(r - r_out, aa) * (1.0 - cov(r - r_in, aa)))
        return out

    return shade


def render(size, shader, ss):
    """RGBA bytes, rows top-down; ss x ss samples per pixel."""
    px = 1.0 / size
    aa = px / ss
    offs = [(k + 0.5) / ss for k in range(ss)]
    buf = bytearray()
    for j in range(size):
        for i in range(size):
            r = g = b = a = 0.0
            for oy in offs:
                for ox in offs:
                    sr, sg, sb, sa = shader((i + ox) * px, (j + oy) * px, aa)
                    r, g, b, a = r + sr * sa, g + sg * sa, b + sb * sa, a + sa
            if a <= 0.0:
                buf += b"\0\0\0\0"
                continue
            buf += bytes((round(255 * min(1.0, r / a)), round(255 * min(1.0, g / a)),
                          round(255 * min(1.0, b / a)), round(255 * a / (ss * ss))))
    return bytes(buf)


# --- file formats ------------------------------------------------------------
def _paeth(a, b, c):
    p = a + b - c
    pa, pb, pc = abs(p - a), abs(p - b), abs(p - c)
    return a if pa <= pb and pa <= pc else (b if pb <= pc else c)


def png_bytes(size, rgba):
    """8-bit RGBA, non-interlaced; filter chosen per row by the usual min-sum rule."""
    stride = size * 4
    raw = bytearray()
    prev = bytes(stride)
    for j in range(size):
        row = rgba[j * stride:(j + 1) * stride]
        left = bytes(4) + row[:-4]
        upleft = bytes(4) + prev[:-4]
        cands = [
            (0, row),
            (1, bytes((row[k] - left[k]) & 255 for k in range(stride))),
            (2, bytes((row[k] - prev[k]) & 255 for k in range(stride))),
            (4, bytes((row[k] - _paeth(left[k], prev[k], upleft[k])) & 255 for k in range(stride))),
        ]
        ftype, data = min(cands, key=lambda c: sum(v if v < 128 else 256 - v for v in c[1]))
        raw.append(ftype)
        raw += data
        prev = row

    def chunk(tag, data):
        return struct.pack(">I", len(data)) + tag + data + struct.pack(">I", zlib.crc32(tag + data))

    ihdr = struct.pack(">IIBBBBB", size, size, 8, 6, 0, 0, 0)
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", ihdr)
            + chunk(b"IDAT", zlib.compress(bytes(raw), 9)) + chunk(b"IEND", b""))


def bmp_bytes(size, rgba):
    """Icon-style DIB: header claims double height for the XOR image + AND mask."""
    xor = bytearray()
    for j in reversed(range(size)):
        row = bytearray(rgba[j * size * 4:(j + 1) * size * 4])
        row[0::4], row[2::4] = row[2::4], row[0::4]  # RGBA -> BGRA
        xor += row
    mask = bytearray()
    for j in reversed(range(size)):
        bits = bytearray(((size + 31) // 32) * 4)  # rows padded to 32 bits
        for i in range(size):
            if rgba[(j * size + i) * 4 + 3] < 128:  # mostly clear: transparent for old renderers
                bits[i >> 3] |= 0x80 >> (i & 7)
        mask += bits
    header = struct.pack("<IiiHHIIiiII", 40, size, 2 * size, 1, 32, 0,
                         len(xor) + len(mask), 0, 0, 0, 0)
    return header + bytes(xor) + bytes(mask)


def ico_bytes(images):
    """images: (size, payload) in directory order; 256 and up are stored as 0."""
    offset = 6 + 16 * len(images)
    head = struct.pack("<HHH", 0, 1, len(images))
    for size, data in images:
        dim = 0 if size >= 256 else size
        head += struct.pack("<BBBBHHII", dim, dim, 0, 0, 1, 32, len(data), offset)
        offset += len(data)
    return head + b"".join(data for _, data in images)


def svg_arc(c, s, cx, cy, rad, steps=48):
    """Visible (front) part of the sphere circle n.c == s as an SVG path."""
    f1 = norm(cross(c, (0.0, 0.0, 1.0)) if abs(c[2]) < 0.999 else (1.0, 0.0, 0.0))
    f2 = cross(c, f1)
    rr = math.sqrt(max(0.0, 1.0 - s * s))
    t0 = math.atan2(-f2[2], -f1[2])  # start at the point farthest from the viewer
    pts = []
    for k in range(steps * 4 + 1):
        t = t0 + 2.0 * math.pi * k / (steps * 4)
        p = [s * c[m] + rr * (math.cos(t) * f1[m] + math.sin(t) * f2[m]) for m in range(3)]
        if p[2] >= 0.0:
            pts.append("%.2f,%.2f" % (cx + rad * p[0], cy + rad * p[1]))
    return "M" + " L".join(pts) if len(pts) > 1 else ""


def app_svg():
    _, r_out, r_in, _ = ring_metrics(512)
    u = 512.0
    c, rg, rm, rw = u / 2, r_in * u, (r_out + r_in) / 2 * u, (r_out - r_in) * u
    # Arcs hold only the sphere's front side, so they stay inside the disc unclipped
    # (simple renderers such as Qt's SVG Tiny ignore clip paths).
    paths = "\n".join('    <path d="%s"/>' % svg_arc(cc, s, c, c, rg)
                      for cc, s in grid_circles(512))
    return """<svg xmlns="http://www.w3.org/2000/svg" width="512" height="512" viewBox="0 0 512 512">
  <defs>
    <radialGradient id="sea" cx="0.5" cy="0.5" r="0.5" fx="0.3" fy="0.25"><stop offset="0" stop-color="#5aadf8"/>
      <stop offset="0.6" stop-color="#2a6cc4"/><stop offset="1" stop-color="#0e3a8a"/></radialGradient>
    <radialGradient id="shine" cx="0.33" cy="0.28" r="0.22"><stop offset="0" stop-color="#ffffff" stop-opacity="0.7"/>
      <stop offset="1" stop-color="#ffffff" stop-opacity="0"/></radialGradient>
    <linearGradient id="metal" x1="0" y1="0" x2="1" y2="1"><stop offset="0" stop-color="#f4f6fa"/>
      <stop offset="0.45" stop-color="#b4b8c0"/><stop offset="0.7" stop-color="#d6d9de"/>
      <stop offset="1" stop-color="#6c7078"/></linearGradient>
  </defs>
  <circle cx="%(c)g" cy="%(c)g" r="%(rg2).2f" fill="url(#sea)"/>
  <g fill="none" stroke="#c7e6ff" stroke-opacity="0.6" stroke-width="5.6">
%(paths)s
  </g>
  <circle cx="%(c)g" cy="%(c)g" r="%(rg).2f" fill="url(#shine)"/>
  <circle cx="%(c)g" cy="%(c)g" r="%(rm).2f" fill="none" stroke="url(#metal)" stroke-width="%(rw).2f"/>
  <g fill="none" stroke="#474d59" stroke-width="3"><circle cx="%(c)g" cy="%(c)g" r="%(ro).2f"/>
    <circle cx="%(c)g" cy="%(c)g" r="%(ri).2f"/></g>
</svg>
""" % dict(c=c, rg=rg, rg2=rg + 1, rm=rm, rw=rw, ro=r_out * u - 1.5, ri=r_in * u + 1.5, paths=paths)


def search_svg():
    c, r_out, rim, h0, h1, hw = (v * 32 for v in search_metrics(32))
    rg = GLINT[2] * (r_out - rim)
    g = [(c + rg * math.cos(t), c + rg * math.sin(t)) for t in GLINT[:2]]
    return """<svg xmlns="http://www.w3.org/2000/svg" width="32" height="32" viewBox="0 0 32 32">
  <line x1="%.2f" y1="%.2f" x2="%.2f" y2="%.2f" stroke="#29334a" stroke-width="%.2f" stroke-linecap="round"/>
  <circle cx="%.2f" cy="%.2f" r="%.2f" fill="#bde1fc" fill-opacity="0.92" stroke="#29334a" stroke-width="%.2f"/>
  <path d="M%.2f,%.2f A%.2f,%.2f 0 0 1 %.2f,%.2f" fill="none" stroke="#ffffff" stroke-width="1.8" stroke-linecap="round"/>
</svg>
""" % (h0, h0, h1, h1, hw, c, c, r_out - rim / 2, rim, g[0][0], g[0][1], rg, rg, g[1][0], g[1][1])


# macOS icon types that hold PNG data, by pixel size (the @2x types reuse the
# bigger pictures).
ICNS_TYPES = [(b"icp4", 16), (b"icp5", 32), (b"ic11", 32), (b"ic07", 128),
              (b"ic08", 256), (b"ic13", 256), (b"ic09", 512), (b"ic14", 512)]


def icns_bytes(pngs):
    body = b"".join(kind + struct.pack(">I", 8 + len(pngs[size])) + pngs[size] for kind, size in ICNS_TYPES)
    return b"icns" + struct.pack(">I", 8 + len(body)) + body


def write(rel, data):
    path = os.path.join(ROOT, rel)
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as fh:
        fh.write(data)
    print("%-45s %7d bytes" % (rel, len(data)))


def main():
    write("resources/images/ico_search.png", png_bytes(32, render(32, search_shader(32), 4)))
    write("resources/images/ico_search.svg", search_svg().encode())
    images = []
    pngs = {}
    for size in APP_SIZES:
        # Big sizes have pixels to spare for edges; fewer samples keep the run short.
        rgba = render(size, app_shader(size), 4 if size <= 48 else (3 if size <= 128 else 2))
        png = png_bytes(size, rgba)
        write("resources/icons/hicolor/%dx%d/apps/vantor.png" % (size, size), png)
        pngs[size] = png
        images.append((size, png if size >= 256 else bmp_bytes(size, rgba)))
    write("resources/icons/vantor.ico", ico_bytes(images))
    write("resources/icons/vantor.icns", icns_bytes(pngs))
    write("resources/icons/vantor.svg", app_svg().encode())


if __name__ == "__main__":
    main()
