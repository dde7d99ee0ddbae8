#!/usr/bin/python3
"""The first quote request: it is made before the bar is on screen, its bytes are exactly the
program's request, and the bar comes into view only after the (slow) reply, showing figures
where an unreachable start shows "--.--"."""

import time

import harness as h

QUOTE_REPLY = "2345.67R|5678.90U"
REPLY_DELAY_S = 2.0
EXPECTED_REQUEST = (b"GET /wap/ruanjian/abc.php HTTP/1.1\r\n"
                    b"Host: 127.0.0.1:18631\r\n"
                    b"Accept: text/html, */*\r\n"
                    b"Accept-Encoding: identity\r\n"
                    b"User-Agent: Mozilla/3.0 (compatible; Indy Library)\r\n"
                    b"\r\n")


def figure_box(origin, figure, width=68):
    x0, y0 = origin
    fx, fy = figure
    return (x0 + fx, y0 + fy - 2, x0 + fx + width, y0 + h.BAR_SIZE[1] - 2)


def figure_masks(img, origin):
    return {name: h.ink_mask(img, figure_box(origin, fig))
            for name, fig in (("gold", h.GOLD_FIGURE), ("silver", h.SILVER_FIGURE))}


def unreachable_figures(case):
    """The bar of a run whose quote request fails: the reference for "no figures"."""
    case.require(h.wait_for_free_port(h.QUOTE_PORT), "nothing listens on the quote port yet")
    prog = case.program()
    prog.start()
    bar = prog.wait_bar(timeout=30)
    case.require(bar.get("found") == 1, "reference run: the bar comes into view without a server")
    case.require_uncovered(prog, bar, "reference run: no other window covers the bar")
    time.sleep(0.3)
    img = case.screenshot("reference-unreachable")
    origin = (bar["left"], bar["top"])
    case.save_bar(img, origin, "reference-unreachable")
    masks = figure_masks(img, origin)
    prog.stop()
    return masks


def main(case):
    reference = unreachable_figures(case)

    server = case.server(body=QUOTE_REPLY, delay_ms=int(REPLY_DELAY_S * 1000))
    prog = case.program()
    prog.start()

    # From the start until the reply has been sent the bar must not be on screen: watch it.
    # A look saw the window at some moment between its start and its end (seconds since the
    # epoch), so it tells of the time before the reply only if it ended before the reply.
    looks = []  # (start, end, the bar window exists, it is visible)
    request = None
    deadline = time.time() + 30
    while time.time() < deadline:
        started = time.time()
        r = prog.find()
        looks.append((started, time.time(), r.ok, r.ok and r["visible"] == 1))
        if request is None and server.request_count() >= 1:
            request = next(server.requests())
        if request is not None and time.time() >= request["time"] + REPLY_DELAY_S - 0.3:
            break
        time.sleep(0.05)
    case.require(request is not None, "the program asks for quotes within 30 s")
    reply_sent = request["time"] + REPLY_DELAY_S
    case.note("request %.2f s after the start; %d looks at the bar window before the reply" % (
        request["time"] - prog.started_at, len(looks)))
    early = ["%.2f-%.2f" % (start - request["time"], end - request["time"])
             for start, end, _, visible in looks if visible and end < reply_sent]
    case.check(not early, "the bar is not on screen before the reply",
               "visible in looks at %s s from the request" % early if early else "")
    waiting = [start for start, _, exists, visible in looks if exists and not visible and start > request["time"]]
    case.check(len(waiting) >= 5, "the bar window exists, hidden, while the first reply is awaited",
               "%d looks" % len(waiting))

    bar = prog.wait_bar(timeout=15)
    shown_at = time.time()
    case.require(bar.get("found") == 1, "the bar comes into view after the reply")
    case.check(shown_at >= reply_sent - 0.1, "the bar comes into view only after the reply was sent",
               "%.2f s after the request (reply sent after %.1f s)" % (shown_at - request["time"], REPLY_DELAY_S))
    expected = h.expected_bar_origin() + h.BAR_SIZE
    actual = (bar["left"], bar["top"], bar["width"], bar["height"])
    case.check(actual == expected, "the bar is placed and sized as without a reply",
               "%d,%d %dx%d" % actual)

    case.require_uncovered(prog, bar, "no other window covers the bar")
    time.sleep(0.3)
    img = case.screenshot("figures")
    origin = (bar["left"], bar["top"])
    case.save_bar(img, origin, "figures")
    masks = figure_masks(img, origin)
    for name in ("gold", "silver"):
        comps = h.components(masks[name])
        tall = [c for c in comps if c["height"] >= 7]
        with open(case.path("%s-figure-mask.txt" % name), "w") as f:
            f.write(h.mask_text(masks[name]) + "\n")
        case.check(masks[name] != reference[name], "the %s figure differs from the unreachable run's" % name)
        case.check(not h.placeholder_shape(comps) and len(tall) >= 6,
                   "the %s figure shows a number of digits" % name,
                   "%d ink parts, %d of digit height" % (len(comps), len(tall)))
    case.check(masks["gold"] != masks["silver"], "gold and silver show different figures")

    # Exactly one request so far (the next comes with the 20-second refresh), with the exact bytes.
    requests = list(server.requests())
    case.check(len(requests) == 1, "the server saw exactly one request", "%d" % len(requests))
    case.check(requests[0]["bytes"] == EXPECTED_REQUEST, "the request's bytes are exactly the quote request",
               repr(requests[0]["bytes"]))
    state = server.state()
    case.check(state["connections"] == 1, "one connection was made", "%d" % state["connections"])


h.run("bar_first_quote", main)
