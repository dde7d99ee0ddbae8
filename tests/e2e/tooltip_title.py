#!/usr/bin/python3
"""The program's title comes from its file name: run as QUOTE.BAR.EXE it is "Quote". The user
reads it in the tray icon's tooltip (the pointer resting on the icon) and as the caption of the
program's error report (here: "关闭程序" with a read-only GoldCfg.ini)."""

import time

import harness as h

EXE_NAME = "QUOTE.BAR.EXE"
TITLE = "Quote"


def hover_tooltip(prog):
    """Rests the pointer on the icon until the shell shows a tooltip; returns the tooltips shown."""
    x, y = h.icon_centre(prog.icon)
    h.xdotool("mousemove", x - 3, y - 3, "sleep", 0.1, "mousemove", x, y)
    return h.wait_until(lambda: [t for t in h.tray_tooltips() if t["visible"]], 5, 0.2)


def main(case):
    case.server(body="2345.67R|5678.90U")
    prog = case.program(EXE_NAME)
    with open(prog.file_path(h.SETTINGS_FILE), "wb") as f:
        f.write(h.settings_bytes(True))
    r = h.driver("attrib", prog.file_path(h.SETTINGS_FILE), "+r")
    case.require(r.ok and r["readonly"] == 1, "%s is read-only for Windows programs" % h.SETTINGS_FILE)
    prog.start()
    bar = prog.wait_bar(timeout=30)
    case.require(bar.get("found") == 1, "the bar of %s comes into view" % EXE_NAME)
    case.require(prog.wait_tray_icon() is not None, "the run's icon comes into the shell's tray")

    shown = hover_tooltip(prog)
    case.require(len(shown) == 1, "with the pointer resting on the icon, a tooltip comes up",
                 "%d shown" % len(shown))
    tip = shown[0]
    # The shell shows the tip of the icon under the pointer, next to it.
    x, y = h.icon_centre(prog.icon)
    case.check(abs(tip["left"] - x) <= 40 and 0 <= tip["top"] - y <= 40, "the tooltip comes up at the icon",
               "tooltip at %d,%d, pointer at %d,%d" % (tip["left"], tip["top"], x, y))
    img = case.screenshot("tooltip")
    crop = img.crop((tip["left"], tip["top"], tip["left"] + tip["width"], tip["top"] + tip["height"]))
    crop.resize((crop.width * 4, crop.height * 4)).save(case.path("tooltip-x4.png"))
    case.check(tip["text"] == TITLE, "the tooltip reads \"%s\"" % TITLE, repr(tip["text"]))
    dark = sum(1 for p in crop.getdata() if h.luminance(p) < 100)
    case.check(dark >= 20, "the tooltip shows text on screen", "%d dark pixels in %dx%d at %d,%d" % (
        dark, crop.width, crop.height, tip["left"], tip["top"]))
    h.park_pointer()

    case.require(prog.choose_close().ok, "the tray menu comes up")
    report = h.driver("msgbox", "--exe", prog.path, "--timeout", 5000)
    case.require(report.ok, "the failed save is reported")
    case.screenshot("report")
    case.check(report["title"] == TITLE, "the report's caption is \"%s\"" % TITLE, repr(report["title"]))
    expected = "Unable to write to %s." % h.windows_path(prog.file_path(h.SETTINGS_FILE))
    case.check(report["text"] == expected, "the report names the file", report["text"])
    h.driver("msgbox-ok", "--exe", prog.path, "--timeout", 2000)
    time.sleep(0.5)
    case.check(prog.proc.poll() is None, "after OK the program runs on")


h.run("tooltip_title", main)
