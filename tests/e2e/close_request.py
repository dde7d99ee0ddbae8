#!/usr/bin/python3
"""A close request ends the program like "关闭程序": it writes the setting and the notes beside
the program and ends it with exit code 0. Sent to the bar window, sent to the hidden
application window, and typed as Alt+F4 on the bar. A notes file whose bytes the pad cannot give
back is found byte for byte beside the program after such an end without an edit. Where the
notes file is a link to a file elsewhere, the save writes that file and the link stays."""

import os
import shutil
import tempfile
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


# (what, the file's bytes, what the save writes of the unedited pad, or None where the platform
# decides what a cut character shows as)
UNEXACT_NOTES = [
    ("UTF-8 without a mark, \"你\" at a line end", b"buy 2300\r\n\xe4\xbd\xa0\r\n",
     "buy 2300\r\n你\r\n".encode(h.NOTES_ENCODING)),
    ("cut after a GBK lead byte", b"\xd6\xd0\xce\xc4 2300\r\n\xd6", None),
    ("NUL bytes", b"gold\x00\x002300\r\nsilver", b"gold  2300\r\nsilver"),
]


def unexact_notes_are_kept(case, what, original, saved):
    prog = case.program()
    prog.keep_portal_closed()
    with open(prog.file_path(h.NOTES_FILE), "wb") as f:
        f.write(original)
    prog.start()
    bar = prog.wait_bar(timeout=30)
    case.require(bar.get("found") == 1, "%s: the bar comes into view" % what)
    case.require(h.driver("post", h.BAR_CLASS, "--exe", prog.path, "WM_CLOSE").ok, "%s: the request is made" % what)
    code = prog.wait_exit(15)
    case.check(code == 0, "%s: the program ends with exit code 0" % what, "exit code %s" % code)
    kept = [n for n in prog.files() if n.startswith(h.NOTES_FILE + ".unloaded-")]
    case.check(len(kept) == 1 and prog.read(kept[0]) == original,
               "%s: the original is found byte for byte beside the program" % what,
               "kept %s" % [(n, prog.read(n)) for n in kept])
    notes = prog.read(h.NOTES_FILE)
    case.check(notes is not None and (saved is None or notes == saved),
               "%s: %s holds what the pad showed" % (what, h.NOTES_FILE), repr(notes))
    case.check(len(prog.files()) == 4, "%s: nothing else is left beside the program" % what,
               "folder holds %s" % prog.files())


def notes_behind_a_link(case):
    # The notes kept in another folder (a synced one, say), linked from beside the program.
    elsewhere = tempfile.mkdtemp(prefix=h.TEMP_PREFIX)
    try:
        target = os.path.join(elsewhere, "notes.txt")
        notes = b"\xd6\xd0\xce\xc4 2300\r\n"  # "中文 2300" in code page 936
        with open(target, "wb") as f:
            f.write(notes)
        prog = case.program()
        prog.keep_portal_closed()
        os.symlink(target, prog.file_path(h.NOTES_FILE))
        prog.start()
        case.require(prog.wait_bar(timeout=30).get("found") == 1, "link: the bar comes into view")
        case.require(h.driver("post", h.BAR_CLASS, "--exe", prog.path, "WM_CLOSE").ok, "link: the request is made")
        code = prog.wait_exit(15)
        case.check(code == 0, "link: the program ends with exit code 0", "exit code %s" % code)
        link = prog.file_path(h.NOTES_FILE)
        case.check(os.path.islink(link) and os.readlink(link) == target,
                   "link: %s is still the link to the notes elsewhere" % h.NOTES_FILE,
                   "a link: %s" % os.path.islink(link))
        with open(target, "rb") as f:
            saved = f.read()
        case.check(saved == notes and sorted(os.listdir(elsewhere)) == ["notes.txt"],
                   "link: the file it leads to holds the notes, and nothing else is left beside it",
                   "%r, folder holds %s" % (saved, sorted(os.listdir(elsewhere))))
    finally:
        shutil.rmtree(elsewhere, ignore_errors=True)


def main(case):
    case.server(body="2345.67R|5678.90U")
    notes_behind_a_link(case)
    close_via(case, "WM_CLOSE to the bar", post_close(h.BAR_CLASS))
    close_via(case, "WM_CLOSE to the application window", post_close(h.APP_CLASS))
    close_via(case, "Alt+F4 on the bar", alt_f4)
    for what, original, saved in UNEXACT_NOTES:
        unexact_notes_are_kept(case, what, original, saved)


h.run("close_request", main)
