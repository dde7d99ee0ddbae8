#!/usr/bin/python3
"""Checks the pictures and icons in ../resources.

Usage: check_resources.py [--sheet PNG]

Verifies sizes, formats and icon bit depths, decodes the icon images
itself, checks that the drawing script gives the same bytes on every run
and that the committed files are exactly what it draws. With --sheet it
also renders every picture enlarged onto one contact sheet for review.
Exit status 0 when every check passes.
"""

import hashlib
import os
import struct
import subprocess
import sys
import tempfile

from PIL import Image, ImageDraw, ImageFont

HERE = os.path.dirname(os.path.abspath(__file__))
RES = os.path.abspath(os.path.join(HERE, "..", "resources"))
DRAW = os.path.join(HERE, "draw_resources.py")
CJK_FONT = "/usr/share/fonts/truetype/wqy/wqy-zenhei.ttc"

JPEGS = {
    "bar_background.jpg": (286, 31),
    "bar_dot.jpg": (8, 8),
    "portal_banner.jpg": (1440, 50),
    "link_goldweb.jpg": (94, 24),
    "link_gpriceweb.jpg": (93, 24),
    "link_spriceweb.jpg": (93, 24),
    "link_toolweb.jpg": (92, 24),
    "link_chargeweb.jpg": (92, 24),
    "link_openweb.jpg": (92, 24),
    "link_memo.jpg": (92, 24),
    "link_bbsweb.jpg": (93, 24),
}
LINK_ORDER = ["link_goldweb.jpg", "link_gpriceweb.jpg", "link_spriceweb.jpg",
              "link_toolweb.jpg", "link_chargeweb.jpg", "link_openweb.jpg",
              "link_memo.jpg", "link_bbsweb.jpg"]
ICON_SIZES = [64, 48, 40, 32, 24, 22, 16]
GENERATED = sorted(list(JPEGS) + ["portal_logo.png", "mainicon.ico",
                                  "trayicon.ico"])

failures = []


def check(cond, what):
    print(("ok    " if cond else "FAIL  ") + what)
    if not cond:
        failures.append(what)


def sha(path):
    with open(path, "rb") as f:
        return hashlib.sha256(f.read()).hexdigest()


# ---------------------------------------------------------------------------
# Icon reading

def read_ico(path):
    """Returns a list of dicts, one per image, with the decoded RGBA."""
    data = open(path, "rb").read()
    reserved, kind, count = struct.unpack_from("<HHH", data, 0)
    check(reserved == 0 and kind == 1, "%s: icon directory header"
          % os.path.basename(path))
    out = []
    end = 6 + 16 * count
    for i in range(count):
        w, h, colours, res0, planes, bpp, size, off = struct.unpack_from(
            "<BBBBHHII", data, 6 + 16 * i)
        w = w or 256
        h = h or 256
        hdr = struct.unpack_from("<IiiHHIIiiII", data, off)
        (bsize, bw, bh, bplanes, bbpp, comp, bimg, _, _, clr_used,
         _) = hdr
        ok = (bsize == 40 and bw == w and bh == 2 * h and bplanes == 1
              and bbpp == bpp and comp == 0 and planes == 1 and res0 == 0)
        pal_n = (clr_used or (1 << bbpp)) if bbpp <= 8 else 0
        xor_stride = ((w * bbpp + 31) // 32) * 4
        and_stride = ((w + 31) // 32) * 4
        expect = 40 + 4 * pal_n + xor_stride * h + and_stride * h
        ok = ok and size == expect and off + size <= len(data)
        check(ok, "%s: entry %d is a %dx%d %d bpp DIB of %d bytes"
              % (os.path.basename(path), i, w, h, bpp, size))
        end = max(end, off + size)
        p = off + 40
        palette = []
        for k in range(pal_n):
            b, g, r, _ = data[p + 4 * k:p + 4 * k + 4]
            palette.append((r, g, b))
        p += 4 * pal_n
        xor = data[p:p + xor_stride * h]
        andm = data[p + xor_stride * h:p + xor_stride * h + and_stride * h]
        img = Image.new("RGBA", (w, h))
        px = img.load()
        for y in range(h):
            row = xor[(h - 1 - y) * xor_stride:]
            mrow = andm[(h - 1 - y) * and_stride:]
            for x in range(w):
                masked = (mrow[x >> 3] >> (7 - (x & 7))) & 1
                if bbpp == 32:
                    b, g, r, a = row[4 * x:4 * x + 4]
                    px[x, y] = (r, g, b, a)
                    if a == 0 and not masked:
                        failures.append("%s: entry %d visible hole at %d,%d"
                                        % (path, i, x, y))
                else:
                    r, g, b = palette[row[x]]
                    if masked and (r, g, b) != (0, 0, 0):
                        failures.append("%s: entry %d masked pixel not black"
                                        % (path, i))
                    px[x, y] = (r, g, b, 0 if masked else 255)
        out.append(dict(w=w, h=h, bpp=bpp, colours=colours, img=img))
    check(end == len(data), "%s: no stray bytes after the images"
          % os.path.basename(path))
    return out


def png_chunks(path):
    data = open(path, "rb").read()
    pos, kinds = 8, []
    while pos < len(data):
        length, kind = struct.unpack_from(">I4s", data, pos)
        if kinds[-1:] != [kind.decode("ascii")]:
            kinds.append(kind.decode("ascii"))
        pos += 12 + length
    return kinds


def check_manifest(path):
    import xml.etree.ElementTree as ET
    raw = open(path, "rb").read()
    check(raw.startswith(b"<?xml") and b'encoding="UTF-8"' in raw[:60],
          "app.manifest is UTF-8 XML without a byte-order mark")
    root = ET.fromstring(raw)
    v1 = "{urn:schemas-microsoft-com:asm.v1}"
    v3 = "{urn:schemas-microsoft-com:asm.v3}"
    own = root.find(v1 + "assemblyIdentity")
    check(own is not None and own.get("type") == "win32"
          and own.get("version") == "5.0.0.0" and own.get("name"),
          "manifest names the program (win32, 5.0.0.0)")
    dep = root.find("%sdependency/%sdependentAssembly/%sassemblyIdentity"
                    % (v1, v1, v1))
    want = {"type": "win32", "name": "Microsoft.Windows.Common-Controls",
            "version": "6.0.0.0", "processorArchitecture": "*",
            "publicKeyToken": "6595b64144ccf1df", "language": "*"}
    check(dep is not None and all(dep.get(k) == v for k, v in want.items()),
          "manifest asks for common controls 6.0.0.0")
    lvl = root.find("%strustInfo/%ssecurity/%srequestedPrivileges/"
                    "%srequestedExecutionLevel" % (v3, v3, v3, v3))
    check(lvl is not None and lvl.get("level") == "asInvoker",
          "manifest requests asInvoker")


# ---------------------------------------------------------------------------

def contrast(c1, c2):
    def lum(c):
        v = []
        for x in c:
            x /= 255.0
            v.append(x / 12.92 if x <= 0.03928 else ((x + 0.055) / 1.055)
                     ** 2.4)
        return 0.2126 * v[0] + 0.7152 * v[1] + 0.0722 * v[2]
    a, b = sorted((lum(c1), lum(c2)), reverse=True)
    return (a + 0.05) / (b + 0.05)


def run_checks():
    # -- determinism: two fresh runs, and the committed files
    with tempfile.TemporaryDirectory() as t1, \
            tempfile.TemporaryDirectory() as t2:
        for t in (t1, t2):
            subprocess.run([sys.executable, DRAW, t], check=True)
        names1 = sorted(os.listdir(t1))
        check(names1 == sorted(os.listdir(t2)) and names1 == GENERATED,
              "drawing script writes exactly the expected %d files"
              % len(GENERATED))
        same = all(sha(os.path.join(t1, n)) == sha(os.path.join(t2, n))
                   for n in names1)
        check(same, "two runs give identical bytes")
        committed = all(os.path.exists(os.path.join(RES, n)) and
                        sha(os.path.join(RES, n)) == sha(os.path.join(t1, n))
                        for n in names1)
        check(committed, "resources/ holds exactly what the script draws")

    # -- JPEG pictures
    for name, size in JPEGS.items():
        im = Image.open(os.path.join(RES, name))
        check(im.format == "JPEG" and im.mode == "RGB" and im.size == size,
              "%s is an RGB JPEG of %dx%d" % (name, size[0], size[1]))
        check(not im.info.get("exif") and "comment" not in im.info
              and "icc_profile" not in im.info,
              "%s carries no metadata" % name)

    # -- the logo
    logo = Image.open(os.path.join(RES, "portal_logo.png"))
    check(logo.format == "PNG" and logo.mode == "RGBA"
          and logo.size == (40, 40), "portal_logo.png is RGBA 40x40")
    alphas = set(logo.getchannel("A").getdata())
    check(0 in alphas and 255 in alphas and len(alphas) > 20,
          "logo alpha has transparent, opaque and partial pixels (%d levels)"
          % len(alphas))
    check(all(logo.getpixel(p)[3] == 0
              for p in ((0, 0), (39, 0), (0, 39 - 6), (39, 39 - 6))),
          "logo corners are transparent")
    check(png_chunks(os.path.join(RES, "portal_logo.png"))
          == ["IHDR", "IDAT", "IEND"],
          "logo holds only IHDR, IDAT and IEND chunks")

    # -- the bar: caption ground and the dot
    bg = Image.open(os.path.join(RES, "bar_background.jpg")).convert("RGB")
    region = bg.crop((8, 8, 251, 25))
    n = region.size[0] * region.size[1]
    mean = tuple(sum(ch) / n for ch in zip(*region.getdata()))
    light = max(region.getdata(), key=lambda c: sum(c))
    ratio = contrast((253, 253, 253), mean)
    worst = contrast((253, 253, 253), light)
    check(ratio >= 4.0, "captions' ground: mean contrast with #FDFDFD %.2f"
          % ratio)
    check(worst >= 3.0, "captions' ground: worst contrast with #FDFDFD %.2f"
          % worst)
    spread = 0
    for y in range(8, 25):
        row = [bg.getpixel((x, y)) for x in range(8, 251)]
        spread = max(spread, max(max(c[k] for c in row) - min(c[k] for c in row)
                                 for k in range(3)))
    check(spread <= 6, "captions' ground is the plain gradient (row spread %d)"
          % spread)
    rim = [bg.getpixel((x, 0)) for x in range(286)] + \
          [bg.getpixel((x, 30)) for x in range(286)]
    check(all(sum(c) < sum(bg.getpixel((140, 29))) for c in rim),
          "rim is darker than the strip just inside it")
    # the dim dot differs from the strip around it
    dim = bg.getpixel((279, 25))
    around = bg.getpixel((273, 25))
    check(dim[1] > dim[2] and abs(sum(dim) - sum(around)) < 200,
          "dim dot is green and dim (%s)" % (dim,))
    dot = Image.open(os.path.join(RES, "bar_dot.jpg")).convert("RGB")
    lit = dot.getpixel((4, 4))
    check(lit[1] > 200 and lit[0] > 120 and lit[2] < 120,
          "lit dot is bright yellow-green (%s)" % (lit,))
    worst_edge = 0
    for x in range(8):
        for y in range(8):
            if x in (0, 7) and y in (0, 7):
                a = dot.getpixel((x, y))
                b = bg.getpixel((275 + x, 21 + y))
                worst_edge = max(worst_edge, max(abs(p - q)
                                                 for p, q in zip(a, b)))
    check(worst_edge <= 24, "lit dot's corners match the strip (max diff %d)"
          % worst_edge)

    check_manifest(os.path.join(RES, "app.manifest"))

    # -- icons
    main = read_ico(os.path.join(RES, "mainicon.ico"))
    got = sorted((e["w"], e["bpp"]) for e in main)
    want = sorted((s, b) for s in ICON_SIZES for b in (8, 32))
    check(len(main) == 14 and got == want,
          "mainicon.ico: 14 images, %s px at 8 and 32 bpp"
          % ", ".join(map(str, ICON_SIZES)))
    tray_path = os.path.join(RES, "trayicon.ico")
    tray = read_ico(tray_path)
    check(os.path.getsize(tray_path) == 1150, "trayicon.ico is 1,150 bytes")
    check(len(tray) == 1 and tray[0]["w"] == 16 and tray[0]["bpp"] == 32,
          "trayicon.ico: one 16x16 32 bpp image")
    m16 = [e for e in main if e["w"] == 16 and e["bpp"] == 32][0]
    check(m16["img"].tobytes() == tray[0]["img"].tobytes(),
          "tray picture equals the main icon's 16 px picture")
    return main, tray


# ---------------------------------------------------------------------------
# Contact sheet

def checker(size, cell=4):
    img = Image.new("RGBA", size, (255, 255, 255, 255))
    d = ImageDraw.Draw(img)
    for y in range(0, size[1], cell):
        for x in range(0, size[0], cell):
            if (x // cell + y // cell) % 2:
                d.rectangle((x, y, x + cell - 1, y + cell - 1),
                            fill=(204, 204, 204, 255))
    return img


def zoom(img, k):
    return img.resize((img.size[0] * k, img.size[1] * k), Image.NEAREST)


def render_sheet(path, main, tray):
    label_font = ImageFont.truetype(CJK_FONT, 14, index=0)
    sheet = Image.new("RGBA", (1480, 2400), (255, 255, 255, 255))
    d = ImageDraw.Draw(sheet)
    y = 8

    def caption(text):
        nonlocal y
        d.text((8, y), text, font=label_font, fill=(0, 0, 0, 255))
        y += 20

    bg = Image.open(os.path.join(RES, "bar_background.jpg")).convert("RGBA")
    dot = Image.open(os.path.join(RES, "bar_dot.jpg")).convert("RGBA")
    # the bar as it shows, with sample captions in near-white
    demo = bg.copy()
    dd = ImageDraw.Draw(demo)
    f13 = ImageFont.truetype(CJK_FONT, 13, index=0)
    f15 = ImageFont.truetype(CJK_FONT, 15, index=0)
    white = (253, 253, 253, 255)
    dd.text((8, 10), "黄金T+D:  ", font=f13, fill=white)
    dd.text((132, 10), "白银T+D:  ", font=f13, fill=white)
    dd.text((62, 8), "--.--", font=f15, fill=white)
    dd.text((186, 8), "--.--", font=f15, fill=white)
    lit = demo.copy()
    lit.paste(dot, (275, 21))
    caption("bar_background.jpg with captions, dot dark / lit (x4)")
    sheet.alpha_composite(zoom(demo, 4), (8, y))
    sheet.alpha_composite(zoom(lit, 4), (8, y + 31 * 4 + 6))
    y += 2 * 31 * 4 + 14
    caption("plain background x2, bar_dot.jpg x8, 1:1 bar")
    sheet.alpha_composite(zoom(bg, 2), (8, y))
    sheet.alpha_composite(zoom(dot, 8), (8 + 286 * 2 + 16, y))
    sheet.alpha_composite(lit, (8 + 286 * 2 + 100, y))
    y += 31 * 2 + 12

    banner = Image.open(os.path.join(RES, "portal_banner.jpg")).convert("RGBA")
    logo = Image.open(os.path.join(RES, "portal_logo.png")).convert("RGBA")
    # the banner's top as the portal shows it, with logo and links
    scene = banner.crop((0, 0, 980, 50)).copy()
    scene.alpha_composite(logo, (0, 4 + 2))
    lefts = [156, 254, 352, 450, 548, 646, 744, 842]
    for name, left in zip(LINK_ORDER, lefts):
        face = Image.open(os.path.join(RES, name)).convert("RGBA")
        top = 17 if name == "link_memo.jpg" else 18
        scene.alpha_composite(face, (left, top + 2))
    caption("portal_banner.jpg (left part) with logo and links, 1:1 and x3 "
            "(left 350 px)")
    sheet.alpha_composite(scene, (8, y))
    y += 56
    sheet.alpha_composite(zoom(scene.crop((0, 0, 480, 50)), 3), (8, y))
    y += 150 + 8
    caption("link faces x3")
    x = 8
    yy = y
    for name in LINK_ORDER:
        face = Image.open(os.path.join(RES, name)).convert("RGBA")
        if x + face.size[0] * 3 > 1470:
            x = 8
            yy += 24 * 3 + 6
        sheet.alpha_composite(zoom(face, 3), (x, yy))
        x += face.size[0] * 3 + 8
    y = yy + 24 * 3 + 10
    caption("portal_logo.png x4 on checks and on the banner")
    sheet.alpha_composite(zoom(Image.alpha_composite(
        checker((40, 40), 4), logo), 4), (8, y))
    on_banner = banner.crop((0, 6, 40, 46))
    on_banner.alpha_composite(logo)
    sheet.alpha_composite(zoom(on_banner, 4), (8 + 170, y))
    y += 170
    caption("mainicon.ico: 32 bpp row, 8 bpp row (x3 on checks), "
            "then 1:1; trayicon.ico x3")
    for row, bpp in enumerate((32, 8)):
        x = 8
        for s in ICON_SIZES:
            e = [e for e in main if e["w"] == s and e["bpp"] == bpp][0]
            sheet.alpha_composite(zoom(Image.alpha_composite(
                checker((s, s), 2), e["img"]), 3), (x, y))
            sheet.alpha_composite(e["img"], (x, y + s * 3 + 4))
            x += s * 3 + 12
        if row == 0:
            sheet.alpha_composite(zoom(Image.alpha_composite(
                checker((16, 16), 2), tray[0]["img"]), 3), (x + 20, y))
            dark = Image.new("RGBA", (16, 16), (40, 40, 40, 255))
            dark.alpha_composite(tray[0]["img"])
            sheet.alpha_composite(zoom(dark, 3), (x + 90, y))
            sheet.alpha_composite(dark, (x + 150, y))
        y += 64 * 3 + 70
    sheet = sheet.crop((0, 0, 1480, y))
    sheet.convert("RGB").save(path)
    print("sheet written to", path)


def main(argv):
    sheet = None
    if len(argv) > 2 and argv[1] == "--sheet":
        sheet = argv[2]
    main_icon, tray = run_checks()
    if sheet:
        render_sheet(sheet, main_icon, tray)
    if failures:
        print("%d check(s) failed" % len(failures))
        for f in failures[:20]:
            print("  " + f)
        return 1
    print("all checks passed")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
