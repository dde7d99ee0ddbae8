#!/usr/bin/python3
"""With nothing listening on the quote port, the bar still comes up: centred on the desktop,
topmost, without a task-bar button, with its Chinese captions drawn and both figures "--.--"."""

import time

import harness as h

CAPTION_PX = 13


def check_placement(case, bar):
    screen = h.driver("screen")
    # The bar is centred on the virtual desktop, each half taken on its own.
    left = screen["virtual_left"] + screen["virtual_width"] // 2 - h.BAR_SIZE[0] // 2
    top = screen["virtual_top"] + screen["virtual_height"] // 2 - h.BAR_SIZE[1] // 2
    case.note("desktop %dx%d at %d,%d" % (screen["virtual_width"], screen["virtual_height"],
                                          screen["virtual_left"], screen["virtual_top"]))
    case.check((bar["left"], bar["top"]) == (left, top), "the bar is centred on the desktop",
               "at %d,%d, centre rule gives %d,%d" % (bar["left"], bar["top"], left, top))
    if (screen["virtual_width"], screen["virtual_height"]) == (1920, 1080):
        case.check((bar["left"], bar["top"]) == (817, 525), "on 1920x1080 the bar sits at 817,525",
                   "%d,%d" % (bar["left"], bar["top"]))
    case.check((bar["width"], bar["height"]) == h.BAR_SIZE, "the bar is 286x31",
               "%dx%d" % (bar["width"], bar["height"]))
    case.check(bar["popup"] == 1 and bar["caption"] == 0, "the bar is a borderless pop-up")
    case.check(bar["topmost"] == 1, "the bar is topmost", "exstyle 0x%x" % bar["exstyle"])


def check_no_taskbar_button(case, prog, bar):
    case.check(bar["owner_class"] == h.APP_CLASS, "the bar is owned by the application window",
               "owner class %r" % bar["owner_class"])
    case.check(bar["appwindow"] == 0, "the bar has no WS_EX_APPWINDOW")
    case.check(bar["owner_visible"] == 0, "the application window is hidden")
    case.check((bar.get("owner_width"), bar.get("owner_height")) == (0, 0), "the application window has no size",
               "%sx%s" % (bar.get("owner_width"), bar.get("owner_height")))
    windows = prog.windows()
    shown = [w for w in windows if w["visible"] == 1]
    case.note("top-level windows: " + ", ".join("%s%s" % (w["class"], "" if w["visible"] else " (hidden)")
                                                 for w in windows))
    case.check([w["class"] for w in shown] == [h.BAR_CLASS], "the bar is the only visible window of the program",
               str([w["class"] for w in shown]))
    portal = [w for w in windows if w["class"] == h.PORTAL_CLASS]
    case.check(len(portal) == 1 and portal[0]["visible"] == 0, "the portal window exists, hidden")


def check_figures(case, img, origin):
    x0, y0 = origin
    for name, (fx, fy), width in (("gold", h.GOLD_FIGURE, 68), ("silver", h.SILVER_FIGURE, 68)):
        box = (x0 + fx, y0 + fy - 2, x0 + fx + width, y0 + h.BAR_SIZE[1] - 2)
        mask = h.ink_mask(img, box)
        comps = h.components(mask)
        shape = ["%dx%d@%d,%d" % (c["width"], c["height"], c["left"], c["top"]) for c in comps]
        case.check(h.placeholder_shape(comps), "the %s figure reads --.--" % name, " ".join(shape))
        with open(case.path("%s-figure-mask.txt" % name), "w") as f:
            f.write(h.mask_text(mask) + "\n")


def check_cjk_captions(case, img, origin):
    """The Chinese characters of the captions are drawn as characters, not as empty boxes,
    question marks or nothing: each is compared with the same characters drawn with the CJK font."""
    x0, y0 = origin
    for name, text, (cx, cy), end in (("gold", "黄金", h.GOLD_CAPTION, h.GOLD_FIGURE[0]),
                                       ("silver", "白银", h.SILVER_CAPTION, h.SILVER_FIGURE[0])):
        caption = h.ink_mask(img, (x0 + cx, y0 + cy - 3, x0 + end, y0 + h.BAR_SIZE[1] - 2))
        with open(case.path("%s-caption-mask.txt" % name), "w") as f:
            f.write(h.mask_text(caption) + "\n")
        drawn = h.trim(caption)
        case.check(len(drawn) >= 9, "the %s caption has ink of character height" % name, "%d rows" % len(drawn))
        # The captions' font is 13 pixels high; the reference is drawn at that size.
        reference = h.render_reference(text, CAPTION_PX, case.path("reference-%s.png" % name))
        case.note("%s caption: %d rows of ink; reference %s: %d rows" % (name, len(drawn), text, len(reference)))
        for char, (ok, detail) in zip(text, h.glyphs_like_reference(drawn, reference, len(text))):
            case.check(ok, "%s is drawn as a character" % char, detail)


def main(case):
    case.require(h.wait_for_free_port(h.QUOTE_PORT), "nothing listens on the quote port")
    prog = case.program()
    prog.start()
    bar = prog.wait_bar(timeout=30)
    case.require(bar.get("found") == 1, "the bar comes into view", "after %.1f s" % (time.time() - prog.started_at))
    case.note("bar visible %.1f s after the start" % (time.time() - prog.started_at))
    check_placement(case, bar)
    check_no_taskbar_button(case, prog, bar)
    case.require_uncovered(prog, bar, "no other window covers the bar")
    time.sleep(0.3)  # the first paint
    img = case.screenshot("unreachable")
    origin = (bar["left"], bar["top"])
    case.save_bar(img, origin, "unreachable")
    check_figures(case, img, origin)
    check_cjk_captions(case, img, origin)


h.run("bar_unreachable", main)
