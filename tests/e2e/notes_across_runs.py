#!/usr/bin/python3
"""The notes pad over three runs in one folder, as a user lives with it. Run 1 opens the pad,
types a line and ends through "关闭程序"; run 2 shows that line in the pad (on the screen: text
where the blank browser was), adds a line and ends through a close request; run 3 shows both
lines and, ended without an edit, leaves the files as they were."""

import os
import time

import harness as h

GRIP = (128, 27)                # the bar's background, below the gap between the figures
MEMO_LINK = (744 + 46, 17 + 12)  # the middle of the `memo` picture, in the portal's client area
PAD_TOP = 48                    # the pad and the browser start below the banner
TEXT_AREA = (4, PAD_TOP + 2, 900, PAD_TOP + 220)  # where the pad's first lines are drawn
FIRST_LINE = "line one"         # no descenders: each line's ink stays apart from the next
SECOND_LINE = "more notes"


def start(case, prog, label):
    prog.start()
    bar = prog.wait_bar(timeout=30)
    case.require(bar.get("found") == 1, "%s: the bar comes into view" % label)
    case.require(prog.wait_tray_icon() is not None, "%s: the run's icon comes into the shell's tray" % label)
    return bar


def open_portal(case, prog, bar, label):
    h.move_pointer(bar["left"] + GRIP[0], bar["top"] + GRIP[1])
    time.sleep(0.2)
    h.xdo("click", "--repeat", 2, "--delay", 120, 1)
    case.require(h.wait_until(lambda: prog.find(h.PORTAL_CLASS).get("visible") == 1, 5, 0.1),
                 "%s: a double click on the bar opens the portal" % label)
    time.sleep(0.5)
    return h.driver("children", h.PORTAL_CLASS, "--exe", prog.path)


def text_rows(img, origin, bar):
    """The rows of the pad's text area that hold dark pixels, ignoring the bar's rectangle."""
    ox, oy = origin
    left, top, right, bottom = TEXT_AREA
    bx0, by0, bx1, by1 = bar["left"], bar["top"], bar["right"], bar["bottom"]
    rows = []
    for y in range(oy + top, oy + bottom):
        dark = 0
        for x in range(ox + left, ox + right):
            if bx0 <= x < bx1 and by0 <= y < by1:
                continue
            if h.luminance(img.getpixel((x, y))) < 128:
                dark += 1
        rows.append(dark)
    return rows


def line_bands(rows):
    """Runs of rows with ink: one per line of text drawn."""
    bands, inside = 0, False
    for dark in rows:
        if dark and not inside:
            bands += 1
        inside = dark > 0
    return bands


def show_pad(case, prog, bar, label, expected_text):
    """Opens the portal, checks the blank browser, clicks `memo` and checks the pad: one edit
    window, over the browser, holding the file's text, which shows on the screen. Returns the
    number of text lines seen there."""
    kids = open_portal(case, prog, bar, label)
    origin = (kids["client_left"], kids["client_top"])
    before = case.screenshot("%s-browser" % label)
    blank = text_rows(before, origin, bar)
    case.check(sum(blank) == 0, "%s: before `memo`, the browser's area is blank white" % label,
               "%d dark pixels" % sum(blank))

    h.move_pointer(origin[0] + MEMO_LINK[0], origin[1] + MEMO_LINK[1])
    time.sleep(0.2)
    h.xdo("click", 1)
    time.sleep(0.6)
    kids = h.driver("children", h.PORTAL_CLASS, "--exe", prog.path)
    children = h._blocks(kids, "count", "c")
    edits = [c for c in children if c["class"].upper() == "EDIT"]
    case.require(len(edits) == 1, "%s: the pad has one window" % label,
                 "%d edit windows among %s" % (len(edits), [c["class"] for c in children]))
    pad = edits[0]
    above = [c["class"] for c in children[:children.index(pad)] if c["visible"]]
    case.check(pad["visible"] == 1 and not above and (pad["left"], pad["top"]) == (0, PAD_TOP),
               "%s: a click on `memo` shows the pad on top, over the browser" % label,
               "visible %s, above it %s, at %s,%s" % (pad["visible"], above, pad["left"], pad["top"]))
    case.check(pad["text"] == expected_text, "%s: the pad holds the notes file's text" % label,
               repr(pad["text"][-40:]))

    after = case.screenshot("%s-pad" % label)
    bands = line_bands(text_rows(after, origin, bar))
    return origin, bands


def type_into_pad(origin, keys):
    h.move_pointer(origin[0] + 500, origin[1] + PAD_TOP + 300)
    time.sleep(0.2)
    h.xdo("click", 1)
    time.sleep(0.2)
    h.xdo("key", "ctrl+End")
    for k in keys:
        if k == "\n":
            h.xdo("key", "Return")
        else:
            h.xdo("type", "--delay", 40, k)
    time.sleep(0.3)


def ended(case, prog, label, how):
    code = prog.wait_exit(15)
    case.require(code == 0, "%s: %s ends the program with exit code 0" % (label, how), "exit code %s" % code)
    h.driver("wait-gone", h.BAR_CLASS, "--exe", prog.path, "--timeout", 5000)


def main(case):
    case.server(body="2345.67R|5678.90U")
    initial = h.INITIAL_NOTES.decode(h.NOTES_ENCODING)

    # Run 1: a fresh folder; the pad shows its initial lines, and one is typed.
    run1 = case.program()
    run1.keep_portal_closed()
    bar = start(case, run1, "run 1")
    origin, bands = show_pad(case, run1, bar, "run 1", initial)
    initial_bands = bands
    case.check(bands >= 3, "run 1: the initial lines show in the pad", "%d lines of text" % bands)
    type_into_pad(origin, [FIRST_LINE])
    case.screenshot("run-1-typed")
    case.require(run1.choose_close().ok, "run 1: the tray menu comes up")
    ended(case, run1, "run 1", "\"关闭程序\"")
    notes1 = h.INITIAL_NOTES + FIRST_LINE.encode()
    case.check(run1.read(h.NOTES_FILE) == notes1, "run 1: %s holds the initial lines and the typed one" %
               h.NOTES_FILE, repr(run1.read(h.NOTES_FILE)[-30:]))

    # Run 2: the same folder; the typed line is on the screen, and one more is added.
    run2 = case.program(same_folder_as=run1)
    bar = start(case, run2, "run 2")
    origin, bands = show_pad(case, run2, bar, "run 2", notes1.decode(h.NOTES_ENCODING))
    case.check(bands == initial_bands + 1, "run 2: the pad shows the line typed in run 1 below the initial ones",
               "%d lines of text, %d at first" % (bands, initial_bands))
    type_into_pad(origin, ["\n", SECOND_LINE])
    case.screenshot("run-2-typed")
    case.require(h.driver("post", h.BAR_CLASS, "--exe", run2.path, "WM_CLOSE").ok, "run 2: a close request is sent")
    ended(case, run2, "run 2", "the close request")
    notes2 = notes1 + b"\r\n" + SECOND_LINE.encode()
    case.check(run2.read(h.NOTES_FILE) == notes2, "run 2: %s holds both typed lines" % h.NOTES_FILE,
               repr(run2.read(h.NOTES_FILE)[-30:]))

    # Run 3: both lines show; ended without an edit, nothing changes and nothing is kept aside.
    run3 = case.program(same_folder_as=run1)
    bar = start(case, run3, "run 3")
    origin, bands = show_pad(case, run3, bar, "run 3", notes2.decode(h.NOTES_ENCODING))
    case.check(bands == initial_bands + 2, "run 3: the pad shows both typed lines",
               "%d lines of text, %d at first" % (bands, initial_bands))
    case.require(run3.choose_close().ok, "run 3: the tray menu comes up")
    ended(case, run3, "run 3", "\"关闭程序\"")
    case.check(run3.read(h.NOTES_FILE) == notes2, "run 3: %s is unchanged" % h.NOTES_FILE)
    case.check(run3.read(h.SETTINGS_FILE) == h.settings_bytes(True), "run 3: the setting is unchanged",
               repr(run3.read(h.SETTINGS_FILE)))
    case.check(run3.files() == sorted([os.path.basename(run3.path), h.SETTINGS_FILE, h.NOTES_FILE]),
               "after three runs only the two files lie beside the program", "folder holds %s" % run3.files())


h.run("notes_across_runs", main)
