#!/usr/bin/python3
"""Windows ending the session: the program lets it end (it answers the query with 1), its tray
icon leaves the shell's tray when its window is told that the session ends, and the application
window, told the same, saves the setting and the notes without a word and ends the process.
A session end called off (wParam 0) ends the run as a close request does: saved as well. With
a folder named qorla.txt in the way, the session still ends without a word, and the notes are
in a new rescue file in the temporary folder."""

import os
import time

import harness as h


def main(case):
    case.server(body="2345.67R|5678.90U")
    prog = case.program()
    prog.start()
    bar = prog.wait_bar(timeout=30)
    case.require(bar.get("found") == 1, "the bar comes into view")
    case.require(prog.wait_tray_icon() is not None, "the run's icon comes into the shell's tray")

    # The query goes to every top-level window of the program; each may say no.
    for window in ("TTrayIconWindow", h.APP_CLASS):
        r = h.driver("send", window, "--exe", prog.path, "WM_QUERYENDSESSION", 0, 0)
        case.check(r.ok and r["result"] == 1, "%s lets the session end" % window, "answer %s" % r.get("result"))
    case.check(prog.files() == [os.path.basename(prog.path)], "the query alone saves nothing",
               "folder holds %s" % prog.files())

    h.driver("send", "TTrayIconWindow", "--exe", prog.path, "WM_ENDSESSION", 1, 0)
    case.check(h.wait_until(lambda: prog.tray_icon() is None, 5, 0.2),
               "told that the session ends, the tray icon's window takes the icon out of the tray")
    case.check(prog.proc.poll() is None, "the program itself is still there until its application window is told")

    t0 = time.time()
    # The handler ends the process before it answers: the send itself comes back unanswered.
    h.driver("send", h.APP_CLASS, "--exe", prog.path, "WM_ENDSESSION", 1, 0)
    code = prog.wait_exit(10)
    case.check(code == 0, "the session's end ends the program with exit code 0",
               "exit code %s, %.2f s after the message" % (code, time.time() - t0))
    settings, notes = prog.read(h.SETTINGS_FILE), prog.read(h.NOTES_FILE)
    case.check(settings == h.settings_bytes(False), "%s holds exactly the unchecked setting" % h.SETTINGS_FILE,
               repr(settings))
    case.check(notes == h.INITIAL_NOTES, "%s holds exactly the pad's initial text" % h.NOTES_FILE, repr(notes))
    case.check(prog.files() == sorted([os.path.basename(prog.path), h.SETTINGS_FILE, h.NOTES_FILE]),
               "nothing else is left beside the program", "folder holds %s" % prog.files())
    case.check(prog.tray_icon() is None and not h.driver("list", "--exe", prog.path).get("count"),
               "no icon and no window of the run is left")

    # The log-off called off: every window hears WM_ENDSESSION with wParam 0.
    prog = case.program()
    prog.start()
    bar = prog.wait_bar(timeout=30)
    case.require(bar.get("found") == 1, "called off: the bar comes into view")
    t0 = time.time()
    for window in ("TTrayIconWindow", h.APP_CLASS):
        h.driver("post", window, "--exe", prog.path, "WM_ENDSESSION", 0, 0)
    code = prog.wait_exit(15)
    case.check(code == 0, "called off: the run ends with exit code 0",
               "exit code %s, %.2f s after the message" % (code, time.time() - t0))
    case.check(prog.read(h.SETTINGS_FILE) == h.settings_bytes(False) and prog.read(h.NOTES_FILE) == h.INITIAL_NOTES,
               "called off: the setting and the notes are saved", "folder holds %s" % prog.files())

    # The notes cannot be written beside the program.
    prog = case.program()
    os.mkdir(prog.file_path(h.NOTES_FILE))
    prog.start()
    bar = prog.wait_bar(timeout=30)
    case.require(bar.get("found") == 1, "notes in the way: the bar comes into view")
    rescues_before = h.rescue_files()
    h.driver("send", h.APP_CLASS, "--exe", prog.path, "WM_ENDSESSION", 1, 0)
    code = prog.wait_exit(10)
    case.check(code == 0, "notes in the way: the session's end ends the program at once, with exit code 0",
               "exit code %s" % code)
    rescued = sorted(h.rescue_files() - rescues_before)
    contents = []
    for path in rescued:
        with open(path, "rb") as f:
            contents.append(f.read())
        os.remove(path)
    case.check(contents == [h.INITIAL_NOTES], "notes in the way: one new rescue file holds the pad's text",
               "%s" % rescued)
    case.check(prog.read(h.SETTINGS_FILE) == h.settings_bytes(False), "notes in the way: the setting is saved")


h.run("session_end", main)
