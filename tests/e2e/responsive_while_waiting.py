#!/usr/bin/python3
"""While a quote request waits on a server that accepts and never answers, the program keeps
taking messages: a message sent to the bar comes back within 300 ms, and the dot blinks on.
Both for the first request (bar still hidden) and for a refresh of the shown bar. "关闭程序"
taken while the first request waits closes that request at once, starts no other and ends the
program."""


import threading
import time

import harness as h

LIMIT_MS = 300
PROBES = 30
PROBE_GAP_MS = 0
PROBE_JITTER_MS = 260  # a random pause longer than the program's 250-ms wait: probes land anywhere in it


def ping(prog, results):
    results.append(h.driver("ping", h.BAR_CLASS, "--exe", prog.path, "--count", PROBES,
                            "--interval", PROBE_GAP_MS, "--jitter", PROBE_JITTER_MS, "--timeout", 2000))


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
    case.require(h.wait_until(lambda: server.quote_count() >= 1, 30), "the first request reaches the server")
    bar = prog.find()
    case.check(bar.ok and bar["visible"] == 0, "the bar stays hidden while the first request waits")
    results = []
    ping(prog, results)
    check_pings(case, results[0], "first request waiting, bar hidden")
    bar = prog.find()
    case.check(bar.ok and bar["visible"] == 0, "the bar is still hidden after the probes")

    case.require(prog.wait_tray_icon() is not None, "the run's icon comes into the shell's tray")
    waiting = server.quote_requests()[-1]["conn"]
    opened = time.time()
    case.require(prog.choose_close().ok, "the tray menu comes up while the request waits")
    chosen = time.time()  # the choice was made by now
    code = prog.wait_exit(20)
    ended = time.time()
    conn = [c for c in server.connections() if c["conn"] == waiting][0]
    closed = conn["closed"]
    case.check(closed is not None and conn["closed_by"] == "peer" and opened < closed <= chosen + 1.0,
               "\"关闭程序\" closes the waiting request at once",
               "closed by %s %.2f s after the choice" % (conn["closed_by"], (closed or 0) - chosen))
    case.check(code == 0, "the program ends with exit code 0",
               "exit code %s, %.2f s after the choice (Wine takes seconds to remove the tray icon and windows)" % (
                   code, ended - chosen))
    case.check(server.quote_count() == 1, "no other request is made after the choice",
               "%d quote requests" % server.quote_count())
    case.check(prog.read(h.SETTINGS_FILE) == h.settings_bytes(False) and prog.read(h.NOTES_FILE) == h.INITIAL_NOTES,
               "the setting and the notes are written", "folder holds %s" % prog.files())


def refresh_hangs(case, server):
    server.configure(mode="serve", body="2345.67R|5678.90U")
    prog = case.program()
    prog.start()
    bar = prog.wait_bar(timeout=30)
    case.require(bar.get("found") == 1, "the bar comes into view with the first reply")
    origin = (bar["left"], bar["top"])
    server.configure(mode="hang")
    before = server.quote_count()
    # The refresh comes 20 s after the program's start.
    case.require(h.wait_until(lambda: server.quote_count() > before, h.REFRESH_S + 10, 0.2),
                 "the refresh request reaches the server",
                 "%.1f s after the start" % (time.time() - prog.started_at))
    case.note("refresh request %.1f s after the start" % (time.time() - prog.started_at))
    # The portal pops up on its own at the same moment; a close request only hides it, and
    # taking that request is one more proof that messages flow while the refresh waits.
    if h.wait_until(lambda: prog.find(h.PORTAL_CLASS).get("visible") == 1, 2, 0.1):
        h.driver("post", h.PORTAL_CLASS, "--exe", prog.path, "WM_CLOSE")
        case.check(h.wait_until(lambda: prog.find(h.PORTAL_CLASS).get("visible") == 0, 3, 0.1),
                   "the portal that popped up hides on a close request while the refresh waits")
    case.require_uncovered(prog, bar, "no other window covers the bar")
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
    # A timer event waits for the next look at the messages (every 250 ms while the reply is
    # awaited), so a state may last up to that much longer; the samples add 0.1 s either way.
    case.check(a["spread"] >= 60 and len(a["changes"]) >= 3
               and all(h.BLINK_S - 0.15 <= d <= h.BLINK_S + 0.25 + 0.15 for d in a["intervals"]),
               "the dot blinks on while the refresh waits",
               "changes at %s s" % ", ".join("%.2f" % t for t in a["changes"]))
    waiting = server.quote_requests()[-1]["conn"]
    conn = [c for c in server.connections() if c["conn"] == waiting][0]
    case.check(conn["closed"] is None, "the refresh still waits on its open connection",
               "connection %d, closed %s" % (waiting, conn["closed_by"]))


def main(case):
    server = case.server()
    first_request_hangs(case, server)
    refresh_hangs(case, server)


h.run("responsive_while_waiting", main)
