#!/usr/bin/python3
"""Draws every picture and icon that the program embeds.

Usage: draw_resources.py [OUTPUT_DIR]

Without an argument the files go to ../resources next to this script.
Only Pillow is used, and the output is byte-for-byte the same on every
run: fixed JPEG quality and subsampling, no metadata, no randomness, and
the icon containers are written by hand.
"""

import math
import os
import struct
import sys

from PIL import Image, ImageChops, ImageDraw, ImageFilter, ImageFont

CJK_FONT = "/usr/share/fonts/truetype/wqy/wqy-zenhei.ttc"
# Face 2 of the collection ("Zen Hei Sharp") carries hand-tuned bitmaps
# for 12 to 16 pixels, which keeps small captions crisp.
CJK_FONT_SHARP_INDEX = 2

SS = 8  # supersampling factor for everything drawn with antialiasing

JPEG_OPTIONS = dict(quality=95, subsampling=0, optimize=False,
                    progressive=False)


# ---------------------------------------------------------------------------
# Small drawing helpers
# ---------------------------------------------------------------------------

def mix(c0, c1, t):
    return tuple(int(round(a + (b - a) * t)) for a, b in zip(c0, c1))


def ramp(stops, t):
    """Colour at position t on a list of (position, colour) stops."""
    if t <= stops[0][0]:
        return stops[0][1]
    for (p0, c0), (p1, c1) in zip(stops, stops[1:]):
        if t <= p1:
            u = (t - p0) / (p1 - p0) if p1 > p0 else 0.0
            # smoothstep keeps the joins between stops soft
            u = u * u * (3 - 2 * u)
            return mix(c0, c1, u)
    return stops[-1][1]


def lut_from_stops(stops):
    """Three 256-entry channel tables for mapping an L ramp to colours."""
    cols = [ramp(stops, i / 255.0) for i in range(256)]
    return [[c[k] for c in cols] for k in range(3)]


def colourize(lum, stops, alpha=None):
    """Maps an L image (0..255 = position on the ramp) to RGBA."""
    r, g, b = lut_from_stops(stops)
    chans = [lum.point(r), lum.point(g), lum.point(b)]
    chans.append(alpha if alpha is not None
                 else Image.new("L", lum.size, 255))
    return Image.merge("RGBA", chans)


def linear_ramp(w, h, x0, y0, x1, y1):
    """L image: 0 at (x0, y0), 255 at (x1, y1), constant across."""
    dx, dy = x1 - x0, y1 - y0
    n = dx * dx + dy * dy or 1.0
    ux, uy = dx / n, dy / n
    data = bytearray(w * h)
    i = 0
    for y in range(h):
        base = (y + 0.5 - y0) * uy
        for x in range(w):
            t = (x + 0.5 - x0) * ux + base
            data[i] = 0 if t <= 0 else 255 if t >= 1 else int(t * 255 + 0.5)
            i += 1
    return Image.frombytes("L", (w, h), bytes(data))


def radial_ramp(w, h, cx, cy, radius):
    """L image: 0 at (cx, cy), 255 at the given distance and beyond."""
    data = bytearray(w * h)
    i = 0
    inv = 1.0 / radius
    for y in range(h):
        dy2 = (y + 0.5 - cy) ** 2
        for x in range(w):
            t = math.sqrt((x + 0.5 - cx) ** 2 + dy2) * inv
            data[i] = 255 if t >= 1 else int(t * 255 + 0.5)
            i += 1
    return Image.frombytes("L", (w, h), bytes(data))


def new_mask(size):
    return Image.new("L", size, 0)


def paint(canvas, mask, fill, opacity=255):
    """Composites `fill` (colour tuple or RGBA image) through `mask`."""
    if isinstance(fill, tuple):
        layer = Image.new("RGBA", canvas.size, fill[:3] + (255,))
    else:
        layer = fill.copy()
    if opacity != 255:
        mask = mask.point(lambda v: (v * opacity + 127) // 255)
    layer.putalpha(ImageChops.multiply(layer.getchannel("A"), mask))
    canvas.alpha_composite(layer)


def multiply(a, b):
    return ImageChops.multiply(a, b)


def union(*masks):
    out = masks[0]
    for m in masks[1:]:
        out = ImageChops.lighter(out, m)
    return out


def downsample(img, size):
    """Box-filters a supersampled RGBA drawing with premultiplied alpha."""
    return img.convert("RGBa").resize(size, Image.BOX).convert("RGBA")


def ellipse_mask(size, box):
    m = new_mask(size)
    ImageDraw.Draw(m).ellipse(box, fill=255)
    return m


def ring_mask(size, cx, cy, rx, ry, width):
    m = new_mask(size)
    d = ImageDraw.Draw(m)
    d.ellipse((cx - rx, cy - ry, cx + rx, cy + ry), fill=255)
    d.ellipse((cx - rx + width, cy - ry + width,
               cx + rx - width, cy + ry - width), fill=0)
    return m


def polygon_mask(size, pts):
    m = new_mask(size)
    ImageDraw.Draw(m).polygon(pts, fill=255)
    return m


def line_mask(size, pts, width):
    m = new_mask(size)
    d = ImageDraw.Draw(m)
    d.line(pts, fill=255, width=int(round(width)), joint="curve")
    r = width / 2.0
    for x, y in (pts[0], pts[-1]):
        d.ellipse((x - r, y - r, x + r, y + r), fill=255)
    return m


def outline_of(mask, width):
    """Mask of a band `width` pixels wide along the inside of a shape."""
    k = int(round(width)) * 2 + 1
    inner = mask.filter(ImageFilter.MinFilter(k))
    return ImageChops.subtract(mask, inner)


def save_jpeg(img, path):
    img.convert("RGB").save(path, "JPEG", **JPEG_OPTIONS)


# ---------------------------------------------------------------------------
# The bar: background strip and the blinking dot
# ---------------------------------------------------------------------------

BAR_W, BAR_H = 286, 31

# Rows 1..29 lie inside the rim. The strip is bright just under its top
# edge and drops quickly to a mid blue, so that the near-white captions
# (rows 8..24) sit on a ground dark enough to read.
BAR_STOPS = [
    (1, (178, 216, 248)),
    (3, (122, 174, 230)),
    (7, (72, 126, 198)),
    (16, (52, 100, 174)),
    (29, (22, 58, 124)),
]
BAR_RIM = (12, 32, 74)

DOT_X, DOT_Y = 275, 21          # where the lit dot picture is placed
DOT_CX, DOT_CY = 279.5, 25.5    # centre of the dim dot and of the light


def bar_row_colour(y):
    return ramp(BAR_STOPS, float(y))


def bar_plain():
    """The gradient strip with its rim, nothing else on it."""
    img = Image.new("RGBA", (BAR_W, BAR_H))
    d = ImageDraw.Draw(img)
    for y in range(BAR_H):
        d.line((0, y, BAR_W - 1, y), fill=bar_row_colour(y) + (255,))
    d.rectangle((0, 0, BAR_W - 1, BAR_H - 1), outline=BAR_RIM + (255,))
    return img


def draw_globe(img, cx, cy, r):
    """A small shaded globe with a light grid, centred at (cx, cy)."""
    pad = 2
    x0, y0 = int(math.floor(cx - r)) - pad, int(math.floor(cy - r)) - pad
    w = h = int(math.ceil(2 * r)) + 2 * pad + 1
    S = SS
    size = (w * S, h * S)
    lcx, lcy, lr = (cx - x0) * S, (cy - y0) * S, r * S
    layer = Image.new("RGBA", size, (0, 0, 0, 0))

    disc = ellipse_mask(size, (lcx - lr, lcy - lr, lcx + lr, lcy + lr))
    shade = colourize(
        radial_ramp(size[0], size[1], lcx - 0.35 * lr, lcy - 0.4 * lr,
                    1.45 * lr),
        [(0.0, (196, 240, 255)), (0.35, (92, 186, 232)),
         (0.75, (34, 118, 188)), (1.0, (16, 72, 140))])
    paint(layer, disc, shade)

    # a few land masses in a muted green, clipped to the disc
    land = new_mask(size)
    dl = ImageDraw.Draw(land)
    def blob(u, v, a, b):
        dl.ellipse((lcx + (u - a) * lr, lcy + (v - b) * lr,
                    lcx + (u + a) * lr, lcy + (v + b) * lr), fill=255)
    blob(-0.35, -0.30, 0.30, 0.22)
    blob(-0.15, 0.25, 0.18, 0.32)
    blob(0.40, -0.05, 0.28, 0.20)
    blob(0.45, 0.40, 0.16, 0.12)
    paint(layer, multiply(land, disc), (96, 176, 96), 200)

    # grid: equator, two parallels, three meridians
    grid = new_mask(size)
    dg = ImageDraw.Draw(grid)
    gw = max(1, int(round(0.75 * S)))
    for v in (-0.5, 0.0, 0.5):
        half = lr * math.sqrt(1 - v * v)
        yy = lcy + v * lr
        ry = 0.16 * lr * math.sqrt(1 - v * v)
        dg.arc((lcx - half, yy - ry, lcx + half, yy + ry), 0, 180,
               fill=255, width=gw)
    for k in (0.0, 0.5):
        rx = lr * k
        if rx < 1:
            dg.line((lcx, lcy - lr, lcx, lcy + lr), fill=255, width=gw)
        else:
            dg.ellipse((lcx - rx, lcy - lr, lcx + rx, lcy + lr),
                       outline=255, width=gw)
    paint(layer, multiply(grid, disc), (228, 246, 255), 150)

    # bright rim so the globe stands off the blue strip
    paint(layer, ring_mask(size, lcx, lcy, lr, lr, 0.8 * S),
          (214, 238, 255), 230)

    small = downsample(layer, (w, h))
    img.alpha_composite(small, (x0, y0))


def dot_layer(w, h, cx, cy, lit):
    """The dot as an RGBA drawing in a w x h box (centre in box pixels)."""
    S = SS
    size = (w * S, h * S)
    lcx, lcy = cx * S, cy * S
    layer = Image.new("RGBA", size, (0, 0, 0, 0))
    if lit:
        # soft glow fading out to nothing at the picture's edge
        glow = radial_ramp(size[0], size[1], lcx, lcy, 4.3 * S)
        glow_alpha = glow.point(
            lambda v: int(round(255 * max(0.0, 1 - v / 255.0) ** 1.6)))
        glow_col = Image.new("RGBA", size, (150, 236, 60, 255))
        paint(layer, glow_alpha, glow_col)
        core = ellipse_mask(size, (lcx - 3.0 * S, lcy - 3.0 * S,
                                   lcx + 3.0 * S, lcy + 3.0 * S))
        core_fill = colourize(
            radial_ramp(size[0], size[1], lcx - 0.6 * S, lcy - 0.7 * S,
                        3.0 * S),
            [(0.0, (250, 255, 200)), (0.35, (222, 255, 90)),
             (1.0, (140, 222, 30))])
        paint(layer, core, core_fill)
    else:
        r = 3.5 * S
        disc = ellipse_mask(size, (lcx - r, lcy - r, lcx + r, lcy + r))
        fill = colourize(
            radial_ramp(size[0], size[1], lcx - 0.8 * S, lcy - 0.9 * S,
                        4.0 * S),
            [(0.0, (84, 140, 84)), (0.6, (44, 98, 60)),
             (1.0, (26, 66, 48))])
        paint(layer, disc, fill)
        paint(layer, ring_mask(size, lcx, lcy, r, r, 0.9 * S),
              (16, 44, 40), 220)
    return downsample(layer, (w, h))


def draw_bar():
    base = bar_plain()
    draw_globe(base, 264.0, 15.0, 7.0)

    background = base.copy()
    background.alpha_composite(
        dot_layer(10, 10, DOT_CX - (DOT_X - 1), DOT_CY - (DOT_Y - 1), False),
        (DOT_X - 1, DOT_Y - 1))

    dot = base.crop((DOT_X, DOT_Y, DOT_X + 8, DOT_Y + 8))
    dot.alpha_composite(dot_layer(8, 8, DOT_CX - DOT_X, DOT_CY - DOT_Y, True))
    return background, dot


# ---------------------------------------------------------------------------
# The portal window: banner, logo and link faces
# ---------------------------------------------------------------------------

BANNER_W, BANNER_H = 1440, 50
BANNER_TOP = -2  # the banner starts two rows above the client area
BANNER_STOPS = [
    (0.0, (196, 230, 252)),
    (0.25, (164, 212, 244)),
    (1.0, (62, 108, 156)),
]


def banner_row_colour(y):
    return ramp(BANNER_STOPS, y / float(BANNER_H - 1))


def draw_banner():
    img = Image.new("RGB", (BANNER_W, BANNER_H))
    d = ImageDraw.Draw(img)
    for y in range(BANNER_H):
        d.line((0, y, BANNER_W - 1, y), fill=banner_row_colour(y))
    return img


def draw_logo():
    """Glass trophy cup on an orange plinth, 40 x 40 with alpha."""
    N = 40
    S = SS
    size = (N * S, N * S)
    img = Image.new("RGBA", size, (0, 0, 0, 0))

    def P(x, y):
        return (x * S, y * S)

    # -- orange plinth: a lower block and a narrower step on top of it
    block_top = polygon_mask(size, [P(9, 32), P(31, 32), P(33, 34), P(7, 34)])
    block_front = polygon_mask(size, [P(7, 34), P(33, 34), P(33, 39),
                                      P(7, 39)])
    step_top = polygon_mask(size, [P(13, 28.5), P(27, 28.5), P(28.5, 30),
                                   P(11.5, 30)])
    step_front = polygon_mask(size, [P(11.5, 30), P(28.5, 30), P(28.5, 32.4),
                                     P(11.5, 32.4)])
    front_fill = colourize(linear_ramp(size[0], size[1], 0, 34 * S, 0, 39 * S),
                           [(0.0, (250, 150, 40)), (1.0, (214, 96, 12))])
    paint(img, block_front, front_fill)
    paint(img, block_top, (255, 196, 112))
    paint(img, step_front, front_fill)
    paint(img, step_top, (255, 206, 128))
    plinth = union(block_front, block_top, step_front, step_top)
    paint(img, outline_of(plinth, 0.9 * S), (150, 62, 6))
    # a plaque on the front of the block
    plaque = new_mask(size)
    ImageDraw.Draw(plaque).rounded_rectangle(
        (14 * S, 35.3 * S, 26 * S, 37.7 * S), radius=0.8 * S, fill=255)
    paint(img, plaque, (255, 224, 150), 230)

    # -- glass: handles, bowl, stem and foot
    glass_edge = (64, 112, 168)
    glass_body = colourize(
        linear_ramp(size[0], size[1], 6 * S, 0, 34 * S, 0),
        [(0.0, (236, 248, 255)), (0.45, (196, 228, 250)),
         (1.0, (150, 196, 232))])

    for cx in (8.2, 31.8):
        ring = ring_mask(size, cx * S, 12 * S, 5.2 * S, 5.6 * S, 1.9 * S)
        paint(img, ring, glass_body, 170)
        paint(img, outline_of(ring, 0.55 * S), glass_edge, 220)

    # bowl: flat rim at row 5, rounded bottom at row 23
    bowl_pts = []
    steps = 48
    for i in range(steps + 1):
        a = math.pi * i / steps
        bowl_pts.append(P(20 - 12.5 * math.cos(a),
                          6 + 17 * math.sin(a) ** 1.15))
    bowl = polygon_mask(size, bowl_pts)
    ImageDraw.Draw(bowl).ellipse((7.5 * S, 4 * S, 32.5 * S, 8 * S), fill=255)
    # stem with a knot, and the foot disc
    stem = polygon_mask(size, [P(18.3, 21), P(21.7, 21), P(20.9, 27.5),
                               P(19.1, 27.5)])
    ImageDraw.Draw(stem).ellipse((17.2 * S, 23 * S, 22.8 * S, 25.6 * S),
                                 fill=255)
    foot = ellipse_mask(size, (13.5 * S, 26.2 * S, 26.5 * S, 29.4 * S))

    for part in (foot, stem, bowl):
        paint(img, part, glass_body, 180)
        paint(img, outline_of(part, 0.6 * S), glass_edge, 235)

    # liquid-like tint in the lower bowl gives the glass some depth
    tint = multiply(bowl, polygon_mask(size, [P(6, 14), P(34, 14), P(34, 30),
                                          P(6, 30)]))
    paint(img, tint, (120, 178, 226), 70)

    # opening of the cup: a dark lip with a bright line just inside it
    paint(img, ring_mask(size, 20 * S, 6 * S, 12.6 * S, 2.2 * S, 0.7 * S),
          glass_edge, 240)
    paint(img, ring_mask(size, 20 * S, 6 * S, 11.9 * S, 1.5 * S, 0.5 * S),
          (255, 255, 255), 230)
    paint(img, ellipse_mask(size, (8.6 * S, 4.7 * S, 31.4 * S, 7.3 * S)),
          (120, 170, 215), 90)

    # highlights: a long gleam on the left of the bowl, a short one right
    gleam = line_mask(size, [P(11.5, 9.5), P(12.2, 14), P(14.3, 18)], 1.6 * S)
    paint(img, gleam, (255, 255, 255), 235)
    gleam2 = line_mask(size, [P(27.6, 9.5), P(27.1, 12.5)], 1.1 * S)
    paint(img, gleam2, (255, 255, 255), 200)
    paint(img, line_mask(size, [P(16, 27.4), P(19, 27.0)], 0.8 * S),
          (255, 255, 255), 220)

    return downsample(img, (N, N))


LINKS = [
    # file name, width, top in the client area, caption
    ("link_goldweb.jpg", 94, 18, "Torvane首页"),
    ("link_gpriceweb.jpg", 93, 18, "黄金价格"),
    ("link_spriceweb.jpg", 93, 18, "白银价格"),
    ("link_toolweb.jpg", 92, 18, "实用工具"),
    ("link_chargeweb.jpg", 92, 18, "收费服务"),
    ("link_openweb.jpg", 92, 18, "在线开户"),
    ("link_memo.jpg", 92, 17, "备忘记录"),
    ("link_bbsweb.jpg", 93, 18, "Torvane论坛"),
]
LINK_H = 24
LINK_FONT_PX = 14
LINK_TEXT = (22, 30, 46)
LINK_FRAME = (140, 146, 154)


def draw_link(width, top, caption, font):
    w, h = width, LINK_H
    # Ground outside the rounded corners: the banner rows behind the face.
    img = Image.new("RGBA", (w, h))
    d = ImageDraw.Draw(img)
    for y in range(h):
        d.line((0, y, w - 1, y),
               fill=banner_row_colour(top - BANNER_TOP + y) + (255,))

    S = SS
    size = (w * S, h * S)
    face = Image.new("RGBA", size, (0, 0, 0, 0))
    outer = new_mask(size)
    ImageDraw.Draw(outer).rounded_rectangle(
        (0, 0, size[0] - 1, size[1] - 1), radius=4 * S, fill=255)
    inner = new_mask(size)
    ImageDraw.Draw(inner).rounded_rectangle(
        (S, S, size[0] - 1 - S, size[1] - 1 - S), radius=3 * S, fill=255)
    frame = ImageChops.subtract(outer, inner)
    ground = colourize(
        linear_ramp(size[0], size[1], 0, S, 0, size[1] - S),
        [(0.0, (255, 255, 255)), (0.45, (246, 248, 251)),
         (1.0, (222, 228, 236))])
    paint(face, inner, ground)
    # a light bevel just inside the top of the frame
    bevel = ImageChops.subtract(inner, ImageChops.offset(inner, 0, S))
    paint(face, bevel, (255, 255, 255), 255)
    paint(face, frame, LINK_FRAME)
    img.alpha_composite(downsample(face, (w, h)))

    # Caption drawn at the final size so that the glyph bitmaps stay crisp.
    d = ImageDraw.Draw(img)
    left, t, right, b = d.textbbox((0, 0), caption, font=font)
    x = (w - (right - left)) // 2 - left
    y = (h - (b - t)) // 2 - t
    d.text((x, y), caption, font=font, fill=LINK_TEXT + (255,))
    return img


# ---------------------------------------------------------------------------
# The program icon: a gold coin behind a gold bar
# ---------------------------------------------------------------------------

GOLD_DARK = (104, 60, 0)


def draw_emblem(n):
    """The emblem as an n x n RGBA picture, tuned for its final size."""
    S = SS if n >= 32 else 16
    size = (n * S, n * S)
    img = Image.new("RGBA", size, (0, 0, 0, 0))
    lw = max(1.0, n / 36.0) * S  # outline width, at least one pixel

    def P(u, v):
        return (u * n * S, v * n * S)

    # Small sizes get a taller bar that reaches the bottom edge, so that
    # both shapes keep a few pixels of face inside their outlines.
    if n >= 32:
        coin_u, coin_v, coin_r = 0.60, 0.39, 0.37
        bar_y = (0.55, 0.69, 0.94)
        bar_x = ((0.19, 0.63), (0.11, 0.71), (0.02, 0.80))
    else:
        coin_u, coin_v, coin_r = 0.61, 0.375, 0.375
        bar_y = (0.50, 0.655, 1.0)
        bar_x = ((0.16, 0.64), (0.07, 0.73), (0.0, 0.83))

    # -- coin, upper right
    ccx, ccy, cr = coin_u * n * S, coin_v * n * S, coin_r * n * S
    coin = ellipse_mask(size, (ccx - cr, ccy - cr, ccx + cr, ccy + cr))
    coin_fill = colourize(
        linear_ramp(size[0], size[1], ccx - 0.8 * cr, ccy - 0.9 * cr,
                    ccx + 0.7 * cr, ccy + 0.8 * cr),
        [(0.0, (255, 246, 176)), (0.4, (252, 208, 60)),
         (1.0, (206, 138, 8))])
    paint(img, coin, coin_fill)
    if n >= 22:
        # raised inner ring: dark on the lower right, light on the upper left
        ir = cr * 0.70
        ring_w = max(1.0, n / 40.0) * S
        paint(img, ring_mask(size, ccx + 0.35 * ring_w, ccy + 0.35 * ring_w,
                             ir, ir, ring_w), (176, 112, 4), 230)
        paint(img, ring_mask(size, ccx - 0.35 * ring_w, ccy - 0.35 * ring_w,
                             ir, ir, ring_w * 0.8), (255, 244, 190), 200)
    if n >= 40:
        # square hole of a cash coin, sunk into the face
        hs = cr * 0.22
        hole = polygon_mask(size, [(ccx - hs, ccy - hs), (ccx + hs, ccy - hs),
                                   (ccx + hs, ccy + hs), (ccx - hs, ccy + hs)])
        paint(img, hole, (196, 128, 6))
        paint(img, outline_of(hole, 0.7 * lw), (140, 84, 0))
    paint(img, outline_of(coin, lw), GOLD_DARK)

    # -- gold bar in front, lower left
    (yt, ym, yb), ((tl, tr), (ml, mr), (bl, br)) = bar_y, bar_x
    top_face = [P(tl, yt), P(tr, yt), P(mr, ym), P(ml, ym)]
    front_face = [P(ml, ym), P(mr, ym), P(br, yb), P(bl, yb)]
    bar = union(polygon_mask(size, front_face), polygon_mask(size, top_face))
    # a dark shadow on the coin keeps the bar apart from it
    if n >= 22:
        halo = bar.filter(ImageFilter.MaxFilter(int(lw) * 2 + 1))
        paint(img, multiply(halo, coin), (120, 72, 0), 150)
    paint(img, polygon_mask(size, front_face),
          colourize(linear_ramp(size[0], size[1], 0, ym * n * S,
                                0, yb * n * S),
                    [(0.0, (246, 190, 40)), (1.0, (196, 124, 6))]))
    paint(img, polygon_mask(size, top_face),
          colourize(linear_ramp(size[0], size[1], (tl - 0.04) * n * S, 0,
                                (mr - 0.01) * n * S, 0),
                    [(0.0, (255, 250, 196)), (0.6, (255, 226, 104)),
                     (1.0, (250, 204, 64))]))
    # the edge between the faces
    paint(img, line_mask(size, [P(ml, ym), P(mr, ym)], 0.7 * lw),
          (176, 110, 4), 200)
    if n >= 32:
        # stamp on the front face
        stamp = polygon_mask(size, [P(0.30, 0.76), P(0.52, 0.76),
                                    P(0.53, 0.86), P(0.29, 0.86)])
        paint(img, stamp, (226, 160, 22), 255)
        paint(img, outline_of(stamp, 0.6 * lw), (168, 104, 2))
    paint(img, outline_of(bar, lw), GOLD_DARK)

    # sparkle on the coin's upper left
    if n >= 24:
        sx, sy, sr = ccx - 0.45 * cr, ccy - 0.48 * cr, 0.30 * cr
        star = polygon_mask(size, [
            (sx, sy - sr), (sx + 0.22 * sr, sy - 0.22 * sr), (sx + sr, sy),
            (sx + 0.22 * sr, sy + 0.22 * sr), (sx, sy + sr),
            (sx - 0.22 * sr, sy + 0.22 * sr), (sx - sr, sy),
            (sx - 0.22 * sr, sy - 0.22 * sr)])
        paint(img, star, (255, 255, 255), 235)

    return downsample(img, (n, n))


# ---------------------------------------------------------------------------
# Icon container
# ---------------------------------------------------------------------------

def _and_mask(img, transparent):
    """1 bpp mask rows, bottom-up, each padded to four bytes."""
    w, h = img.size
    stride = ((w + 31) // 32) * 4
    a = img.getchannel("A").tobytes()
    out = bytearray()
    for y in range(h - 1, -1, -1):
        row = bytearray(stride)
        for x in range(w):
            if transparent(a[y * w + x]):
                row[x >> 3] |= 0x80 >> (x & 7)
        out += row
    return bytes(out)


def _bitmap_header(w, h, bpp, image_bytes):
    # BITMAPINFOHEADER; the height counts the colour rows and the mask rows
    return struct.pack("<IiiHHIIiiII", 40, w, 2 * h, 1, bpp, 0, image_bytes,
                       0, 0, 0, 0)


def dib_32(img):
    """32 bpp BGRA image plus its AND mask."""
    w, h = img.size
    px = img.tobytes()
    xor = bytearray()
    for y in range(h - 1, -1, -1):
        for x in range(w):
            r, g, b, a = px[(y * w + x) * 4:(y * w + x) * 4 + 4]
            if a == 0:
                r = g = b = 0
            xor += bytes((b, g, r, a))
    mask = _and_mask(img, lambda a: a == 0)
    body = bytes(xor) + mask
    return _bitmap_header(w, h, 32, len(body)) + body


def dib_8(img):
    """8 bpp palette image (256 entries, entry 0 black) plus its AND mask.

    Pixels at least half covered become opaque with their own colour;
    the rest are left to the mask and hold black in the colour plane.
    """
    w, h = img.size
    opaque = lambda a: a >= 128
    rgba = img.tobytes()
    alpha = img.getchannel("A").tobytes()
    # Colour plane for the quantizer: hidden pixels borrow the colour of
    # the first visible pixel so that they add nothing to the palette.
    fill = (0, 0, 0)
    for i in range(w * h):
        if opaque(alpha[i]):
            fill = tuple(rgba[i * 4:i * 4 + 3])
            break
    rgb = bytearray()
    for i in range(w * h):
        if opaque(alpha[i]):
            rgb += rgba[i * 4:i * 4 + 3]
        else:
            rgb += bytes(fill)
    q = Image.frombytes("RGB", (w, h), bytes(rgb)).quantize(
        colors=255, method=Image.Quantize.MEDIANCUT,
        dither=Image.Dither.NONE)
    pal = q.getpalette()[:255 * 3]
    pal += [0] * (255 * 3 - len(pal))
    idx = q.tobytes()
    palette = bytearray(b"\0\0\0\0")  # entry 0: black, under the mask
    for k in range(255):
        r, g, b = pal[k * 3:k * 3 + 3]
        palette += bytes((b, g, r, 0))
    stride = (w + 3) & ~3
    xor = bytearray()
    for y in range(h - 1, -1, -1):
        row = bytearray(stride)
        for x in range(w):
            i = y * w + x
            row[x] = idx[i] + 1 if opaque(alpha[i]) else 0
        xor += row
    mask = _and_mask(img, lambda a: not opaque(a))
    body = bytes(xor) + mask
    return _bitmap_header(w, h, 8, len(body)) + bytes(palette) + body


def write_ico(path, images):
    """images: list of (width, height, bpp, dib bytes), in directory order."""
    out = bytearray(struct.pack("<HHH", 0, 1, len(images)))
    offset = 6 + 16 * len(images)
    blobs = []
    for w, h, bpp, dib in images:
        colours = 0 if bpp >= 8 else 1 << bpp
        out += struct.pack("<BBBBHHII", w & 0xFF, h & 0xFF, colours, 0, 1,
                           bpp, len(dib), offset)
        offset += len(dib)
        blobs.append(dib)
    for b in blobs:
        out += b
    with open(path, "wb") as f:
        f.write(bytes(out))


ICON_SIZES = [64, 48, 40, 32, 24, 22, 16]


# ---------------------------------------------------------------------------

def main(argv):
    here = os.path.dirname(os.path.abspath(__file__))
    out = argv[1] if len(argv) > 1 else os.path.join(here, "..", "resources")
    out = os.path.abspath(out)
    os.makedirs(out, exist_ok=True)

    def dest(name):
        return os.path.join(out, name)

    background, dot = draw_bar()
    save_jpeg(background, dest("bar_background.jpg"))
    save_jpeg(dot, dest("bar_dot.jpg"))

    save_jpeg(draw_banner(), dest("portal_banner.jpg"))
    draw_logo().save(dest("portal_logo.png"), "PNG", optimize=False,
                     compress_level=9)

    font = ImageFont.truetype(CJK_FONT, LINK_FONT_PX,
                              index=CJK_FONT_SHARP_INDEX)
    for name, width, top, caption in LINKS:
        save_jpeg(draw_link(width, top, caption, font), dest(name))

    emblems = {n: draw_emblem(n) for n in ICON_SIZES}
    entries = []
    for n in ICON_SIZES:
        entries.append((n, n, 32, dib_32(emblems[n])))
        entries.append((n, n, 8, dib_8(emblems[n])))
    write_ico(dest("mainicon.ico"), entries)
    write_ico(dest("trayicon.ico"), [(16, 16, 32, dib_32(emblems[16]))])
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
