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
    case.require(not h.port_listening(h.QUOTE_PORT), "nothing listens on the quote port yet")
    prog = case.program()
    prog.start()
    bar = prog.wait_bar(timeout=30)
    case.require(bar.get("found") == 1, "reference run: the bar comes into view without a server")
    time.sleep(0.3)
    img = case.screenshot("reference-unreachable")
    origin = (bar["left"], bar["top"])
    case.save_bar(img, origin, "reference-unreachable")
    masks = figure_masks(img, origin)
    prog.stop()
    return masks


def main(case):
    h.park_pointer()
    reference = unreachable_figures(case)

    server = case.server(body=QUOTE_REPLY, delay_ms=int(REPLY_DELAY_S * 1000))
    prog = case.program()
    prog.start()

    # Until the reply has been sent the bar must not be on screen; watch it meanwhile.
    seen_visible_early = []
    first = h.wait_until(lambda: server.request_count() >= 1, 30, 0.05)
    case.require(first, "the program asks for quotes", "no request within 30 s")
    request = next(server.requests())
    reply_sent = request["time"] + REPLY_DELAY_S
    case.note("request %.2f s after the start" % (request["time"] - prog.started_at))
    hidden_checks = 0
    while time.time() < reply_sent - 0.3:
        r = prog.find()
        if r.ok:
            hidden_checks += 1
            if r["visible"]:
                seen_visible_early.append(round(time.time() - request["time"], 2))
        time.sleep(0.1)
    case.check(hidden_checks >= 5 and not seen_visible_early,
               "the bar window exists but stays hidden while the first reply is awaited",
               "%d looks, visible at %s s after the request" % (hidden_checks, seen_visible_early or "none"))

    bar = prog.wait_bar(timeout=15)
    shown_at = time.time()
    case.require(bar.get("found") == 1, "the bar comes into view after the reply")
    case.check(shown_at >= reply_sent - 0.1, "the bar comes into view only after the reply was sent",
               "%.2f s after the request (reply sent after %.1f s)" % (shown_at - request["time"], REPLY_DELAY_S))
    case.check((bar["left"], bar["top"], bar["width"], bar["height"]) == (817, 525, 286, 31)
               or h.driver("screen")["virtual_width"] != 1920,
               "the bar sits at 817,525, 286x31", "%d,%d %dx%d" % (bar["left"], bar["top"], bar["width"],
                                                                 bar["height"]))

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
