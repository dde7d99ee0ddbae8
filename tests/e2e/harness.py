"""Helpers for the end-to-end tests: the real program under Wine in the tests' display,
a loopback quote server, the window driver, screenshots and pixel checks.

A test is a script:

    import harness as h

    def main(case):
        server = case.server(body="2345.67R|5678.90U")
        prog = case.program()
        prog.start()
        bar = prog.wait_bar()
        case.check(bar["visible"] == 1, "the bar is visible")

    h.run("bar_example", main)

`run` creates the case, runs `main`, stops every program and server the case started,
makes sure no window of them is left, prints a summary and exits 0 only when every
check passed. Screenshots and logs go to <build>/tests/e2e/artifacts/<name>/; they are
removed after a passing run unless TICKER_KEEP_ARTIFACTS=1, and kept after a failing one.
"""

import glob
import json
import os
import re
import shlex
import shutil
import signal
import socket
import subprocess
import sys
import tempfile
import time
import traceback
import urllib.request

from PIL import Image, ImageGrab

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.abspath(os.path.join(HERE, "..", ".."))
BUILD = os.environ.get("TICKER_BUILD_DIR", os.path.join(ROOT, "build", "win64"))
PROGRAM_EXE = os.environ.get("TICKER_PROGRAM_EXE", os.path.join(BUILD, "src", "app", "Project1.exe"))
DRIVER_EXE = os.environ.get("TICKER_DRIVER_EXE", os.path.join(BUILD, "tests", "support", "ticker_driver.exe"))
SERVER_PY = os.path.join(ROOT, "tests", "support", "quote_server.py")
WINE_ENV = os.path.join(ROOT, "scripts", "wine-env")


def _printed_environment():
    """The variables `wine-env print` gives: the display, the prefix, Wine's loader and server."""
    printed = subprocess.run([WINE_ENV, "print"], capture_output=True, text=True, check=True).stdout
    variables = {}
    for word in shlex.split(printed):
        if "=" in word and word != "export":
            k, _, v = word.partition("=")
            variables[k] = v
    return variables


_PRINTED = _printed_environment()
WINE64 = _PRINTED["TICKER_WINE"]
PYTHON = "/usr/bin/python3"
CJK_FONT = "/usr/share/fonts/truetype/wqy/wqy-zenhei.ttc"

QUOTE_PORT = 18631          # the test build asks 127.0.0.1:18631 for its quotes
QUOTE_PATH = "/wap/ruanjian/abc.php"
TEMP_PREFIX = "ticker-e2e-"  # every program copy lives in a folder named like this

# The bar as the user sees it: its size, and where its parts are drawn (bar coordinates).
BAR_CLASS = "TForm1"
PORTAL_CLASS = "TForm2"
APP_CLASS = "TApplication"
BAR_SIZE = (286, 31)
GOLD_CAPTION = (8, 10)
GOLD_FIGURE = (62, 8)
SILVER_CAPTION = (132, 10)
SILVER_FIGURE = (186, 8)
DOT = (275, 21, 8, 8)  # left, top, width, height
BLINK_S = 1.2
REFRESH_S = 20.0

# The two files the program keeps beside itself, and what a run that found neither writes.
SETTINGS_FILE = "GoldCfg.ini"
NOTES_FILE = "qorla.txt"
SITE = "http://127.0.0.1:%d" % QUOTE_PORT
HOME_REQUEST = b"GET / HTTP/1.1\r\n"  # the home page has no path: the browser asks for "/"
NOTES_ENCODING = "gbk"  # the ANSI code page of the tests' prefix, 936
INITIAL_NOTES = ("\r\n" + "如果您发现本软件不能正常使用，请下载最新版本或者查看通知：" + SITE + "/html/notice.html"
                 + "\r\n\r\n\r\n" + "您的交易计划与备忘录：\r\n" + "=" * 35 + "\r\n").encode(NOTES_ENCODING)


def settings_bytes(checked):
    """The settings file as the program writes it when it finds none."""
    return b"[ShowForm]\r\nShow=%d\r\n" % (1 if checked else 0)


# ---- small utilities -------------------------------------------------------------

def wait_until(fn, timeout, interval=0.05):
    """Calls fn until it returns something true or the time is up; returns the last value."""
    end = time.monotonic() + timeout
    while True:
        value = fn()
        if value or time.monotonic() >= end:
            return value
        time.sleep(interval)


def free_port():
    s = socket.socket()
    s.bind(("127.0.0.1", 0))
    port = s.getsockname()[1]
    s.close()
    return port


def port_listening(port):
    try:
        with socket.create_connection(("127.0.0.1", port), timeout=0.3):
            return True
    except OSError:
        return False


def wait_for_free_port(port, timeout=60):
    """Another run that uses the quote port (outside this test's lock) gets a minute to end."""
    if not port_listening(port):
        return True
    print("      waiting for 127.0.0.1:%d to be free" % port, flush=True)
    return wait_until(lambda: not port_listening(port), timeout, 0.5)


def _unescape(value):
    out, i = [], 0
    while i < len(value):
        c = value[i]
        if c == "\\" and i + 1 < len(value):
            out.append({"n": "\n", "r": "\r", "t": "\t", "\\": "\\"}.get(value[i + 1], value[i + 1]))
            i += 2
        else:
            out.append(c)
            i += 1
    return "".join(out)


def _number(value):
    try:
        return int(value, 0) if value.startswith("0x") else int(value)
    except ValueError:
        try:
            return float(value)
        except ValueError:
            return value


# ---- the display and Wine ---------------------------------------------------------

_ENV = None


def wine_environment():
    """The environment of the tests' display and prefix; starts them when they are down."""
    global _ENV
    if _ENV is not None:
        return _ENV
    env = dict(os.environ)
    env.update(_PRINTED)
    # "start" is cheap when everything runs already; it also brings the prefix up to date.
    starter = subprocess.Popen([WINE_ENV, "start"], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                               start_new_session=True)
    try:
        starter.wait(300)
    except subprocess.TimeoutExpired:
        os.killpg(starter.pid, signal.SIGKILL)
        starter.wait()
    display_up = subprocess.run(["xdpyinfo", "-display", env["DISPLAY"]], capture_output=True).returncode == 0
    prefix_ready = os.path.exists(os.path.join(env["WINEPREFIX"], ".ticker-ready"))
    if starter.returncode != 0 and not (display_up and prefix_ready):
        raise RuntimeError("the tests' display and Wine prefix could not be started (wine-env start)")
    _ENV = env
    return env


def display():
    return wine_environment()["DISPLAY"]


class DriverResult:
    def __init__(self, rc, stdout, stderr):
        self.rc = rc
        self.stdout = stdout
        self.stderr = stderr
        self.values = {}
        for line in stdout.splitlines():
            key, sep, value = line.partition("=")
            if sep:
                self.values[key] = _number(_unescape(value))

    def __getitem__(self, key):
        return self.values[key]

    def get(self, key, default=None):
        return self.values.get(key, default)

    @property
    def ok(self):
        return self.rc == 0

    def __repr__(self):
        return "DriverResult(rc=%d, %r)" % (self.rc, self.values)


def driver(*args, timeout=60):
    """Runs the window driver with the arguments; returns its key=value findings."""
    env = wine_environment()
    # Output goes through files, not pipes: a Wine helper that the driver happens to start
    # (the desktop process) inherits them and would hold a pipe open long after the driver ended.
    with tempfile.TemporaryFile() as out, tempfile.TemporaryFile() as err:
        p = subprocess.run([WINE64, DRIVER_EXE] + [str(a) for a in args], env=env, stdout=out, stderr=err,
                           stdin=subprocess.DEVNULL, timeout=timeout)
        out.seek(0)
        err.seek(0)
        return DriverResult(p.returncode, out.read().decode("utf-8", "replace"),
                            err.read().decode("utf-8", "replace"))


def xdotool(*args):
    env = wine_environment()
    subprocess.run(["xdotool"] + [str(a) for a in args], env=env, check=True, timeout=20)


def _blocks(r, key, letter):
    return [{k[len(p):]: v for k, v in r.values.items() if k.startswith(p)}
            for p in ("%s%d." % (letter, i) for i in range(r.get(key, 0)))]


def tray_icons():
    """The icons in Wine's tray window "Wine System Tray": one dict each (hwnd, visible, left,
    top, width, height)."""
    return _blocks(driver("tray"), "count", "i")


def tray_tooltips():
    """The tray's tooltip windows: one dict each (hwnd, visible, text, left, top, width, height)."""
    return _blocks(driver("tray"), "tooltips", "t")


def icon_centre(icon):
    return icon["left"] + icon["width"] // 2, icon["top"] + icon["height"] // 2


def windows_path(path):
    """The path as the program sees it under Wine: Z: and backslashes."""
    return "Z:" + os.path.abspath(path).replace("/", "\\")


def unix_path(path):
    """Where a Windows path of the program's (a drive letter and backslashes) lies on this
    machine: through the prefix's drive links."""
    drive, rest = path[:2].lower(), path[2:].lstrip("\\").replace("\\", "/")
    return os.path.join(wine_environment()["WINEPREFIX"], "dosdevices", drive, rest)


RESCUED_SENTENCE = re.compile(r' The notes have been saved to "([^"]*)" instead\.$')


def rescued_notes(report):
    """The rescue file that a report names ("... The notes have been saved to "<path>" instead."),
    as (the report without that sentence, the Windows path, the path here); None when it names
    none."""
    m = RESCUED_SENTENCE.search(report)
    if not m:
        return None
    return report[:m.start()], m.group(1), unix_path(m.group(1))


def rescue_files():
    """The rescue files of notes in the users' temporary folders of the prefix, as paths here."""
    users = os.path.join(wine_environment()["WINEPREFIX"], "drive_c", "users")
    found = set()
    for temp in ("Temp", os.path.join("AppData", "Local", "Temp")):
        found.update(glob.glob(os.path.join(users, "*", temp, NOTES_FILE + ".rescued-*")))
    return found


def park_pointer(x=1900, y=1060):
    """Moves the pointer into a corner, away from the bar; returns where it is then.
    The display resets itself, pointer included (back to the centre, over the bar), whenever
    its last client leaves, so this only lasts while a program of the test is running."""
    env = wine_environment()
    subprocess.run(["xdotool", "mousemove", str(x), str(y)], env=env, check=True, timeout=10)
    out = subprocess.run(["xdotool", "getmouselocation"], env=env, capture_output=True, text=True,
                         timeout=10).stdout
    m = re.match(r"x:(-?\d+) y:(-?\d+)", out)
    return (int(m.group(1)), int(m.group(2))) if m else None


def screenshot(path):
    """The whole screen through ImageMagick, saved to path; returns it as an RGB image."""
    env = wine_environment()
    subprocess.run(["import", "-window", "root", "-display", env["DISPLAY"], path], env=env, check=True,
                   timeout=30)
    return Image.open(path).convert("RGB")


def grab(box):
    """A fast grab of the screen area box = (left, top, right, bottom)."""
    return ImageGrab.grab(bbox=box, xdisplay=display()).convert("RGB")


def x_windows_above(pid, rect):
    """The names of shown X windows stacked above the X window of process pid at rect
    (left, top, width, height) that overlap it."""
    env = wine_environment()
    listing = subprocess.run(["xwininfo", "-root", "-children"], env=env, capture_output=True, text=True,
                             timeout=10).stdout
    # Children are listed from the top of the stack down.
    pattern = re.compile(r"^\s+(0x[0-9a-f]+) (.*?)\s+(\d+)x(\d+)\+(-?\d+)\+(-?\d+)\s+\+(-?\d+)\+(-?\d+)\s*$")
    x, y, w, h = rect
    above = []
    for line in listing.splitlines():
        m = pattern.match(line)
        if not m:
            continue
        wid, name = m.group(1), m.group(2)
        ww, wh, wx, wy = int(m.group(3)), int(m.group(4)), int(m.group(7)), int(m.group(8))
        if (wx, wy, ww, wh) == (x, y, w, h) and _x_pid(wid, env) == pid:
            return above
        overlaps = wx < x + w and x < wx + ww and wy < y + h and y < wy + wh
        if overlaps and "IsViewable" in subprocess.run(["xwininfo", "-id", wid], env=env, capture_output=True,
                                                       text=True, timeout=10).stdout:
            above.append(name.split(":")[0] or wid)
    return ["(the bar's own X window was not found)"]


def _x_pid(wid, env):
    out = subprocess.run(["xprop", "-id", wid, "_NET_WM_PID"], env=env, capture_output=True, text=True,
                         timeout=10).stdout
    m = re.search(r"=\s*(\d+)", out)
    return int(m.group(1)) if m else None


# ---- the pointer and the keyboard, as the user works them ----------------------------

DRAG_STEP_S = 0.05   # a drag moves the pointer in small steps: Wine's own move loop follows
                     # each step, while one big jump would move the window by its first part only


def xdo(*args, timeout=60):
    """Runs xdotool in the tests' display."""
    subprocess.run(["xdotool"] + [str(a) for a in args], env=wine_environment(), check=True, timeout=timeout)


def pointer():
    out = subprocess.run(["xdotool", "getmouselocation"], env=wine_environment(), capture_output=True, text=True,
                         timeout=10).stdout
    m = re.match(r"x:(-?\d+) y:(-?\d+)", out)
    return (int(m.group(1)), int(m.group(2))) if m else None


def move_pointer(x, y):
    xdo("mousemove", x, y)


def pointer_steps(steps, step_s=DRAG_STEP_S):
    """Moves the pointer by each (dx, dy) of steps, one step every step_s seconds, in one xdotool run."""
    args = []
    for dx, dy in steps:
        args += ["mousemove_relative", "--", dx, dy, "sleep", step_s]
    if args:
        xdo(*args, timeout=30 + len(steps) * (step_s + 0.1))


def drag(start, steps, button=1, keys=(), step_s=DRAG_STEP_S, settle_s=0.15):
    """A drag with the mouse: holds the keys, presses the button at start (screen point), moves the
    pointer by the steps, releases the button and then the keys."""
    move_pointer(*start)
    time.sleep(settle_s)
    for k in keys:
        xdo("keydown", k)
    try:
        xdo("mousedown", button)
        time.sleep(step_s)
        pointer_steps(steps, step_s)
        time.sleep(step_s)
        xdo("mouseup", button)
    finally:
        for k in reversed(keys):
            xdo("keyup", k)
    time.sleep(settle_s)


class Tracker:
    """The driver watching one window (its rectangle, its visibility and the cursor) from beside
    the test, every few milliseconds, while the test acts. Its times are milliseconds on the
    driver's own clock from the moment tracking began; mark() turns "now" into an upper bound
    on that clock, so a delay measured from a mark is never shorter than the real one."""

    def __init__(self, artifacts, cls, exe, timeout_s=10.0, until=None):
        env = wine_environment()
        self.stop_file = tempfile.mktemp(prefix="track-stop-", dir=artifacts)
        self.out_path = tempfile.mktemp(prefix="track-", suffix=".txt", dir=artifacts)
        args = [WINE64, DRIVER_EXE, "track", cls, "--exe", exe, "--timeout", int(timeout_s * 1000),
                "--stop-file", self.stop_file]
        if until is not None:
            args += ["--until", until[0], until[1]]
        self.timeout_s = timeout_s
        with open(self.out_path, "wb") as out:
            self.proc = subprocess.Popen([str(a) for a in args], env=env, stdout=out, stderr=subprocess.DEVNULL,
                                         stdin=subprocess.DEVNULL)
        ready = wait_until(lambda: self._text().find("ready=1") >= 0 or self.proc.poll() is not None, 30, 0.002)
        self.ready_at = time.monotonic()
        if not ready or "ready=1" not in self._text():
            self.proc.kill()
            raise RuntimeError("the driver could not track %s: %s" % (cls, self._text()))
        self.events = None
        self.values = {}

    def _text(self):
        try:
            with open(self.out_path, "rb") as f:
                return f.read().decode("utf-8", "replace")
        except OSError:
            return ""

    def mark(self):
        """Now, on the driver's clock (ms), at the latest."""
        return (time.monotonic() - self.ready_at) * 1000.0

    def monotonic(self, ms):
        """A time on the driver's clock as time.monotonic() (a few ms late at most), to put the
        events of two trackers in order."""
        return self.ready_at + ms / 1000.0

    def clock(self, ms):
        """A time of this tracker on the machine's performance counter (ms), the clock of the
        driver's *_clock_ms findings."""
        self.result()
        return self.values["start_clock_ms"] + ms

    def stop(self):
        open(self.stop_file, "w").close()
        return self.result()

    def result(self):
        """Waits for the tracking to end; returns the list of changes, each a dict with ms, left, top,
        right, bottom, visible, cx, cy (the first entry is the state when tracking began)."""
        if self.events is not None:
            return self.events
        try:
            self.proc.wait(self.timeout_s + 30)
        except subprocess.TimeoutExpired:
            self.proc.kill()
            self.proc.wait()
        r = DriverResult(self.proc.returncode, self._text(), "")
        self.values = r.values
        self.events = []
        for i in range(r.get("events", 0)):
            ms, left, top, right, bottom, visible, cx, cy = str(r["e%d" % i]).split()
            self.events.append({"ms": float(ms), "left": int(left), "top": int(top), "right": int(right),
                                "bottom": int(bottom), "visible": int(visible), "cx": int(cx), "cy": int(cy)})
        for path in (self.stop_file, self.out_path):
            try:
                os.remove(path)
            except OSError:
                pass
        return self.events

    @property
    def reached(self):
        return self.values.get("reached") == 1

    def positions(self):
        """The distinct top-left corners the window went through, in order."""
        out = []
        for e in self.result():
            p = (e["left"], e["top"])
            if not out or out[-1] != p:
                out.append(p)
        return out

    def first_at(self, left, top, after_ms=0.0):
        """When the window first stood at left, top (ms), at or after after_ms; None if never."""
        for e in self.result():
            if e["ms"] >= after_ms and (e["left"], e["top"]) == (left, top):
                return e["ms"]
        return None


# ---- pixels -----------------------------------------------------------------------

def ink_mask(img, box, threshold=150):
    """Where text is drawn on the bar's blue picture: the picture's red stays below 100
    between its top and bottom edges, the near-white text lifts it far above."""
    left, top, right, bottom = box
    return [[img.getpixel((x, y))[0] >= threshold for x in range(left, right)] for y in range(top, bottom)]


def components(mask):
    """Connected ink areas (8-neighbourhood), each as a dict with its box and pixel count,
    ordered from left to right."""
    h = len(mask)
    w = len(mask[0]) if h else 0
    seen = [[False] * w for _ in range(h)]
    found = []
    for y0 in range(h):
        for x0 in range(w):
            if not mask[y0][x0] or seen[y0][x0]:
                continue
            stack, pixels = [(x0, y0)], []
            seen[y0][x0] = True
            while stack:
                x, y = stack.pop()
                pixels.append((x, y))
                for dy in (-1, 0, 1):
                    for dx in (-1, 0, 1):
                        nx, ny = x + dx, y + dy
                        if 0 <= nx < w and 0 <= ny < h and mask[ny][nx] and not seen[ny][nx]:
                            seen[ny][nx] = True
                            stack.append((nx, ny))
            xs = [p[0] for p in pixels]
            ys = [p[1] for p in pixels]
            found.append({"left": min(xs), "top": min(ys), "right": max(xs) + 1, "bottom": max(ys) + 1,
                          "width": max(xs) - min(xs) + 1, "height": max(ys) - min(ys) + 1,
                          "pixels": len(pixels)})
    found.sort(key=lambda c: (c["left"], c["top"]))
    return found


def mask_text(mask):
    return "\n".join("".join("#" if v else "." for v in row) for row in mask)


def ink_count(mask):
    return sum(sum(1 for v in row if v) for row in mask)


def placeholder_shape(comps):
    """True when the ink reads as two dashes, a full stop and two dashes ("--.--"):
    four flat strokes on one line and a small dot below their line, in the middle."""
    if len(comps) != 5:
        return False
    dashes = [comps[i] for i in (0, 1, 3, 4)]
    dot = comps[2]
    flat = all(d["height"] <= 3 and d["width"] >= 3 and d["width"] >= 2 * d["height"] for d in dashes)
    one_line = max(d["top"] for d in dashes) - min(d["top"] for d in dashes) <= 1
    small_dot = dot["width"] <= 3 and dot["height"] <= 3
    below = dot["top"] > max(d["bottom"] for d in dashes) - 1
    return flat and one_line and small_dot and below


def render_reference(text, pixel_size, path):
    """Draws text in white on black with the CJK font through ImageMagick; returns the ink mask
    (the drawing's own bright pixels) trimmed to its ink."""
    subprocess.run(["/usr/bin/convert", "-size", "%dx%d" % (pixel_size * (len(text) + 2), pixel_size * 3),
                    "xc:black", "-font", CJK_FONT, "-pointsize", str(pixel_size), "-density", "72",
                    "-fill", "white", "-annotate", "+%d+%d" % (pixel_size // 2, pixel_size * 2), text, path],
                   check=True, timeout=30)
    img = Image.open(path).convert("RGB")
    mask = [[img.getpixel((x, y))[0] >= 128 for x in range(img.width)] for y in range(img.height)]
    return trim(mask)


def trim(mask):
    rows = [i for i, row in enumerate(mask) if any(row)]
    cols = [j for j in range(len(mask[0])) if any(row[j] for row in mask)] if mask else []
    if not rows or not cols:
        return []
    return [row[cols[0]:cols[-1] + 1] for row in mask[rows[0]:rows[-1] + 1]]


def hollowness(mask):
    """The share of a glyph's ink that lies on the outline of its own ink box: near 1 for an
    empty rectangle (the missing-glyph box), well below for a real character."""
    m = trim(mask)
    if not m:
        return 1.0
    h, w = len(m), len(m[0])
    total = ink_count(m)
    edge = sum(1 for y in range(h) for x in range(w) if m[y][x] and (y in (0, h - 1) or x in (0, w - 1)))
    return edge / total


def interior_ink(mask, margin=2):
    m = trim(mask)
    if not m:
        return 0
    h, w = len(m), len(m[0])
    return sum(1 for y in range(margin, h - margin) for x in range(margin, w - margin) if m[y][x])


def glyphs_like_reference(drawn, reference, count):
    """Compares the first `count` glyphs of a drawn text's ink with the same text drawn by the
    font itself. For each glyph: its ink, the ink inside its outline and the share of its ink on
    its own outline. An empty box (a missing glyph), a blank, or a narrower replacement such as
    "?" falls short of the reference in ink or in ink inside, or puts most of its ink on the
    outline. Returns [(ok, details)] per glyph."""
    drawn = trim(drawn)
    reference = trim(reference)
    if not drawn or not reference:
        return [(False, "no ink")] * count
    width = len(reference[0])
    lead = [row[:width] + [False] * max(0, width - len(row)) for row in drawn]
    cell = width / count
    out = []
    for i in range(count):
        a, b = int(round(i * cell)), int(round((i + 1) * cell))
        glyph = [row[a:b] for row in lead]
        ref_glyph = [row[a:b] for row in reference]
        ink, ref_ink = ink_count(glyph), ink_count(ref_glyph)
        inner, ref_inner = interior_ink(glyph), interior_ink(ref_glyph)
        hollow, ref_hollow = hollowness(glyph), hollowness(ref_glyph)
        ok = (0.6 * ref_ink <= ink <= 1.8 * ref_ink and inner >= 0.5 * ref_inner
              and hollow <= max(0.6, 1.5 * ref_hollow))
        out.append((ok, "ink %d (the font's own drawing: %d), inside %d (%d), on its outline %.2f (%.2f)" % (
            ink, ref_ink, inner, ref_inner, hollow, ref_hollow)))
    return out


def luminance(rgb):
    r, g, b = rgb[:3]
    return 0.299 * r + 0.587 * g + 0.114 * b


def expected_bar_origin():
    """Where the first show puts the bar: centred on the virtual desktop, each half of the
    desktop's and the bar's size taken on its own (remainders dropped)."""
    screen = driver("screen")
    left = screen["virtual_left"] + screen["virtual_width"] // 2 - BAR_SIZE[0] // 2
    top = screen["virtual_top"] + screen["virtual_height"] // 2 - BAR_SIZE[1] // 2
    return max(left, screen["virtual_left"]), max(top, screen["virtual_top"])


def sample_dot(origin, duration, interval=0.1):
    """Samples the mean colour of the dot's middle (4x4 pixels) for duration seconds;
    returns [(seconds since the first sample, (r, g, b))]."""
    x0, y0 = origin
    dx, dy, dw, dh = DOT
    box = (x0 + dx + dw // 2 - 2, y0 + dy + dh // 2 - 2, x0 + dx + dw // 2 + 2, y0 + dy + dh // 2 + 2)
    samples = []
    t0 = time.monotonic()
    while True:
        t = time.monotonic() - t0
        if t > duration:
            return samples
        img = grab(box)
        px = list(img.getdata())
        samples.append((t, tuple(sum(p[i] for p in px) // len(px) for i in range(3))))
        time.sleep(max(0.0, interval - (time.monotonic() - t0 - t)))


def blink_analysis(samples):
    """Splits the dot samples into a lit (bright) and a dark state by their luminance, and
    finds the moments where the state changes."""
    lums = [luminance(c) for _, c in samples]
    lo, hi = min(lums), max(lums)
    mid = (lo + hi) / 2
    states = [l > mid for l in lums]
    lit = [c for (_, c), s in zip(samples, states) if s]
    dark = [c for (_, c), s in zip(samples, states) if not s]

    def mean(cs):
        return tuple(sum(c[i] for c in cs) // len(cs) for i in range(3)) if cs else None

    changes = [(samples[i - 1][0] + samples[i][0]) / 2 for i in range(1, len(samples)) if states[i] != states[i - 1]]
    intervals = [b - a for a, b in zip(changes, changes[1:])]
    return {"spread": hi - lo, "lit": mean(lit), "dark": mean(dark), "changes": changes, "intervals": intervals,
            "states": "".join("L" if s else "d" for s in states)}


def bright_yellow_green(rgb):
    r, g, b = rgb
    return g >= 180 and r >= 120 and b <= 150 and g > b + 60


def dim_green(rgb):
    r, g, b = rgb
    return g > r and g >= b and luminance(rgb) <= 140


# ---- the quote server ---------------------------------------------------------------

class QuoteServer:
    """quote_server.py as a child process, configured and read through its control port."""

    def __init__(self, artifacts, port=QUOTE_PORT, lifetime=120, **config):
        self.port = port
        self.control_port = free_port()
        self.log = os.path.join(artifacts, "server-requests-%d.jsonl" % self.control_port)
        ready = os.path.join(artifacts, "server-ready-%d" % self.control_port)
        if not wait_for_free_port(port):
            raise RuntimeError("something already listens on 127.0.0.1:%d" % port)
        args = [PYTHON, SERVER_PY, "--port", str(port), "--control-port", str(self.control_port),
                "--lifetime", str(lifetime), "--log", self.log, "--ready-file", ready]
        with open(os.path.join(artifacts, "server-stderr.txt"), "a") as err:
            self.proc = subprocess.Popen(args, stdout=subprocess.DEVNULL, stderr=err)
        if not wait_until(lambda: os.path.exists(ready) or self.proc.poll() is not None, 10):
            raise RuntimeError("the quote server did not come up")
        if self.proc.poll() is not None:
            raise RuntimeError("the quote server ended at once (port %d taken?)" % port)
        if config:
            self.configure(**config)

    def _call(self, method, path, payload=None):
        data = json.dumps(payload).encode() if payload is not None else (b"" if method == "POST" else None)
        req = urllib.request.Request("http://127.0.0.1:%d%s" % (self.control_port, path), data=data,
                                     method=method)
        with urllib.request.urlopen(req, timeout=5) as r:
            return json.loads(r.read().decode("utf-8"))

    def configure(self, **changes):
        return self._call("POST", "/config", changes)

    def state(self):
        return self._call("GET", "/state")

    def requests(self):
        for r in self._call("GET", "/requests"):
            r["bytes"] = r["raw"].encode("latin-1")
            yield r

    def connections(self):
        return self._call("GET", "/connections")

    def request_count(self):
        return self.state()["requests"]

    def quote_requests(self):
        """The quote requests only (the portal's browser asks the same host for its home page)."""
        return [r for r in self.requests() if r["bytes"].startswith(b"GET %s " % QUOTE_PATH.encode())]

    def quote_count(self):
        return len(self.quote_requests())

    def home_requests(self):
        """The browser's requests for the home page."""
        return [r for r in self.requests() if r["bytes"].startswith(HOME_REQUEST)]

    def stop(self):
        if self.proc.poll() is None:
            try:
                self._call("POST", "/quit")
            except OSError:
                pass
            try:
                self.proc.wait(3)
            except subprocess.TimeoutExpired:
                self.proc.kill()
                self.proc.wait(3)


# ---- the program ----------------------------------------------------------------------

class Program:
    """One run of the program, from its own copy in a fresh temporary folder, or from the copy
    of an earlier run (same_folder_as), as a user starts it again."""

    def __init__(self, artifacts, name="Project1.exe", same_folder_as=None):
        if not os.path.exists(PROGRAM_EXE):
            raise RuntimeError("the program is not built: %s" % PROGRAM_EXE)
        if same_folder_as is not None:
            self.folder, self.path = same_folder_as.folder, same_folder_as.path
        else:
            self.folder = tempfile.mkdtemp(prefix=TEMP_PREFIX)
            self.path = os.path.join(self.folder, name)
            shutil.copy2(PROGRAM_EXE, self.path)
        self.artifacts = artifacts
        self.proc = None
        self.started_at = None
        self.exit_code = None

    def keep_portal_closed(self):
        """Puts the setting "不自动弹出此窗口" (checked) beside the program before its start, so the
        portal does not pop up by itself 20 seconds after the start."""
        with open(os.path.join(self.folder, "GoldCfg.ini"), "wb") as f:
            f.write(b"[ShowForm]\r\nShow=1\r\n")

    def track(self, cls=BAR_CLASS, timeout_s=10.0, until=None):
        """Starts watching one of the program's windows; see Tracker."""
        return Tracker(self.artifacts, cls, self.path, timeout_s, until)

    def bar_rect(self):
        """The bar's (left, top, width, height) as Windows has it, or None."""
        r = self.find()
        return (r["left"], r["top"], r["width"], r["height"]) if r.ok else None

    def start(self):
        env = wine_environment()
        # The tray icons that are there already: the run's own is the one that comes.
        self.icons_before = {i["hwnd"] for i in tray_icons()}
        self.icon = None
        out = open(os.path.join(self.artifacts, "program-output.txt"), "ab")
        self.started_at = time.time()
        with out:
            self.proc = subprocess.Popen([WINE64, self.path], cwd=self.folder, env=env, stdout=out,
                                         stderr=subprocess.STDOUT, stdin=subprocess.DEVNULL,
                                         start_new_session=True)
        return self

    def find(self, cls=BAR_CLASS, *extra):
        return driver("find", cls, "--exe", self.path, *extra)

    def wait_window(self, cls=BAR_CLASS, visible=False, timeout=20.0):
        args = ["wait", cls, "--exe", self.path, "--timeout", int(timeout * 1000)]
        if visible:
            args.append("--visible")
        return driver(*args, timeout=timeout + 30)

    def wait_bar(self, timeout=20.0, park=True):
        """Waits until the bar is on screen and then parks the pointer away from it; returns
        the driver's findings (found=0 on time-out)."""
        bar = self.wait_window(BAR_CLASS, visible=True, timeout=timeout)
        if bar.ok and park:
            park_pointer()
        return bar

    def windows(self):
        r = driver("list", "--exe", self.path)
        out = []
        for i in range(r.get("count", 0)):
            p = "w%d." % i
            out.append({k[len(p):]: v for k, v in r.values.items() if k.startswith(p)})
        return out

    def bar_uncovered(self, bar):
        """Whether the bar is what the screen shows at its place; returns (ok, why). Windows sees
        the bar at its corners and its dot, and the X server stacks no shown window over it:
        the two can disagree, and the screen follows the X server."""
        x, y, w, hgt = bar["left"], bar["top"], bar["width"], bar["height"]
        points = [(x + 2, y + 2), (x + w - 3, y + 2), (x + 2, y + hgt - 3), (x + w - 3, y + hgt - 3),
                  (x + DOT[0] + DOT[2] // 2, y + DOT[1] + DOT[3] // 2)]
        for px, py in points:
            r = driver("at", px, py)
            if not r.ok or r["hwnd"] != bar["hwnd"]:
                return False, "Windows shows %s at %d,%d" % (r.get("class"), px, py)
        above = x_windows_above(self.proc.pid, (x, y, w, hgt))
        if above:
            return False, "the X server stacks %s over the bar" % ", ".join(above)
        return True, ""

    def wait_exit(self, timeout):
        try:
            self.exit_code = self.proc.wait(timeout)
        except subprocess.TimeoutExpired:
            return None
        return self.exit_code

    def files(self):
        return sorted(os.listdir(self.folder))

    def file_path(self, name):
        return os.path.join(self.folder, name)

    def read(self, name):
        """The bytes of a file beside the program; None when there is no such file."""
        try:
            with open(self.file_path(name), "rb") as f:
                return f.read()
        except (FileNotFoundError, IsADirectoryError):
            return None

    def wait_tray_icon(self, timeout=10.0):
        """Waits until the run's icon is shown in the shell's tray window; returns it (or None)."""
        def new_icon():
            fresh = [i for i in tray_icons() if i["hwnd"] not in self.icons_before]
            return fresh[0] if len(fresh) == 1 and fresh[0]["visible"] else None
        self.icon = wait_until(new_icon, timeout, 0.1)
        return self.icon

    def tray_icon(self):
        """The run's icon as it is now; None once the shell has deleted it."""
        return next((i for i in tray_icons() if self.icon and i["hwnd"] == self.icon["hwnd"]), None)

    def click_icon(self, button=1, repeat=1):
        """Clicks the run's tray icon through the X server, as a user would."""
        x, y = icon_centre(self.icon)
        xdotool("mousemove", x, y, "sleep", 0.2, "click", "--repeat", repeat, "--delay", 120, button)

    def open_menu(self, timeout=5.0):
        """Right-clicks the run's tray icon; returns the driver's findings on the menu."""
        self.click_icon(3)
        return driver("menu", "--exe", self.path, "--timeout", int(timeout * 1000), timeout=timeout + 30)

    def choose_close(self):
        """Opens the tray menu and picks its last item, "关闭程序", with the keyboard."""
        menu = self.open_menu()
        if menu.ok:
            xdotool("key", "--delay", 150, "Down", "Down", "Return")
        return menu

    def stop(self):
        """Ends the run if it still goes on, and waits until its windows are gone."""
        if self.proc is None:
            return
        if self.proc.poll() is None:
            driver("terminate", "--exe", self.path, timeout=30)
            try:
                self.proc.wait(5)
            except subprocess.TimeoutExpired:
                os.killpg(self.proc.pid, signal.SIGKILL)
                self.proc.wait(5)
        driver("wait-gone", BAR_CLASS, "--exe", self.path, "--timeout", 5000)

    def remove(self):
        shutil.rmtree(self.folder, ignore_errors=True)


def stop_leftovers():
    """Ends programs that an earlier, interrupted test run left behind (only our own copies),
    and removes their folders once they are an hour old."""
    prefix = os.path.join(tempfile.gettempdir(), TEMP_PREFIX)
    for _ in range(10):
        r = driver("terminate", "--exe-prefix", prefix)
        if not r.ok:
            break
    for name in os.listdir(tempfile.gettempdir()):
        path = os.path.join(tempfile.gettempdir(), name)
        if name.startswith(TEMP_PREFIX) and time.time() - os.path.getmtime(path) > 3600:
            shutil.rmtree(path, ignore_errors=True)


# ---- the case ---------------------------------------------------------------------------

class Failed(Exception):
    pass


class Case:
    def __init__(self, name):
        self.name = name
        self.artifacts = os.path.join(BUILD, "tests", "e2e", "artifacts", name)
        shutil.rmtree(self.artifacts, ignore_errors=True)
        os.makedirs(self.artifacts)
        self.failures = []
        self.checks = 0
        self.programs = []
        self.servers = []
        self.t0 = time.monotonic()

    # checks
    def stamp(self):
        return "%5.1fs" % (time.monotonic() - self.t0)

    def note(self, text):
        print("%s       %s" % (self.stamp(), text), flush=True)

    def check(self, condition, what, detail=""):
        self.checks += 1
        if condition:
            print("%s ok    %s%s" % (self.stamp(), what, (" (%s)" % detail) if detail else ""), flush=True)
        else:
            print("%s FAIL  %s%s" % (self.stamp(), what, (": %s" % detail) if detail else ""), flush=True)
            self.failures.append(what)
        return bool(condition)

    def require(self, condition, what, detail=""):
        if not self.check(condition, what, detail):
            raise Failed(what)

    def require_uncovered(self, prog, bar, what="no other window covers the bar"):
        ok, why = prog.bar_uncovered(bar)
        self.require(ok, what, why)

    # resources
    def server(self, **config):
        s = QuoteServer(self.artifacts, **config)
        self.servers.append(s)
        return s

    def program(self, name="Project1.exe", same_folder_as=None):
        p = Program(self.artifacts, name, same_folder_as)
        self.programs.append(p)
        return p

    def start_bar_with_figures(self):
        """A server answering with figures, the program started with the portal kept from
        popping up, and its bar in view and uncovered. Returns (program, bar)."""
        self.server(body="2345.67R|5678.90U")
        prog = self.program()
        prog.keep_portal_closed()
        prog.start()
        bar = prog.wait_bar(timeout=30)
        self.require(bar.get("found") == 1, "the bar comes into view")
        self.require_uncovered(prog, bar, "no other window covers the bar")
        return prog, bar

    def path(self, name):
        return os.path.join(self.artifacts, name)

    def screenshot(self, label):
        return screenshot(self.path("%s.png" % label))

    def save_bar(self, img, origin, label, scale=4):
        """Saves the bar's area of a screenshot, enlarged, for a look by eye."""
        x, y = origin
        crop = img.crop((x, y, x + BAR_SIZE[0], y + BAR_SIZE[1]))
        crop.resize((BAR_SIZE[0] * scale, BAR_SIZE[1] * scale), Image.NEAREST).save(
            self.path("%s-bar-x%d.png" % (label, scale)))
        return crop

    def finish(self):
        for p in self.programs:
            try:
                p.stop()
            except Exception as e:  # the cleanup goes on for the others
                print("      cleanup: %s" % e)
        for s in self.servers:
            s.stop()
        # Runs in one folder share one executable: one look for its windows, one removal.
        for p in {p.path: p for p in self.programs}.values():
            left = driver("list", "--exe", p.path)
            if left.get("count", 0):
                self.check(False, "no window of the run is left behind", "%d left" % left["count"])
            p.remove()


def run(name, main):
    """Runs one test script's main(case) and exits with its verdict."""
    print("== e2e.%s" % name, flush=True)
    # A time-out of the test runner ends the script with SIGTERM: clean up all the same.
    signal.signal(signal.SIGTERM, lambda *_: sys.exit("terminated"))
    case = Case(name)
    crashed = None
    try:
        stop_leftovers()
        others = driver("find", BAR_CLASS)
        if others.ok:
            case.note("warning: another bar is on the display (%s); screenshots may show it" %
                      others.get("exe"))
        main(case)
    except Failed:
        pass
    except (Exception, SystemExit):
        crashed = traceback.format_exc()
        print(crashed, flush=True)
    finally:
        try:
            case.finish()
        except Exception:
            print(traceback.format_exc(), flush=True)
            crashed = crashed or "cleanup failed"
    elapsed = time.monotonic() - case.t0
    passed = not case.failures and not crashed and case.checks > 0
    if case.checks == 0 and not crashed:
        print("FAIL  the test checked nothing", flush=True)
    if passed and os.environ.get("TICKER_KEEP_ARTIFACTS") != "1":
        shutil.rmtree(case.artifacts, ignore_errors=True)
    elif not passed:
        print("      screenshots and logs kept in %s" % case.artifacts, flush=True)
    print("== e2e.%s: %s, %d checks, %.1f s" % (name, "PASS" if passed else "FAIL", case.checks, elapsed),
          flush=True)
    sys.exit(0 if passed else 1)
