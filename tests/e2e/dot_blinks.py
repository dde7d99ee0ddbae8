#!/usr/bin/python3
"""The dot at the bar's right end is dim green and bright yellow-green in turn, each state
lasting 1.2 seconds."""

import harness as h

SAMPLE_S = 5.5
INTERVAL_S = 0.1
TOLERANCE_S = 0.25


def main(case):
    case.server(body="2345.67R|5678.90U")
    prog = case.program()
    prog.start()
    bar = prog.wait_bar(timeout=30)
    case.require(bar.get("found") == 1, "the bar comes into view")
    case.require_uncovered(prog, bar, "no other window covers the bar")
    origin = (bar["left"], bar["top"])

    samples = h.sample_dot(origin, SAMPLE_S, INTERVAL_S)
    img = case.screenshot("after-sampling")
    case.save_bar(img, origin, "after-sampling")
    a = h.blink_analysis(samples)
    case.note("%d samples over %.1f s: %s" % (len(samples), samples[-1][0], a["states"]))
    case.note("lit %s, dark %s, luminance spread %.0f" % (a["lit"], a["dark"], a["spread"]))
    case.check(a["spread"] >= 60 and a["lit"] and a["dark"], "the dot shows two clearly different states",
               "luminance spread %.0f" % a["spread"])
    case.check(a["lit"] is not None and h.bright_yellow_green(a["lit"]), "the lit dot is bright yellow-green",
               str(a["lit"]))
    case.check(a["dark"] is not None and h.dim_green(a["dark"]), "the dark dot is dim green", str(a["dark"]))
    changes = ", ".join("%.2f" % t for t in a["changes"])
    case.check(len(a["changes"]) >= 3, "the dot changes state again and again", "changes at %s s" % changes)
    intervals = ", ".join("%.2f" % d for d in a["intervals"])
    case.check(a["intervals"] and all(abs(d - h.BLINK_S) <= TOLERANCE_S for d in a["intervals"]),
               "each state lasts about 1.2 s", "intervals %s s" % intervals)


h.run("dot_blinks", main)
