#!/usr/bin/python3
"""A bar dragged against a screen edge docks there. With the pointer away it slides out until
only a strip of 2 pixels is left on the screen, and with the pointer on that strip it slides
back in, each time within two ticks of its 200 ms poll: docked left (the strip is the screen's
columns 0 and 1, the Top stays), docked in the top-left corner (a 2 x 2 square is left) and
docked right (columns 1918 and 1919). A single move step proposed past the left edge docks a
bar in the open there too, and the first tick after it lays the bar out at the left edge."""

import time

import harness as h

TICK_S = 0.2
SLIDE_LIMIT_MS = 500        # two ticks of the poll and a little for the move to show
PARK = (1500, 900)          # away from every place the bar goes to here
TOLERANCE = 6               # per colour channel, between two screenshots of the same pixels
BAR_W, BAR_H = h.BAR_SIZE
GRIP = (128, 27)            # on the bar's background, below the gap between the gold figure and "白银T+D:"


def same_colour(a, b):
    return all(abs(x - y) <= TOLERANCE for x, y in zip(a, b))


def pixels(img, points):
    return [img.getpixel(p) for p in points]


def matches(img, points, expected):
    """How many of the points show the expected colours (a list of the same length)."""
    return sum(1 for got, want in zip(pixels(img, points), expected) if same_colour(got, want))


def column(x, top, bottom):
    return [(x, y) for y in range(top, bottom)]


def slide_and_wait(case, prog, target, action, what, hold_s=3 * TICK_S):
    """Does action (moves the pointer) and measures how long the bar takes to stand at target;
    then checks that it stays there for a few more ticks."""
    tracker = prog.track(timeout_s=3.0, until=target)
    acted_at = tracker.mark()
    action()
    tracker.result()
    reached_at = tracker.first_at(*target)
    elapsed = None if reached_at is None else reached_at - acted_at
    case.check(tracker.reached and elapsed is not None and elapsed <= SLIDE_LIMIT_MS,
               "%s: the bar stands at %d,%d within two ticks" % (what, target[0], target[1]),
               "after %s ms; went through %s" % ("%.0f" % elapsed if elapsed is not None else "never",
                                                 tracker.positions()))
    time.sleep(hold_s)
    rect = prog.bar_rect()
    case.check(rect == (target[0], target[1], BAR_W, BAR_H), "%s: it stays there" % what,
               "%s after %.1f s more" % (rect, hold_s))
    return tracker


def drag_bar(case, prog, grip_screen, steps, what):
    """Drags the bar; returns the tracker that watched it."""
    tracker = prog.track(timeout_s=60.0)
    h.drag(grip_screen, steps)
    tracker.stop()
    positions = tracker.positions()
    case.note("%s: %d positions, from %s to %s" % (what, len(positions), positions[0], positions[-1]))
    return tracker


def main(case):
    prog, bar = case.start_bar_with_figures()
    screen = h.driver("screen")
    sw, sh = screen["screen_width"], screen["screen_height"]
    case.require((sw, sh) == (1920, 1080), "the screen is 1920 x 1080", "%d x %d" % (sw, sh))
    x0, y0 = bar["left"], bar["top"]
    h.move_pointer(*PARK)

    # What the screen shows before the bar goes anywhere: the bar itself, and the desktop at the
    # places where its strips will be.
    time.sleep(0.3)
    before = case.screenshot("start")
    case.save_bar(before, (x0, y0), "start")
    bar_px = lambda bx, by: before.getpixel((x0 + bx, y0 + by))

    # ---- docked left ----------------------------------------------------------------
    drag_bar(case, prog, (x0 + GRIP[0], y0 + GRIP[1]), [(-10, 0)] * 95, "drag to the left edge")
    case.require(prog.bar_rect() == (0, y0, BAR_W, BAR_H), "the drag leaves the bar flush with the left edge",
                 "at %s" % (prog.bar_rect(),))
    time.sleep(3 * TICK_S)
    case.check(prog.bar_rect() == (0, y0, BAR_W, BAR_H), "with the pointer on it the docked bar stays shown",
               "pointer at %s, bar at %s" % (h.pointer(), prog.bar_rect()))

    hide = slide_and_wait(case, prog, (2 - BAR_W, y0), lambda: h.move_pointer(*PARK), "docked left, pointer away")
    hidden = case.screenshot("docked-left-hidden")
    rows = range(y0, y0 + BAR_H)
    strip = column(0, y0, y0 + BAR_H) + column(1, y0, y0 + BAR_H)
    bar_edge = [bar_px(BAR_W - 2, y - y0) for y in rows] + [bar_px(BAR_W - 1, y - y0) for y in rows]
    n = matches(hidden, strip, bar_edge)
    case.check(n == len(strip), "columns 0 and 1 show the bar's last two columns over its rows",
               "%d of %d pixels" % (n, len(strip)))
    desktop = pixels(before, strip)
    case.check(matches(hidden, strip, desktop) < len(strip) // 2,
               "there the desktop does not show any more", "columns 0-1 were %s" % desktop[:3])
    col2 = column(2, y0, y0 + BAR_H)
    n = matches(hidden, col2, pixels(before, col2))
    case.check(n == len(col2), "column 2 shows the desktop, as before the bar came", "%d of %d pixels" % (n, len(col2)))
    outside = column(0, y0 - 2, y0) + column(1, y0 - 2, y0) + column(0, y0 + BAR_H, y0 + BAR_H + 2) + \
        column(1, y0 + BAR_H, y0 + BAR_H + 2)
    n = matches(hidden, outside, pixels(before, outside))
    case.check(n == len(outside), "the strip is exactly as high as the bar", "%d of %d pixels around it" % (
        n, len(outside)))
    case.check(all(e["top"] == y0 for e in hide.result()), "the Top stays %d while the bar slides out" % y0)

    show = slide_and_wait(case, prog, (0, y0), lambda: h.move_pointer(1, y0 + 15), "pointer onto the strip")
    case.check(all(e["top"] == y0 for e in show.result()), "the Top stays %d while the bar slides in" % y0)
    shown = case.screenshot("docked-left-shown")
    case.save_bar(shown, (0, y0), "docked-left-shown")
    n = matches(shown, column(0, y0, y0 + BAR_H) + column(BAR_W - 1, y0, y0 + BAR_H),
                [bar_px(0, y) for y in range(BAR_H)] + [bar_px(BAR_W - 1, y) for y in range(BAR_H)])
    case.check(n == 2 * BAR_H, "the bar shows whole at the left edge", "%d of %d pixels" % (n, 2 * BAR_H))
    slide_and_wait(case, prog, (2 - BAR_W, y0), lambda: h.move_pointer(*PARK), "pointer away again")

    # ---- docked in the top-left corner ---------------------------------------------
    h.move_pointer(1, y0 + 15)
    case.require(h.wait_until(lambda: prog.bar_rect() == (0, y0, BAR_W, BAR_H), 2), "the strip brings the bar back")
    drag_bar(case, prog, (1, y0 + 15), [(0, -10)] * ((y0 + 15) // 10 + 5), "drag up along the left edge")
    case.require(prog.bar_rect() == (0, 0, BAR_W, BAR_H), "the drag leaves the bar in the top-left corner",
                 "at %s" % (prog.bar_rect(),))
    slide_and_wait(case, prog, (2 - BAR_W, 2 - BAR_H), lambda: h.move_pointer(*PARK), "docked top-left, pointer away")
    corner = case.screenshot("docked-corner-hidden")
    square = [(0, 0), (1, 0), (0, 1), (1, 1)]
    n = matches(corner, square, [bar_px(BAR_W - 2 + x, BAR_H - 2 + y) for x, y in square])
    case.check(n == 4, "a 2 x 2 square of the bar's bottom-right corner is left in the screen's corner",
               "%d of 4 pixels: %s" % (n, pixels(corner, square)))
    around = [(2, 0), (2, 1), (2, 2), (0, 2), (1, 2), (3, 0), (0, 3)]
    n = matches(corner, around, pixels(before, around))
    case.check(n == len(around), "around the square the desktop shows", "%d of %d pixels" % (n, len(around)))

    # ---- docked right -------------------------------------------------------------------
    slide_and_wait(case, prog, (0, 0), lambda: h.move_pointer(0, 0), "pointer onto the corner square")
    steps = [(10, 3)] * ((sw - BAR_W) // 10 + 6)
    drag_bar(case, prog, (GRIP[0], GRIP[1]), steps, "drag to the right edge")
    rect = prog.bar_rect()
    case.require(rect is not None and rect[0] == sw - BAR_W and 0 < rect[1] < sh - BAR_H,
                 "the drag leaves the bar flush with the right edge, off the top", "at %s" % (rect,))
    top = rect[1]
    hide = slide_and_wait(case, prog, (sw - 2, top), lambda: h.move_pointer(*PARK), "docked right, pointer away")
    right = case.screenshot("docked-right-hidden")
    rows = range(top, top + BAR_H)
    strip = column(sw - 2, top, top + BAR_H) + column(sw - 1, top, top + BAR_H)
    n = matches(right, strip, [bar_px(0, y - top) for y in rows] + [bar_px(1, y - top) for y in rows])
    case.check(n == len(strip), "columns 1918 and 1919 show the bar's first two columns",
               "%d of %d pixels" % (n, len(strip)))
    col = column(sw - 3, top, top + BAR_H)
    n = matches(right, col, pixels(before, col))
    case.check(n == len(col), "column 1917 shows the desktop", "%d of %d pixels" % (n, len(col)))
    case.check(all(e["top"] == top for e in hide.result()), "the Top stays %d while the bar slides out" % top)
    slide_and_wait(case, prog, (sw - BAR_W, top), lambda: h.move_pointer(sw - 1, top + 15),
                   "pointer onto the right strip")

    # ---- docked by the message alone ------------------------------------------------
    # Off the edge again, then one move step proposed past the left edge: that docks the bar
    # there and starts the poll afresh; the window itself is moved only by the poll's first tick.
    drag_bar(case, prog, (sw - 1, top + 15), [(-10, 0)] * 30, "drag off the right edge")
    case.require(prog.bar_rect() == (sw - BAR_W - 300, top, BAR_W, BAR_H), "the drag takes the bar off the edge",
                 "at %s" % (prog.bar_rect(),))
    h.move_pointer(*PARK)
    time.sleep(0.3)
    tracker = prog.track(timeout_s=3.0, until=(2 - BAR_W, top))
    r = h.driver("send-moving", h.BAR_CLASS, "--exe", prog.path, -40, 500, BAR_W - 40, 500 + BAR_H)
    tracker.result()
    case.check(r.ok and (r["left"], r["top"], r["right"], r["bottom"]) == (0, 500, BAR_W, 500 + BAR_H),
               "a step proposed past the left edge comes back flush with it",
               "(%s, %s, %s, %s)" % (r.get("left"), r.get("top"), r.get("right"), r.get("bottom")))
    hidden_at = tracker.first_at(2 - BAR_W, top)
    case.require(r.ok and tracker.clock(0) < r["send_clock_ms"], "the watch began before the message was sent")
    elapsed = None if hidden_at is None else tracker.clock(hidden_at) - r["send_clock_ms"]
    case.check(elapsed is not None and elapsed <= SLIDE_LIMIT_MS,
               "the bar docked left by it lies at %d,%d within two ticks" % (2 - BAR_W, top),
               "%s ms after the message was sent (its round trip took %.0f ms); went through %s" % (
                   "%.0f" % elapsed if elapsed is not None else "never",
                   r["return_clock_ms"] - r["send_clock_ms"], tracker.positions()))


h.run("dock_and_hide", main)
