#!/usr/bin/python3
"""A double click on the bar opens the portal, and the second press of that double click, held
down, drags the bar like any left press; afterwards the bar is dragged as before. Right and
middle double clicks on the bar open nothing."""

import time

import harness as h

PARK = (1500, 900)
BACKGROUND = (128, 27)      # below the gap between the gold figure and "白银T+D:"
DOUBLE_CLICK_GAP_S = 0.15   # well inside the double-click time


def portal(prog):
    return h.driver("find", h.PORTAL_CLASS, "--exe", prog.path)


def main(case):
    prog, bar = case.start_bar_with_figures()
    x0, y0 = bar["left"], bar["top"]
    h.move_pointer(*PARK)
    before = portal(prog)
    case.require(before.ok and before["visible"] == 0, "the portal window exists and is hidden",
                 "found %s, visible %s" % (before.get("found"), before.get("visible")))

    # One click alone opens nothing.
    grip = (x0 + BACKGROUND[0], y0 + BACKGROUND[1])
    h.move_pointer(*grip)
    time.sleep(0.2)
    h.xdo("click", 1)
    time.sleep(1.0)  # longer than the double-click time: the next press starts afresh
    single = portal(prog)
    case.check(single.ok and single["visible"] == 0 and prog.bar_rect()[:2] == (x0, y0),
               "a single click on the bar neither opens the portal nor moves the bar",
               "portal visible %s, bar at %s" % (single.get("visible"), prog.bar_rect()))
    for name, button in (("right", 3), ("middle", 2)):
        h.xdo("click", "--repeat", 2, "--delay", int(DOUBLE_CLICK_GAP_S * 1000), button)
        time.sleep(1.0)
        other = portal(prog)
        case.check(other.ok and other["visible"] == 0, "a %s double click on the bar opens nothing" % name,
                   "portal visible %s" % other.get("visible"))

    # Click, then press again at once and hold: the second press is a double click.
    bar_track = prog.track(timeout_s=30.0)
    portal_track = prog.track(h.PORTAL_CLASS, timeout_s=30.0)
    h.xdo("click", 1)
    time.sleep(DOUBLE_CLICK_GAP_S)
    h.xdo("mousedown", 1)
    time.sleep(h.DRAG_STEP_S)
    h.pointer_steps([(10, 0)] * 10)
    time.sleep(h.DRAG_STEP_S)
    h.xdo("mouseup", 1)
    time.sleep(0.3)
    bar_track.stop()
    portal_track.stop()

    shown = [e for e in portal_track.result() if e["visible"]]
    case.check(shown, "the double click opens the portal", "portal rectangle %s" % (
        (shown[0]["left"], shown[0]["top"], shown[0]["right"], shown[0]["bottom"]) if shown else None,))
    after = portal(prog)
    case.check(after.ok and after["visible"] == 1 and after["title"] == "Torvane V5.0",
               "the portal \"Torvane V5.0\" stays open", "visible %s, title %r" % (after.get("visible"),
                                                                                   after.get("title")))
    positions = bar_track.positions()
    case.check(positions[-1] == (x0 + 100, y0) and all(p[1] == y0 for p in positions),
               "the held second press drags the bar 100 px to the right", "positions %s" % positions)
    # The two trackers have clocks of their own: compare on this one.
    shown_at = portal_track.monotonic(shown[0]["ms"]) if shown else None
    moved = [bar_track.monotonic(e["ms"]) for e in bar_track.result() if e["left"] != x0]
    case.check(shown_at is not None and moved and moved[0] > shown_at,
               "the bar starts to move only after the portal has opened",
               "first move %s ms after the portal showed" % ("%.0f" % ((moved[0] - shown_at) * 1000)
                                                             if shown_at is not None and moved else "-"))
    img = case.screenshot("after-double-click")
    case.save_bar(img, (x0 + 100, y0), "after-double-click")
    case.require_uncovered(prog, prog.find(), "the bar stays above the portal")

    # A plain drag right after.
    tracker = prog.track(timeout_s=30.0)
    h.drag((x0 + 100 + BACKGROUND[0], y0 + BACKGROUND[1]), [(0, 10)] * 10)
    tracker.stop()
    case.check(tracker.positions()[-1] == (x0 + 100, y0 + 100) and prog.bar_rect()[:2] == (x0 + 100, y0 + 100),
               "then a plain drag moves the bar 100 px down", "positions %s" % tracker.positions())
    case.check(portal(prog)["visible"] == 1, "the portal is still open")
    case.screenshot("after-second-drag")


h.run("double_click_drag", main)
