#!/usr/bin/python3
"""When "关闭程序" cannot save, the user is told and the program stays: a read-only GoldCfg.ini
gives "Unable to write to <path>." and nothing is saved; a folder named qorla.txt in the way of
the notes gives "Cannot create file "<path>". <reason>" after the setting has been written.
Once the obstacle is gone, "关闭程序" saves and ends the program."""

import os
import shutil
import time

import harness as h

ACCESS_DENIED = 5


def start(case, prepare):
    prog = case.program()
    prepare(prog)
    prog.start()
    bar = prog.wait_bar(timeout=30)
    case.require(bar.get("found") == 1, "the bar comes into view")
    case.require(prog.wait_tray_icon() is not None, "the run's icon comes into the shell's tray")
    return prog


def close_and_read_report(case, prog, label):
    case.require(prog.choose_close().ok, "the tray menu comes up")
    box = h.driver("msgbox", "--exe", prog.path, "--timeout", 5000)
    case.require(box.ok, "a message box reports the failure")
    case.screenshot("report-%s" % label)
    return box


def stays_after_ok(case, prog, what):
    pressed = h.driver("msgbox-ok", "--exe", prog.path, "--timeout", 2000)
    case.check(pressed.ok, "%s: OK closes the report" % what)
    time.sleep(1.0)
    case.check(prog.proc.poll() is None and prog.find().get("visible") == 1,
               "%s: after OK the program runs on, the bar is still there" % what)


def settings_read_only(case):
    def prepare(prog):
        with open(prog.file_path(h.SETTINGS_FILE), "wb") as f:
            f.write(h.settings_bytes(True))
        r = h.driver("attrib", prog.file_path(h.SETTINGS_FILE), "+r")
        case.require(r.ok and r["readonly"] == 1, "%s is read-only for Windows programs" % h.SETTINGS_FILE)

    prog = start(case, prepare)
    box = close_and_read_report(case, prog, "settings")
    expected = "Unable to write to %s." % h.windows_path(prog.file_path(h.SETTINGS_FILE))
    case.check(box["title"] == "Project1", "the report's caption is the application title", box["title"])
    case.check(box["text"] == expected, "the report reads \"Unable to write to <path>.\"", box["text"])
    case.check(box["buttons"] == 1 and box["button0.id"] == 1, "the report has one button, OK",
               "%s button(s)" % box["buttons"])
    stays_after_ok(case, prog, "read-only setting")
    case.check(prog.read(h.SETTINGS_FILE) == h.settings_bytes(True), "the setting file is untouched")
    case.check(prog.files() == sorted([os.path.basename(prog.path), h.SETTINGS_FILE]),
               "no notes file is written", "folder holds %s" % prog.files())
    prog.stop()


def notes_in_the_way(case):
    def prepare(prog):
        os.mkdir(prog.file_path(h.NOTES_FILE))

    prog = start(case, prepare)
    box = close_and_read_report(case, prog, "notes")
    reason = h.driver("errtext", ACCESS_DENIED)["text"].rstrip(" \r\n.")
    expected = "Cannot create file \"%s\". %s" % (h.windows_path(prog.file_path(h.NOTES_FILE)), reason)
    if ord(expected[-1]) > ord("."):
        expected += "."
    case.check(box["title"] == "Project1", "the report's caption is the application title", box["title"])
    case.check(box["text"] == expected, "the report reads \"Cannot create file \"<path>\". <reason>\"",
               box["text"])
    case.check(prog.read(h.SETTINGS_FILE) == h.settings_bytes(False), "the setting has been written first",
               repr(prog.read(h.SETTINGS_FILE)))
    stays_after_ok(case, prog, "notes in the way")
    case.check(os.path.isdir(prog.file_path(h.NOTES_FILE)) and not os.listdir(prog.file_path(h.NOTES_FILE)),
               "the folder in the way is left alone")
    case.check(prog.files() == sorted([os.path.basename(prog.path), h.SETTINGS_FILE, h.NOTES_FILE]),
               "nothing else is left beside the program", "folder holds %s" % prog.files())

    shutil.rmtree(prog.file_path(h.NOTES_FILE))
    case.require(prog.choose_close().ok, "the tray menu comes up again")
    code = prog.wait_exit(10)
    case.check(code == 0, "with the way clear, \"关闭程序\" ends the program with exit code 0",
               "exit code %s" % code)
    case.check(prog.read(h.NOTES_FILE) == h.INITIAL_NOTES, "and writes the notes",
               repr(prog.read(h.NOTES_FILE)))
    case.check(prog.read(h.SETTINGS_FILE) == h.settings_bytes(False), "and keeps the setting")


def main(case):
    case.server(body="2345.67R|5678.90U")
    settings_read_only(case)
    notes_in_the_way(case)


h.run("settings_write_failure", main)
