#!/usr/bin/python3
"""A close request ends the program with exit code 0 and writes no file beside it: sent to the
bar window, and sent to the hidden application window."""

import os
import time

import harness as h

WRITTEN_FILES = ("GoldCfg.ini", "qorla.txt")


def close_via(case, window_class):
    prog = case.program()
    prog.start()
    bar = prog.wait_bar(timeout=30)
    case.require(bar.get("found") == 1, "the bar comes into view")
    before = prog.files()
    case.screenshot("before-close-%s" % window_class)
    r = h.driver("post", window_class, "--exe", prog.path, "WM_CLOSE")
    case.require(r.ok, "WM_CLOSE posted to %s" % window_class)
    t0 = time.time()
    gone = h.driver("wait-gone", h.BAR_CLASS, "--exe", prog.path, "--timeout", 10000)
    case.check(gone.ok, "the bar goes away", "%.2f s after the request" % (time.time() - t0))
    code = prog.wait_exit(10)
    case.check(code == 0, "after WM_CLOSE to %s the program ends with exit code 0" % window_class,
               "exit code %s, %.2f s after the request" % (code, time.time() - t0))
    after = prog.files()
    written = [f for f in after if f not in before]
    case.check(not any(f in after for f in WRITTEN_FILES),
               "neither %s is written beside the program" % " nor ".join(WRITTEN_FILES),
               "folder holds %s" % after)
    case.check(after == [os.path.basename(prog.path)], "the program's folder holds only the program",
               "new files: %s" % written)


def main(case):
    case.server(body="2345.67R|5678.90U")
    close_via(case, h.BAR_CLASS)
    close_via(case, h.APP_CLASS)


h.run("close_request", main)
