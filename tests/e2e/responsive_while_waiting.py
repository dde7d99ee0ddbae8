#!/usr/bin/python3
"""While a quote request waits on a server that accepts and never answers, the program keeps
taking messages: a message sent to the bar comes back within 300 ms, and the dot blinks on.
Both for the first request (bar still hidden) and for a refresh of the shown bar."""

import threading
import time

import harness as h

LIMIT_MS = 300
PROBES = 50
PROBE_GAP_MS = 50


def ping(prog, results):
    results.append(h.driver("ping", h.BAR_CLASS, "--exe", prog.path, "--count", PROBES,
                            "--interval", PROBE_GAP_MS, "--timeout", 2000))


def check_pings(case, r, when):
    case.note("%s: %s probes, p50 %.1f ms, p99 %.1f ms, max %.1f ms, %s timed out" % (
        when, r.get("count"), r.get("p50_ms", -1), r.get("p99_ms", -1), r.get("max_ms", -1), r.get("timeouts")))
    case.check(r.get("count") == PROBES and r.get("timeouts") == 0 and r.get("max_ms", 1e9) <= LIMIT_MS,
               "%s: every message to the bar returns within %d ms" % (when, LIMIT_MS),
               "p50 %.1f ms, p99 %.1f ms, max %.1f ms" % (r.get("p50_ms", -1), r.get("p99_ms", -1), r.get("max_ms", -1)))


def first_request_hangs(case, server):
    server.configure(mode="hang")
    prog = case.program()
    prog.start()
    case.require(h.wait_until(lambda: server.request_count() >= 1, 30), "the first request reaches the server")
    bar = prog.find()
    case.check(bar.ok and bar["visible"] == 0, "the bar stays hidden while the first request waits")
    results = []
    ping(prog, results)
    check_pings(case, results[0], "first request waiting, bar hidden")
    bar = prog.find()
    case.check(bar.ok and bar["visible"] == 0, "the bar is still hidden after the probes")
    prog.stop()


def refresh_hangs(case, server):
    server.configure(mode="serve", body="2345.67R|5678.90U")
    prog = case.program()
    prog.start()
    bar = prog.wait_bar(timeout=30)
    case.require(bar.get("found") == 1, "the bar comes into view with the first reply")
    origin = (bar["left"], bar["top"])
    server.configure(mode="hang")
    before = server.request_count()
    # The refresh comes 20 s after the program's start.
    case.require(h.wait_until(lambda: server.request_count() > before, h.REFRESH_S + 10, 0.2),
                 "the refresh request reaches the server",
                 "%.1f s after the start" % (time.time() - prog.started_at))
    case.note("refresh request %.1f s after the start" % (time.time() - prog.started_at))
    results = []
    pinger = threading.Thread(target=ping, args=(prog, results))
    pinger.start()
    samples = h.sample_dot(origin, 5.0, 0.1)
    pinger.join(60)
    img = case.screenshot("refresh-waiting")
    case.save_bar(img, origin, "refresh-waiting")
    check_pings(case, results[0], "refresh waiting, bar shown")
    a = h.blink_analysis(samples)
    case.note("dot while the refresh waits: %s, lit %s, dark %s" % (a["states"], a["lit"], a["dark"]))
    case.check(a["spread"] >= 60 and len(a["changes"]) >= 3
               and all(abs(d - h.BLINK_S) <= 0.3 for d in a["intervals"]),
               "the dot blinks on while the refresh waits",
               "changes at %s s" % ", ".join("%.2f" % t for t in a["changes"]))
    state = server.state()
    case.check(state["open"] >= 1, "the waiting request's connection is still open", "%d open" % state["open"])


def main(case):
    h.park_pointer()
    server = case.server()
    first_request_hangs(case, server)
    refresh_hangs(case, server)


h.run("responsive_while_waiting", main)
