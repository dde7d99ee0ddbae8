#!/usr/bin/python3
"""The tray icon and its menu, as the user meets them: the icon sits in the shell's tray; a
left double click on it brings up the portal, whose browser asks the site for its home page;
a right click brings up the menu "关于我们", a separator line, "关闭程序"; Esc closes the menu
and nothing happens; "关闭程序" writes the setting and the notes and ends the program."""

import os
import time

from PIL import Image

import harness as h

MENU_ITEMS = ("关于我们", "关闭程序")
TIMED_POP_UP_S = 19.0  # the portal pops up by itself 20 s after the start: be done before


def check_icon_in_tray(case, prog):
    tray = h.driver("tray")
    icon = prog.icon
    case.check(tray.ok and tray["tray.title"] == "Wine System Tray" and tray["tray.visible"] == 1,
               "the shell's tray window is shown", "%r at %s,%s" % (tray.get("tray.title"), tray.get("tray.left"),
                                                                  tray.get("tray.top")))
    inside = (tray["tray.left"] <= icon["left"] and icon["left"] + icon["width"] <= tray["tray.right"]
              and tray["tray.top"] <= icon["top"] and icon["top"] + icon["height"] <= tray["tray.bottom"])
    case.check(inside, "the run's icon lies inside the tray window",
               "icon %d,%d %dx%d" % (icon["left"], icon["top"], icon["width"], icon["height"]))
    img = case.screenshot("tray")
    crop = img.crop((tray["tray.left"], tray["tray.top"], tray["tray.right"], tray["tray.bottom"]))
    crop.resize((crop.width * 4, crop.height * 4)).save(case.path("tray-x4.png"))
    # The icon is a picture: its square shows many colours, where the empty tray shows one.
    x, y = icon["left"] + (icon["width"] - 16) // 2, icon["top"] + (icon["height"] - 16) // 2
    colours = len(set(img.crop((x, y, x + 16, y + 16)).getdata()))
    case.check(colours >= 8, "the icon's picture is drawn in the tray", "%d colours in its 16x16 square" % colours)


def double_click_opens_portal(case, prog, server):
    case.require(prog.find(h.PORTAL_CLASS).get("visible") == 0, "the portal is hidden before the double click")
    before = len(server.home_requests())
    prog.click_icon(1, repeat=2)
    t0 = time.time()
    shown = h.wait_until(lambda: prog.find(h.PORTAL_CLASS).get("visible") == 1, 5, 0.1)
    case.check(shown, "a left double click on the icon shows the portal", "%.2f s" % (time.time() - t0))
    asked = h.wait_until(lambda: server.home_requests()[before:], 5, 0.2)
    case.check(len(asked) == 1, "the portal's browser asks the site for its home page once",
               "%d requests for /" % len(asked))
    if asked:
        head = asked[0]["bytes"].split(b"\r\n")
        case.check(b"Host: 127.0.0.1:%d" % h.QUOTE_PORT in head, "the home page request goes to the site's host",
                   repr(asked[0]["bytes"][:200]))
    portal = prog.find(h.PORTAL_CLASS)
    if portal.ok:
        px, py = portal["left"] + 60, portal["top"] + 60
        seen = h.driver("at", px, py)
        case.check(seen.get("hwnd") == portal["hwnd"], "the portal is what the screen shows at its place",
                   "%s at %d,%d" % (seen.get("class"), px, py))
    case.screenshot("portal")
    # Out of the way again: a close request only hides the portal.
    h.driver("post", h.PORTAL_CLASS, "--exe", prog.path, "WM_CLOSE")
    case.require(h.wait_until(lambda: prog.find(h.PORTAL_CLASS).get("visible") == 0, 3, 0.1),
                 "the portal hides again on a close request")


def menu_text_rows(img, menu):
    """The menu's picture cut into its rows from the top: each ("text", mask of its ink) or
    ("line", None). Text is black on the menu's white ground; the separator is a grey line
    across most of the width."""
    left, top, right, bottom = menu["left"] + 2, menu["top"] + 2, menu["right"] - 2, menu["bottom"] - 2
    width = right - left
    shade = [[h.luminance(img.getpixel((x, y))) for x in range(left, right)] for y in range(top, bottom)]
    rows, y = [], 0
    while y < len(shade):
        marked = [v < 235 for v in shade[y]]
        if not any(marked):
            y += 1
            continue
        start = y
        while y < len(shade) and any(v < 235 for v in shade[y]):
            y += 1
        band = shade[start:y]
        spread = sum(1 for x in range(width) if any(row[x] < 235 for row in band))
        if len(band) <= 2 and spread >= 0.6 * width:
            rows.append(("line", None))
        else:
            rows.append(("text", [[v < 140 for v in row] for row in band]))
    return rows


def reference_for(case, text, drawn):
    """The font's own drawing of text at the size whose width comes closest to the drawn one."""
    width = len(h.trim(drawn)[0])
    best = None
    for size in range(9, 18):
        ref = h.render_reference(text, size, case.path("reference-%s-%d.png" % (text, size)))
        if ref and (best is None or abs(len(ref[0]) - width) < abs(len(best[0]) - width)):
            best = ref
    return best


def likeness(drawn, reference):
    """How far two ink masks cover each other once brought to the same size (0 to 1)."""
    def picture(mask):
        m = h.trim(mask)
        img = Image.new("L", (len(m[0]), len(m)))
        img.putdata([255 if v else 0 for row in m for v in row])
        return img
    a = picture(drawn)
    b = picture(reference).resize(a.size, Image.BOX)
    pa, pb = [v >= 128 for v in a.getdata()], [v >= 96 for v in b.getdata()]
    union = sum(1 for x, y in zip(pa, pb) if x or y)
    return sum(1 for x, y in zip(pa, pb) if x and y) / union if union else 0.0


def check_menu(case, prog, menu):
    case.check(menu["visible"] == 1 and menu["class"] == "#32768", "the menu is a shown pop-up menu window",
               "%dx%d at %d,%d" % (menu["width"], menu["height"], menu["left"], menu["top"]))
    x, y = h.icon_centre(prog.icon)
    case.check(abs(menu["left"] - x) <= 2 and abs(menu["top"] - y) <= 2,
               "the menu's top-left corner is at the pointer", "pointer %d,%d" % (x, y))
    img = case.screenshot("menu")
    crop = img.crop((menu["left"], menu["top"], menu["right"], menu["bottom"]))
    crop.resize((crop.width * 4, crop.height * 4)).save(case.path("menu-x4.png"))
    rows = menu_text_rows(img, menu)
    kinds = [k for k, _ in rows]
    case.check(kinds == ["text", "line", "text"], "the menu shows a row of text, a separator line, a row of text",
               " ".join(kinds))
    texts = [mask for k, mask in rows if k == "text"]
    for caption, drawn in zip(MENU_ITEMS, texts):
        with open(case.path("menu-%s-mask.txt" % caption), "w") as f:
            f.write(h.mask_text(h.trim(drawn)) + "\n")
        ref = reference_for(case, caption, drawn)
        verdicts = h.glyphs_like_reference(drawn, ref, len(caption))
        case.check(all(ok for ok, _ in verdicts), "the item %s is drawn as its characters, not as boxes" % caption,
                   "; ".join(why for _, why in verdicts))
        # The item reads as its own caption, and not as the other one.
        own = likeness(drawn, ref)
        others = {other: likeness(drawn, reference_for(case, other, drawn)) for other in MENU_ITEMS if other != caption}
        case.check(own >= 0.5 and all(own >= o + 0.15 for o in others.values()), "the item reads %s" % caption,
                   "likeness to %s %.2f, to %s" % (caption, own, ", ".join("%s %.2f" % kv for kv in others.items())))


def main(case):
    server = case.server(body="2345.67R|5678.90U")
    prog = case.program()
    prog.start()
    bar = prog.wait_bar(timeout=30)
    case.require(bar.get("found") == 1, "the bar comes into view")
    case.require(prog.wait_tray_icon() is not None, "the run's icon comes into the shell's tray")
    check_icon_in_tray(case, prog)

    double_click_opens_portal(case, prog, server)

    menu = prog.open_menu()
    case.require(menu.ok, "a right click on the icon brings up a menu")
    check_menu(case, prog, menu)

    home_before = len(server.home_requests())
    h.xdotool("key", "Escape")
    gone = h.driver("wait-gone", "#32768", "--exe", prog.path, "--visible", "--timeout", 3000)
    case.check(gone.ok, "Esc closes the menu")
    time.sleep(1.0)
    case.require(time.time() - prog.started_at < TIMED_POP_UP_S,
                 "the menu was closed before the portal's own pop-up could come",
                 "%.1f s after the start" % (time.time() - prog.started_at))
    case.check(prog.proc.poll() is None and prog.find().get("visible") == 1, "after Esc the program runs on")
    case.check(prog.files() == [os.path.basename(prog.path)], "after Esc nothing is written beside the program",
               "folder holds %s" % prog.files())
    case.check(prog.find(h.PORTAL_CLASS).get("visible") == 0 and len(server.home_requests()) == home_before,
               "after Esc no page is opened")

    menu = prog.choose_close()
    case.require(menu.ok, "the menu comes up again")
    t0 = time.time()
    code = prog.wait_exit(10)
    case.check(code == 0, "\"关闭程序\" ends the program with exit code 0",
               "exit code %s, %.2f s after the choice" % (code, time.time() - t0))
    settings, notes = prog.read(h.SETTINGS_FILE), prog.read(h.NOTES_FILE)
    case.check(settings == h.settings_bytes(False), "%s holds exactly the unchecked setting" % h.SETTINGS_FILE,
               repr(settings))
    case.check(notes == h.INITIAL_NOTES, "%s holds exactly the pad's initial text in code page 936" % h.NOTES_FILE,
               repr(notes))
    expected = sorted([os.path.basename(prog.path), h.SETTINGS_FILE, h.NOTES_FILE])
    case.check(prog.files() == expected, "nothing else is left beside the program", "folder holds %s" % prog.files())
    case.check(h.wait_until(lambda: prog.tray_icon() is None, 5, 0.2), "the icon leaves the tray")


h.run("tray_menu", main)
