#!/usr/bin/python3
"""When "关闭程序" cannot save a file, the user is told and the program stays: a settings file that
cannot be written (read-only, or a folder of that name) gives "Unable to write to <path>." and
the notes are saved all the same, byte for byte as they were; a folder named qorla.txt in the way
of the notes gives "Cannot create file "<path>". <reason>" after the setting has been written,
and the notes go to a new file in the temporary folder that the report names; with both in the
way, the report names both. Once the obstacle is gone, "关闭程序" saves and ends the program.
A close request with neither file writable reports the same way and ends the program once the
report is dismissed: the notes are in the rescue file, and a second run started on them after
the user put them back shows them."""

import os
import re
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


def rescue_of(case, box, what, expected_notes):
    """The report's rescue sentence: the file it names is new in the temporary folder and holds
    the pad's text as a save writes it. Returns the report without that sentence."""
    found = h.rescued_notes(box["text"])
    case.require(found is not None, "%s: the report says where the notes were saved instead" % what, box["text"])
    rest, windows, here = found
    name = windows.rsplit("\\", 1)[-1]
    case.check(re.fullmatch(re.escape(h.NOTES_FILE) + r"\.rescued-\d{8}-\d{6}(-\d+)?", name) is not None,
               "%s: the rescue file is named \"qorla.txt.rescued-<date>-<time>\"" % what, windows)
    try:
        with open(here, "rb") as f:
            rescued = f.read()
    except OSError as e:
        rescued = e
    case.check(rescued == expected_notes, "%s: the rescue file holds the pad's text" % what, repr(rescued)[:80])
    return rest, here


def stays_after_ok(case, prog, what):
    pressed = h.driver("msgbox-ok", "--exe", prog.path, "--timeout", 2000)
    case.check(pressed.ok, "%s: OK closes the report" % what)
    time.sleep(1.0)
    case.check(prog.proc.poll() is None and prog.find().get("visible") == 1,
               "%s: after OK the program runs on, the bar is still there" % what)


# The user's notes from earlier runs, in code page 936: "买入 2300" and "止损"
USER_NOTES = b"\xc2\xf2\xc8\xeb 2300\r\n\xd6\xb9\xcb\xf0\r\n"


def read_only_settings(case, prog):
    with open(prog.file_path(h.SETTINGS_FILE), "wb") as f:
        f.write(h.settings_bytes(True))
    r = h.driver("attrib", prog.file_path(h.SETTINGS_FILE), "+r")
    case.require(r.ok and r["readonly"] == 1, "%s is read-only for Windows programs" % h.SETTINGS_FILE)


def settings_folder(case, prog):
    os.mkdir(prog.file_path(h.SETTINGS_FILE))


def settings_unwritable(case):
    for label, obstacle in (("read-only setting", read_only_settings), ("a folder named GoldCfg.ini", settings_folder)):
        def prepare(prog):
            obstacle(case, prog)
            with open(prog.file_path(h.NOTES_FILE), "wb") as f:
                f.write(USER_NOTES)
        prog = start(case, prepare)
        before = prog.read(h.SETTINGS_FILE)
        notes_inode = os.stat(prog.file_path(h.NOTES_FILE)).st_ino
        box = close_and_read_report(case, prog, "settings-%s" % label)
        expected = "Unable to write to %s." % h.windows_path(prog.file_path(h.SETTINGS_FILE))
        case.check(box["title"] == "Project1", "%s: the report's caption is the application title" % label,
                   box["title"])
        case.check(box["text"] == expected, "%s: the report reads \"Unable to write to <path>.\"" % label,
                   box["text"])
        case.check(box["buttons"] == 1 and box["button0.id"] == 1, "%s: the report has one button, OK" % label,
                   "%s button(s)" % box["buttons"])
        # The save puts a new file in the old one's place.
        case.check(os.stat(prog.file_path(h.NOTES_FILE)).st_ino != notes_inode and
                   prog.read(h.NOTES_FILE) == USER_NOTES,
                   "%s: the notes are saved all the same, byte for byte as they were" % label,
                   repr(prog.read(h.NOTES_FILE)))
        stays_after_ok(case, prog, label)
        prog.stop()
        case.check(prog.read(h.SETTINGS_FILE) == before and os.path.exists(prog.file_path(h.SETTINGS_FILE)),
                   "%s: after the end, the settings file is untouched" % label)
        case.check(prog.read(h.NOTES_FILE) == USER_NOTES and
                   prog.files() == sorted([os.path.basename(prog.path), h.SETTINGS_FILE, h.NOTES_FILE]),
                   "%s: after the end, the notes lie beside the program as they were, and nothing else" % label,
                   "folder holds %s" % prog.files())


def both_in_the_way(case):
    def prepare(prog):
        read_only_settings(case, prog)
        os.mkdir(prog.file_path(h.NOTES_FILE))

    prog = start(case, prepare)
    box = close_and_read_report(case, prog, "both")
    reason = h.driver("errtext", ACCESS_DENIED)["text"].rstrip(" \r\n.")
    expected = "Unable to write to %s.\r\nCannot create file \"%s\". %s." % (
        h.windows_path(prog.file_path(h.SETTINGS_FILE)), h.windows_path(prog.file_path(h.NOTES_FILE)), reason)
    report, rescued = rescue_of(case, box, "both in the way", h.INITIAL_NOTES)
    case.check(report == expected, "both in the way: one report names both files", box["text"])
    stays_after_ok(case, prog, "both in the way")
    prog.stop()
    os.remove(rescued)


def notes_in_the_way(case):
    def prepare(prog):
        os.mkdir(prog.file_path(h.NOTES_FILE))

    prog = start(case, prepare)
    box = close_and_read_report(case, prog, "notes")
    reason = h.driver("errtext", ACCESS_DENIED)["text"].rstrip(" \r\n.")
    expected = "Cannot create file \"%s\". %s." % (h.windows_path(prog.file_path(h.NOTES_FILE)), reason)
    report, rescued = rescue_of(case, box, "notes in the way", h.INITIAL_NOTES)
    os.remove(rescued)
    case.check(box["title"] == "Project1", "the report's caption is the application title", box["title"])
    case.check(report == expected, "the report reads \"Cannot create file \"<path>\". <reason>\"",
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


def read_only(case, prog, name, on):
    r = h.driver("attrib", prog.file_path(name), "+r" if on else "-r")
    case.require(r.ok and r["readonly"] == (1 if on else 0),
                 "%s is %s for Windows programs" % (name, "read-only" if on else "writable"))


def close_request_ends_all_the_same(case):
    def prepare(prog):
        read_only_settings(case, prog)
        with open(prog.file_path(h.NOTES_FILE), "wb") as f:
            f.write(USER_NOTES)
        read_only(case, prog, h.NOTES_FILE, True)

    prog = start(case, prepare)
    settings_before = prog.read(h.SETTINGS_FILE)
    case.require(h.driver("post", h.BAR_CLASS, "--exe", prog.path, "WM_CLOSE").ok, "close request: it is sent")
    box = h.driver("msgbox", "--exe", prog.path, "--timeout", 5000)
    case.require(box.ok, "close request: a message box reports the failure")
    case.screenshot("report-close-request")
    reason = h.driver("errtext", ACCESS_DENIED)["text"].rstrip(" \r\n.")
    expected = "Unable to write to %s.\r\nCannot create file \"%s\". %s." % (
        h.windows_path(prog.file_path(h.SETTINGS_FILE)), h.windows_path(prog.file_path(h.NOTES_FILE)), reason)
    report, rescued = rescue_of(case, box, "close request", USER_NOTES)
    case.check(report == expected, "close request: the report names both files", box["text"])
    case.check(prog.proc.poll() is None, "close request: the program waits while the report is up")
    case.require(h.driver("msgbox-ok", "--exe", prog.path, "--timeout", 2000).ok, "close request: OK closes the report")
    code = prog.wait_exit(10)
    case.check(code == 0, "close request: once the report is dismissed, the program ends with exit code 0",
               "exit code %s" % code)
    case.check(prog.read(h.SETTINGS_FILE) == settings_before and prog.read(h.NOTES_FILE) == USER_NOTES and
               prog.files() == sorted([os.path.basename(prog.path), h.SETTINGS_FILE, h.NOTES_FILE]),
               "close request: both files are as they were, and nothing else is beside the program",
               "folder holds %s" % prog.files())

    # The user puts the rescued notes in place of the old ones and starts the program again.
    read_only(case, prog, h.SETTINGS_FILE, False)
    read_only(case, prog, h.NOTES_FILE, False)
    shutil.copyfile(rescued, prog.file_path(h.NOTES_FILE))
    os.remove(rescued)
    again = case.program(same_folder_as=prog)
    again.start()
    case.require(again.wait_bar(timeout=30).get("found") == 1, "second run: the bar comes into view")
    kids = h.driver("children", h.PORTAL_CLASS, "--exe", again.path)
    pads = [c for c in h._blocks(kids, "count", "c") if c["class"].upper() == "EDIT"]
    case.check(len(pads) == 1 and pads[0]["text"] == USER_NOTES.decode(h.NOTES_ENCODING),
               "second run: the pad holds the rescued notes", repr([p["text"] for p in pads]))
    case.require(h.driver("post", h.BAR_CLASS, "--exe", again.path, "WM_CLOSE").ok, "second run: a close request")
    code = again.wait_exit(10)
    case.check(code == 0, "second run: the close request ends it with exit code 0", "exit code %s" % code)
    case.check(again.read(h.NOTES_FILE) == USER_NOTES and
               again.files() == sorted([os.path.basename(again.path), h.SETTINGS_FILE, h.NOTES_FILE]),
               "second run: the notes are saved beside the program, and nothing is kept aside",
               "folder holds %s" % again.files())


def main(case):
    case.server(body="2345.67R|5678.90U")
    settings_unwritable(case)
    notes_in_the_way(case)
    both_in_the_way(case)
    close_request_ends_all_the_same(case)


h.run("settings_write_failure", main)
