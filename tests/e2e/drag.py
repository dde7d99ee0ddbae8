#!/usr/bin/python3
"""Dragging the bar with the mouse. A left drag on a caption or on the background moves the
whole bar with the pointer, step by step, also with Shift held; against the left edge the bar
stops at Left 0 while the pointer goes on, docks there and slides out once the pointer leaves;
dragged away from the edge again it stays put. A drag with the right or the middle button
moves nothing, and neither does a left drag that starts on the lit dot, while one that starts
at the dot's place while it is dark does."""

import time

import harness as h

TICK_S = 0.2
SLIDE_LIMIT_MS = 500
PARK = (1500, 900)
BAR_W, BAR_H = h.BAR_SIZE
BACKGROUND = (128, 27)      # below the gap between the gold figure and "白银T+D:"
CAPTION = (150, 16)         # on "白银T+D:"
DOT_CENTRE = (h.DOT[0] + h.DOT[2] // 2, h.DOT[1] + h.DOT[3] // 2)


def at(origin, point):
    return (origin[0] + point[0], origin[1] + point[1])


def dot_colour(origin):
    """The mean colour of the middle 4 x 4 pixels of the dot on the screen."""
    x, y = at(origin, DOT_CENTRE)
    px = list(h.grab((x - 2, y - 2, x + 2, y + 2)).getdata())
    return tuple(sum(p[i] for p in px) // len(px) for i in range(3))


def wait_for_dot(origin, lit, timeout=5.0):
    """Waits until the dot has just turned lit (or dark): a sample of the other state followed by
    one of this state. Returns the colour then, or None."""
    end = time.monotonic() + timeout
    before = None
    while time.monotonic() < end:
        c = dot_colour(origin)
        now_lit = h.bright_yellow_green(c)
        now_dark = h.dim_green(c)
        if before is not None and before != lit and (now_lit if lit else now_dark):
            return c
        before = True if now_lit else (False if now_dark else None)
        time.sleep(0.015)
    return None


def tracked_drag(prog, start, steps, button=1, keys=()):
    tracker = prog.track(timeout_s=60.0)
    h.drag(start, steps, button=button, keys=keys)
    tracker.stop()
    return tracker


def other_buttons(case, prog, origin):
    for button, name in ((3, "right"), (2, "middle")):
        tracker = tracked_drag(prog, at(origin, BACKGROUND), [(-10, 0)] * 15, button=button)
        xs = [e["cx"] for e in tracker.result()]
        start_x = at(origin, BACKGROUND)[0]
        case.check(start_x in xs and xs[-1] == start_x - 150,
                   "%s-button drag: the pointer went 150 px to the left" % name, "x from %d to %d" % (start_x, xs[-1]))
        case.check(tracker.positions() == [origin], "a drag with the %s button leaves the bar where it was" % name,
                   "positions %s" % tracker.positions())


def dot_press(case, prog, origin):
    """A left drag from the dot's place: nothing while it is lit, a move while it is dark."""
    h.move_pointer(*at(origin, DOT_CENTRE))
    tracker = prog.track(timeout_s=30.0)
    lit = wait_for_dot(origin, lit=True)
    case.require(lit is not None, "the dot lights up", "colour %s" % (lit,))
    pressed_at = time.monotonic()
    h.xdo("mousedown", 1)
    at_press = dot_colour(origin)
    h.pointer_steps([(-10, 0)] * 10)
    at_end = dot_colour(origin)
    h.xdo("mouseup", 1)
    held = time.monotonic() - pressed_at
    case.save_bar(case.screenshot("lit-dot-drag"), origin, "lit-dot-drag")
    tracker.stop()
    case.check(h.bright_yellow_green(at_press) and h.bright_yellow_green(at_end),
               "the dot was lit from the press to the end of the drag",
               "%s at the press, %s %.2f s later" % (at_press, at_end, held))
    case.check(tracker.positions() == [origin], "a left drag that starts on the lit dot leaves the bar where it was",
               "positions %s" % tracker.positions())

    h.move_pointer(*at(origin, DOT_CENTRE))
    dark = wait_for_dot(origin, lit=False)
    case.require(dark is not None, "the dot goes dark", "colour %s" % (dark,))
    tracker = prog.track(timeout_s=30.0)
    h.xdo("mousedown", 1)
    at_press = dot_colour(origin)
    h.pointer_steps([(-10, 0)] * 10)
    h.xdo("mouseup", 1)
    time.sleep(0.2)
    tracker.stop()
    case.check(h.dim_green(at_press), "the dot was dark at the second press", str(at_press))
    moved = (origin[0] - 100, origin[1])
    case.check(tracker.positions()[-1] == moved,
               "a left drag from the dot's place while it is dark moves the bar 100 px to the left",
               "positions %s" % tracker.positions())
    return prog.bar_rect()[:2]


def shift_drag(case, prog, origin):
    tracker = tracked_drag(prog, at(origin, BACKGROUND), [(10, 0)] * 12, keys=("shift",))
    target = (origin[0] + 120, origin[1])
    case.check(tracker.positions()[-1] == target and prog.bar_rect()[:2] == target,
               "a left drag with Shift held moves the bar 120 px to the right", "positions %s" % tracker.positions())
    return prog.bar_rect()[:2]


def drag_to_the_left_edge(case, prog, origin):
    x, y = origin
    grip = at(origin, CAPTION)
    steps = [(-10, 0)] * (x // 10 + 10)
    tracker = tracked_drag(prog, grip, steps)
    events = tracker.result()
    positions = tracker.positions()
    lefts = [p[0] for p in positions]
    moves = [b - a for a, b in zip(lefts, lefts[1:])]
    case.check(all(p[1] == y for p in positions), "the Top stays %d all through the drag" % y,
               "tops %s" % sorted(set(p[1] for p in positions)))
    # One move per pointer step; should two steps ever be taken as one, that move is 20 px.
    whole = all(m < 0 and m % 10 == 0 for m in moves[:-1])
    single = sum(1 for m in moves[:-1] if m == -10)
    case.check(moves and whole and single >= 0.9 * (len(moves) - 1) and moves[-1] == -(x % 10 or 10),
               "the bar follows the pointer in steps of 10 px to the left, the last step up to the edge",
               "%d moves, %d of one step: %s" % (len(moves), single, moves))
    case.check(min(lefts) == 0 and lefts[-1] == 0, "the bar stops at Left 0", "lefts from %d to %d, least %d" % (
        lefts[0], lefts[-1], min(lefts)))
    at_edge = next(e for e in events if e["left"] == 0)
    past = [e["cx"] for e in events if e["ms"] >= at_edge["ms"]]
    case.check(at_edge["cx"] - min(past) >= 50 and all(e["left"] == 0 for e in events if e["ms"] >= at_edge["ms"]),
               "the pointer goes on past it and the bar is held on the screen",
               "pointer from x %d to %d while the bar stayed at Left 0" % (at_edge["cx"], min(past)))
    time.sleep(3 * TICK_S)
    case.check(prog.bar_rect() == (0, y, BAR_W, BAR_H), "after the release the bar stays flush with the edge",
               "pointer at %s, bar at %s" % (h.pointer(), prog.bar_rect()))

    tracker = prog.track(timeout_s=3.0, until=(2 - BAR_W, y))
    acted = tracker.mark()
    h.move_pointer(*PARK)
    tracker.result()
    hidden_at = tracker.first_at(2 - BAR_W, y)
    elapsed = None if hidden_at is None else hidden_at - acted
    case.check(elapsed is not None and elapsed <= SLIDE_LIMIT_MS,
               "docked: with the pointer gone the bar slides out to Left %d within two ticks" % (2 - BAR_W),
               "after %s ms" % ("%.0f" % elapsed if elapsed is not None else "never"))
    img = case.screenshot("docked-left-hidden")
    case.save_bar(img, (0, y), "docked-left-hidden")


def drag_off_the_edge(case, prog, y):
    h.move_pointer(1, y + 15)
    case.require(h.wait_until(lambda: prog.bar_rect() == (0, y, BAR_W, BAR_H), 2),
                 "the pointer on the strip brings the bar back")
    tracker = tracked_drag(prog, (1, y + 15), [(10, 0)] * 20)
    case.check(tracker.positions()[-1] == (200, y), "a drag to the right takes the bar off the edge to Left 200",
               "positions %s" % tracker.positions()[-3:])
    h.move_pointer(*PARK)
    tracker = prog.track(timeout_s=1.5)
    tracker.result()
    case.check(tracker.positions() == [(200, y)], "undocked, the bar stays at 200,%d with the pointer gone" % y,
               "positions over 1.5 s: %s" % tracker.positions())


def main(case):
    prog, bar = case.start_bar_with_figures()
    origin = (bar["left"], bar["top"])
    h.move_pointer(*PARK)

    other_buttons(case, prog, origin)
    origin = dot_press(case, prog, origin)
    origin = shift_drag(case, prog, origin)
    drag_to_the_left_edge(case, prog, origin)
    drag_off_the_edge(case, prog, origin[1])


h.run("drag", main)
