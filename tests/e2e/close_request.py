#!/usr/bin/python3
"""A close request ends the program like "关闭程序": it writes the setting and the notes beside
the program and ends it with exit code 0. Sent to the bar window, sent to the hidden
application window, and typed as Alt+F4 on the bar."""

import os
import time

import harness as h


def close_via(case, how, request):
    prog = case.program()
    prog.start()
    bar = prog.wait_bar(timeout=30)
    case.require(bar.get("found") == 1, "%s: the bar comes into view" % how)
    case.require(prog.files() == [os.path.basename(prog.path)], "%s: the program starts alone in its folder" % how)
    t0 = time.time()
    case.require(request(prog, bar), "%s: the request is made" % how)
    gone = h.driver("wait-gone", h.BAR_CLASS, "--exe", prog.path, "--timeout", 10000)
    case.check(gone.ok, "%s: the bar goes away" % how, "%.2f s after the request" % (time.time() - t0))
    code = prog.wait_exit(10)
    case.check(code == 0, "%s: the program ends with exit code 0" % how,
               "exit code %s, %.2f s after the request" % (code, time.time() - t0))
    settings, notes = prog.read(h.SETTINGS_FILE), prog.read(h.NOTES_FILE)
    case.check(settings == h.settings_bytes(False), "%s: %s holds exactly the unchecked setting" % (
        how, h.SETTINGS_FILE), repr(settings))
    case.check(notes == h.INITIAL_NOTES, "%s: %s holds exactly the pad's initial text" % (how, h.NOTES_FILE),
               repr(notes))
    case.check(prog.files() == sorted([os.path.basename(prog.path), h.SETTINGS_FILE, h.NOTES_FILE]),
               "%s: nothing else is left beside the program" % how, "folder holds %s" % prog.files())


def post_close(window_class):
    def request(prog, bar):
        return h.driver("post", window_class, "--exe", prog.path, "WM_CLOSE").ok
    return request


def alt_f4(prog, bar):
    # A click on the bar makes it the active window (the press starts a move that ends at once).
    h.xdotool("mousemove", bar["left"] + 30, bar["top"] + 15, "click", 1, "sleep", 0.3, "key", "alt+F4")
    return True


def main(case):
    case.server(body="2345.67R|5678.90U")
    close_via(case, "WM_CLOSE to the bar", post_close(h.BAR_CLASS))
    close_via(case, "WM_CLOSE to the application window", post_close(h.APP_CLASS))
    close_via(case, "Alt+F4 on the bar", alt_f4)


h.run("close_request", main)
