#!/usr/bin/python3
"""The portal pops up by itself once, about 20 s after the start, and its browser asks the site
for the home page; it does not come again. With the box "不自动弹出此窗口" kept checked in
GoldCfg.ini it does not pop up at all, and "关闭程序" keeps the box checked in the file."""

import time

import harness as h

EARLIEST_S, LATEST_S = 19.0, 23.0
WATCH_S = 45.0


def portal_visible(prog):
    return prog.find(h.PORTAL_CLASS).get("visible") == 1


def pops_up_once(case, server):
    prog = case.program()
    prog.start()
    bar = prog.wait_bar(timeout=30)
    case.require(bar.get("found") == 1, "the bar comes into view")
    case.check(not portal_visible(prog) and not server.home_requests(), "the portal is hidden at first")
    shown = h.wait_until(lambda: portal_visible(prog), LATEST_S + 5, 0.1)
    after = time.time() - prog.started_at
    case.require(shown, "the portal pops up by itself", "%.2f s after the start" % after)
    case.check(EARLIEST_S <= after <= LATEST_S, "it pops up about 20 s after the start",
               "%.2f s (between %.0f and %.0f s)" % (after, EARLIEST_S, LATEST_S))
    asked = h.wait_until(lambda: server.home_requests(), 5, 0.2)
    case.check(len(asked) == 1, "its browser asks the site for the home page",
               "%d requests for /, %.2f s after the start" % (
                   len(asked), asked[0]["time"] - prog.started_at if asked else -1))
    case.screenshot("popped-up")
    # Hidden again, a second pop-up would show it and ask for the page again.
    h.driver("post", h.PORTAL_CLASS, "--exe", prog.path, "WM_CLOSE")
    case.require(h.wait_until(lambda: not portal_visible(prog), 3, 0.1), "the portal hides on a close request")
    again = h.wait_until(lambda: portal_visible(prog), WATCH_S - (time.time() - prog.started_at), 0.2)
    case.check(not again and len(server.home_requests()) == 1, "it does not pop up again",
               "watched until %.1f s after the start; %d requests for /" % (
                   time.time() - prog.started_at, len(server.home_requests())))
    case.check(prog.proc.poll() is None and prog.find().get("visible") == 1, "the bar is still there")
    prog.stop()


def kept_checked(case, server):
    prog = case.program()
    with open(prog.file_path(h.SETTINGS_FILE), "wb") as f:
        f.write(h.settings_bytes(True))
    requests_before = len(server.home_requests())
    prog.start()
    bar = prog.wait_bar(timeout=30)
    case.require(bar.get("found") == 1, "with the box kept checked: the bar comes into view")
    case.require(prog.wait_tray_icon() is not None, "the run's icon comes into the shell's tray")
    popped = h.wait_until(lambda: portal_visible(prog), 25 - (time.time() - prog.started_at), 0.2)
    case.check(not popped and len(server.home_requests()) == requests_before,
               "with the box kept checked the portal does not pop up",
               "watched until %.1f s after the start" % (time.time() - prog.started_at))
    case.require(prog.choose_close().ok, "the tray menu comes up")
    code = prog.wait_exit(10)
    case.check(code == 0, "\"关闭程序\" ends the program with exit code 0", "exit code %s" % code)
    settings = prog.read(h.SETTINGS_FILE)
    case.check(settings == h.settings_bytes(True), "%s still holds the checked setting" % h.SETTINGS_FILE,
               repr(settings))
    case.check(prog.read(h.NOTES_FILE) == h.INITIAL_NOTES, "the notes are written as well")


def main(case):
    server = case.server(body="2345.67R|5678.90U", lifetime=180)
    pops_up_once(case, server)
    kept_checked(case, server)


h.run("timed_popup", main)
