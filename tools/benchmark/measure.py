#!/usr/bin/python3
"""The benchmark's measuring run (scripts/benchmark builds first and calls this under the
display lock). Four programs from one x86_64 build, measured in one run under Wine and Xvfb
against the loopback quote server:

  ticker        src/app/Project1.exe
  bare          tools/benchmark/bench_bare.exe: a 286 x 31 topmost window, nothing else
  bare+browser  tools/benchmark/bench_bare_browser.exe: the same, and a hidden window hosting
                the web browser control as the portal does
  bare+timers   tools/benchmark/bench_bare_timers.exe: the bare window with the timers the bar
                must run and nothing else: the 1.2-s blink timer, and once docked (the same
                WM_MOVING that docks the ticker) the 200-ms poll that reads the cursor; it is
                measured in the idle minutes only
  bare+dot      tools/benchmark/bench_bare_dot.exe: bare+timers whose blink also draws the
                dot's 8 x 8 square on the window's own DC, the least a program can do that
                blinks the dot; idle minutes only, reported beside the goal's ratio

Figures:
  start-up        CreateProcess to the first sight of the visible bar (the driver's "launch",
                  which looks every millisecond), 20 runs each on the virtual desktop (10 on
                  the bare screen) after one unmeasured run, interleaved, so that a disturbance
                  of the machine meets all three alike; the quote server answers at once, and
                  the ticker's bar only shows once its first reply is in (it asks before it
                  shows). Timed twice:
                  inside a Wine virtual desktop (driver and program started in it), which
                  manages its windows itself as Windows does, and on the bare Xvfb screen,
                  where Wine waits about 2 s for a window manager when the ticker's first show
                  hides its application window. The goal holds on the virtual desktop.
  responsiveness  SendMessageTimeout(WM_NULL) round trips from the driver, 200 probes 10-20 ms
                  apart: once idle, and once while the ticker's 20-s refresh waits on a server
                  that accepted the request and never answers
  idle cost       CPU time of the Wine process over 60 s, the ticker undocked and then docked
                  at the top edge and slid out of sight; the yardsticks over the same two
                  windows of time, each window once quiet and once while a bounded CPU load
                  (busy processes on all but one CPU, ended by the run) keeps the other cores
                  busy. What a wake-up of a Wine process costs differs between machines, so
                  the goal is a ratio: the ticker against bare+timers, which wakes as often
                  (docked with it) and does nothing more, in each of the four rows. Read from the process's CPU-time clock (clock_gettime on
                  the clock of PID: nanoseconds, every thread, ended ones included); utime +
                  stime in /proc/PID/stat says the same in 10-ms ticks, too coarse for 0.2 %
                  of a minute (120 ms)
  memory          "private memory": the peak of Anonymous in /proc/PID/smaps_rollup, sampled
                  every 0.25 s over the process's life: heap, stacks, bitmaps and the copied
                  sections of PE images (Wine reads MinGW's sections into anonymous memory),
                  i.e. what swap would back, the counterpart of Windows' private bytes. File
                  pages that only this process happens to map (a font file) are page cache and
                  not counted; Private_Clean + Private_Dirty, which counts them, is shown too.
                  Wine's committed address space (VmData) is mostly reservations and says
                  nothing. "working set": VmHWM in /proc/PID/status, the kernel's own peak of
                  the resident set, shared pages (Wine's DLLs, fonts) included, as the Windows
                  working set includes them.
  size            the release PE32 (i686 MinSizeRel) executable's bytes
  floods          a ticker of its own, probed as above (200 round trips) while its 20-s refresh
                  meets a server that keeps data coming: interim "100 Continue" replies every
                  2 ms (within the 64 KiB that the reader allows them), a 1 MiB body sent at
                  full speed (1.5 s into the probes; "|" after the two figures), and a body
                  trickled a byte every 10 ms
  name lookup     a copy of the ticker built with its quote host under ".test" (the
                  --lookup-build tree), started in a mount and network namespace of its own
                  whose /etc/resolv.conf names 127.0.0.1, where a name server reads every
                  question and answers none (Wine looks names up in the program's own
                  process): 100 round trips as above while a refresh's lookup hangs, from the
                  question's arrival on; the plain ticker runs beside it for its memory
  split           tools/benchmark/bench_split.exe under Wine: the bar's split of a 1 MiB reply
                  of "|" (it stops once its two figures are known), median of 15; the whole
                  split and the decoding of the body beside it
"""

import argparse
import ctypes
import datetime
import os
import platform
import shutil
import statistics
import subprocess
import sys
import tempfile
import threading
import time

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.abspath(os.path.join(HERE, "..", ".."))

# Runs per place: a median of 10 moved by up to 0.1x between runs of the same build on the
# virtual desktop, where the goal is judged.
STARTUP_RUNS = {"desktop": 20, "xvfb": 10}
PROBES = 200
PROBE_INTERVAL_MS = 10
PROBE_JITTER_MS = 10
IDLE_S = 60.0
SAMPLE_S = 0.25
QUOTE_BODY = "2345.67R|5678.90U"
BARE_CLASS = "BenchBar"
BAR_SPACING = 40  # the yardsticks' rows below the ticker's bar in the long run
TEMP_PREFIX = "ticker-bench-"
# Start-up is timed twice: inside a Wine virtual desktop, which manages its windows itself as
# Windows does, and straight on the Xvfb screen, where no window manager answers Wine.
DESKTOP = "TickerBench,1920x1080"
STARTUP_PLACES = (("desktop", "Wine virtual desktop %s" % DESKTOP), ("xvfb", "bare Xvfb screen, no window manager"))
# The idle minutes run a second time while this many processes keep the other cores busy.
LOAD_PROCESSES = max(1, (os.cpu_count() or 2) - 1)

GOAL_STARTUP_RATIO = 1.3
GOAL_WAITING_P99_MS = 20.0
ANTI_FREEZE_BOUND_MS = 250.0
GOAL_IDLE_RATIO = 1.2
GOAL_PRIVATE_ABOVE_MIB = 2.0
GOAL_PE32_MIB = 1.5
GOAL_FLOOD_P99_MS = 20.0
GOAL_LOOKUP_P99_MS = 20.0
GOAL_SPLIT_MS = 5.0

FLOOD_QUOTE = "2400.01R|5700.02U"
FLOOD_DEFAULTS = {"mode": "serve", "body": QUOTE_BODY, "delay_ms": 0, "drip_ms": 0, "drip_size": 1,
                  "interim": -1, "interim_ms": 0}
FLOODS = (
    ("interim", "interim replies every 2 ms",
     {"mode": "interim", "interim": 2400, "interim_ms": 2, "body": FLOOD_QUOTE}),
    ("body", "1 MiB body at full speed",
     {"mode": "serve", "delay_ms": 1500, "body": FLOOD_QUOTE + "|" * (1024 * 1024 - len(FLOOD_QUOTE))}),
    ("trickle", "body a byte every 10 ms",
     {"mode": "trickle", "drip_ms": 10, "drip_size": 1, "body": FLOOD_QUOTE + " " * 583}),
)


def parse_args():
    p = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    p.add_argument("--bench-build", default=os.path.join(ROOT, "build", "bench"))
    p.add_argument("--pe32-build", default=os.path.join(ROOT, "build", "win32"))
    p.add_argument("--lookup-build", default=os.path.join(ROOT, "build", "bench-lookup"),
                   help="the ticker built with its quote host under .test, for the hanging name lookup")
    p.add_argument("--startup-only", action="store_true", help="time the start-ups only, print no table")
    p.add_argument("--lookup-only", action="store_true", help="measure the hanging name lookup only, print its rows")
    p.add_argument("--idle-only", action="store_true", help="measure the four idle minutes only, print their rows")
    p.add_argument("--report", help="also write the table here (default: <bench-build>/benchmark-report.txt)")
    return p.parse_args()


ARGS = parse_args()
# The harness takes its program and driver from this build tree.
os.environ["TICKER_BUILD_DIR"] = ARGS.bench_build
sys.path.insert(0, os.path.join(ROOT, "tests", "e2e"))
import harness as h  # noqa: E402


def log(text):
    print("  %s" % text, flush=True)


# ---- the programs -----------------------------------------------------------------------

class Subject:
    """One program of the comparison, copied into a folder of its own."""

    def __init__(self, key, label, exe, cls, shift=0):
        self.key, self.label, self.exe, self.cls = key, label, exe, cls
        # A yardstick's window lies this many pixels below the centred bar in the long run, so
        # that no window covers another's and every dot drawn reaches the screen.
        self.shift = shift
        if not os.path.exists(exe):
            raise RuntimeError("not built: %s" % exe)
        self.folder = tempfile.mkdtemp(prefix=TEMP_PREFIX)
        self.path = os.path.join(self.folder, os.path.basename(exe))
        shutil.copy2(exe, self.path)
        if key == "ticker":
            # "不自动弹出此窗口" checked: the portal does not pop up 20 s after the start.
            with open(os.path.join(self.folder, h.SETTINGS_FILE), "wb") as f:
                f.write(h.settings_bytes(True))
        self.proc = None
        self.sampler = None

    def launch_once(self, desktop=None):
        """One measured start: the driver starts the copy, times it to the visible bar, ends it.
        With a desktop, the driver (and so the program) runs inside that Wine virtual desktop."""
        args = ("launch", self.cls, self.path, "--end", "--timeout", 30000)
        r = desktop_driver(desktop, *args) if desktop else h.driver(*args, timeout=90)
        if not r.ok or r.get("found") != 1:
            raise RuntimeError("%s did not show its bar: %s %s" % (self.label, r.values, r.stderr.strip()))
        return float(r["visible_ms"])

    def start(self):
        """Starts the copy for the long measurements; its Linux process is the one measured."""
        env = dict(h.wine_environment(), BENCH_BAR_SHIFT=str(self.shift))
        self.proc = subprocess.Popen([h.WINE64, self.path], cwd=self.folder, env=env,
                                     stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                                     stdin=subprocess.DEVNULL, start_new_session=True)
        self.sampler = MemorySampler(self.proc.pid)
        self.sampler.start()

    def wait_visible(self, timeout=30.0):
        r = h.driver("wait", self.cls, "--exe", self.path, "--visible", "--timeout", int(timeout * 1000),
                     timeout=timeout + 30)
        if not r.ok:
            raise RuntimeError("%s: no visible bar within %.0f s" % (self.label, timeout))
        # The process is the Windows program itself (wine64 hands over to it in place).
        cmdline = read_text("/proc/%d/cmdline" % self.proc.pid).replace("\0", " ")
        if os.path.basename(self.path).lower() not in cmdline.lower():
            raise RuntimeError("%s: process %d runs %r" % (self.label, self.proc.pid, cmdline))
        return r

    def ping(self):
        r = h.driver("ping", self.cls, "--exe", self.path, "--count", PROBES, "--interval", PROBE_INTERVAL_MS,
                     "--jitter", PROBE_JITTER_MS, "--timeout", 2000, timeout=300)
        if r.get("count") != PROBES:
            raise RuntimeError("%s: the probes failed: %s" % (self.label, r.values))
        samples = [float(v) for v in str(r["samples_ms"]).split(",")]
        return {"p50": r["p50_ms"], "p99": r["p99_ms"], "max": r["max_ms"], "timeouts": r["timeouts"],
                "samples": samples}

    def cpu_s(self):
        return cpu_seconds(self.proc.pid), cpu_ticks_seconds(self.proc.pid)

    def stop(self):
        if self.sampler:
            self.sampler.stop()
        if self.proc is not None and self.proc.poll() is None:
            h.driver("terminate", "--exe", self.path, timeout=30)
            try:
                self.proc.wait(10)
            except subprocess.TimeoutExpired:
                self.proc.kill()
                self.proc.wait(5)

    def remove(self):
        shutil.rmtree(self.folder, ignore_errors=True)


# ---- /proc --------------------------------------------------------------------------------

TICK = os.sysconf("SC_CLK_TCK")


def read_text(path):
    try:
        with open(path, "rb") as f:
            return f.read().decode("utf-8", "replace")
    except OSError:
        return ""


def cpu_seconds(pid):
    """The CPU time of the whole process (every thread, the ended ones too) from its CPU-time
    clock, as clock_getcpuclockid(pid) makes it: the process-wide scheduler clock."""
    return time.clock_gettime_ns(((~pid) << 3) | 2) / 1e9


def cpu_ticks_seconds(pid):
    """utime + stime of the whole process from /proc/PID/stat, in whole clock ticks."""
    stat = read_text("/proc/%d/stat" % pid)
    fields = stat[stat.rindex(")") + 2:].split()
    return (int(fields[11]) + int(fields[12])) / TICK  # fields 14 and 15 of stat


def kib_fields(text, names):
    out = {}
    for line in text.splitlines():
        key, _, rest = line.partition(":")
        if key in names:
            out[key] = int(rest.split()[0])
    return out


class MemorySampler(threading.Thread):
    """Samples a process's private resident memory for its whole life; keeps the peak."""

    def __init__(self, pid):
        super().__init__(daemon=True)
        self.pid = pid
        self.peak_anon_kib = 0
        self.peak_private_kib = 0
        self.hwm_kib = 0
        self.samples = 0
        self._halt = threading.Event()

    def run(self):
        while not self._halt.is_set():
            rollup = kib_fields(read_text("/proc/%d/smaps_rollup" % self.pid),
                                ("Anonymous", "Private_Clean", "Private_Dirty"))
            status = kib_fields(read_text("/proc/%d/status" % self.pid), ("VmHWM",))
            if rollup:
                self.peak_anon_kib = max(self.peak_anon_kib, rollup["Anonymous"])
                self.peak_private_kib = max(self.peak_private_kib, rollup["Private_Clean"] + rollup["Private_Dirty"])
                self.samples += 1
            if status:
                self.hwm_kib = max(self.hwm_kib, status["VmHWM"])
            self._halt.wait(SAMPLE_S)

    def stop(self):
        self._halt.set()
        self.join(5)


# ---- the machine ----------------------------------------------------------------------------

def machine():
    model = "?"
    for line in read_text("/proc/cpuinfo").splitlines():
        if line.startswith("model name"):
            model = line.split(":", 1)[1].strip()
            break
    mem = kib_fields(read_text("/proc/meminfo"), ("MemTotal",)).get("MemTotal", 0)
    wine = subprocess.run([h.WINE64, "--version"], capture_output=True, text=True).stdout.strip()
    return "%d CPUs (nproc), %s, %.1f GiB RAM; %s, Linux %s; %s" % (
        os.cpu_count(), model, mem / 1024 / 1024, wine, platform.release(),
        "load average %s at the start" % " ".join(read_text("/proc/loadavg").split()[:3]))


# ---- the run ------------------------------------------------------------------------------

def desktop_driver(desktop, *args, timeout=90):
    """The window driver started inside the Wine virtual desktop DESKTOP ("NAME,WxH"): what it
    starts runs on that desktop, and it sees that desktop's windows."""
    env = h.wine_environment()
    # Output through files: the desktop process inherits them and outlives the driver.
    with tempfile.TemporaryFile() as out, tempfile.TemporaryFile() as err:
        p = subprocess.run([h.WINE64, "explorer", "/desktop=%s" % desktop, h.DRIVER_EXE] + [str(a) for a in args],
                           env=env, stdout=out, stderr=err, stdin=subprocess.DEVNULL, timeout=timeout)
        out.seek(0)
        err.seek(0)
        return h.DriverResult(p.returncode, out.read().decode("utf-8", "replace"),
                              err.read().decode("utf-8", "replace"))


def give_back_keyboard_focus():
    """A Wine virtual desktop that ends leaves the display's keyboard focus on no window, and keys
    typed on the display then go nowhere until a window takes the focus (the end-to-end tests
    that type would fail after a benchmark). Back to PointerRoot, as Xvfb starts."""
    x11 = ctypes.CDLL("libX11.so.6")
    x11.XOpenDisplay.restype = ctypes.c_void_p
    x11.XOpenDisplay.argtypes = [ctypes.c_char_p]
    x11.XSetInputFocus.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_int, ctypes.c_ulong]
    x11.XCloseDisplay.argtypes = [ctypes.c_void_p]
    display = x11.XOpenDisplay(h.wine_environment()["DISPLAY"].encode())
    if not display:
        raise RuntimeError("cannot open the display to give its keyboard focus back")
    x11.XSetInputFocus(display, 1, 1, 0)  # PointerRoot, RevertToPointerRoot, CurrentTime
    x11.XCloseDisplay(display)


def measure_startup(subjects, server, place):
    desktop = DESKTOP if place == "desktop" else None
    try:
        return startup_runs(subjects, server, place, desktop)
    finally:
        if desktop:
            give_back_keyboard_focus()


def startup_runs(subjects, server, place, desktop):
    log("start-up on the %s: one unmeasured run each, then %d runs each, interleaved" % (
        dict(STARTUP_PLACES)[place], STARTUP_RUNS[place]))
    times = {s.key: [] for s in subjects}
    for s in subjects:
        try:
            s.launch_once(desktop)
        except RuntimeError as e:
            # The first start on a fresh Wine server can meet its set-up still running.
            log("unmeasured start failed, once more: %s" % e)
            s.launch_once(desktop)
    for _ in range(STARTUP_RUNS[place]):
        for s in subjects:
            before = server.quote_count() if s.key == "ticker" else 0
            ms = s.launch_once(desktop)
            if s.key == "ticker" and server.quote_count() != before + 1:
                raise RuntimeError("the ticker's start did not fetch its figures exactly once (%d)" % (
                    server.quote_count() - before))
            times[s.key].append(ms)
    for s in subjects:
        log("%-13s %s ms" % (s.label, " ".join("%.0f" % t for t in times[s.key])))
    return times


class CpuLoad:
    """A bounded CPU load on the other cores: busy processes that end by themselves after
    `limit_s` even if this run dies, and are ended sooner by stop()."""

    def __init__(self, processes, limit_s):
        code = "import time\nend = time.monotonic() + %f\nwhile time.monotonic() < end:\n    pass\n" % limit_s
        self.procs = [subprocess.Popen([sys.executable, "-c", code], stdin=subprocess.DEVNULL,
                                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
                      for _ in range(processes)]

    def stop(self):
        for p in self.procs:
            if p.poll() is None:
                p.kill()
        for p in self.procs:
            p.wait(10)


def loaded_idle_window(subjects):
    """idle_window while LOAD_PROCESSES busy processes run; also the load average it left."""
    load = CpuLoad(LOAD_PROCESSES, IDLE_S + 30)
    try:
        time.sleep(2.0)  # the load is up before the window opens
        cpu = idle_window(subjects)
    finally:
        load.stop()
    cpu["loadavg"] = read_text("/proc/loadavg").split()[0]
    return cpu


def figures_shown(bar):
    """Whether the bar shows digits (not "--.--") for gold and silver, from the screen."""
    origin = (bar["left"], bar["top"])
    ok = True
    for fx, fy in (h.GOLD_FIGURE, h.SILVER_FIGURE):
        box = (origin[0] + fx, origin[1] + fy - 2, origin[0] + fx + 68, origin[1] + h.BAR_SIZE[1] - 2)
        img = h.grab(box)
        mask = h.ink_mask(img, (0, 0, img.width, img.height))
        comps = h.components(mask)
        tall = [c for c in comps if c["height"] >= 7]
        ok = ok and not h.placeholder_shape(comps) and len(tall) >= 6
    return ok


def measure_long(subjects, server):
    """The three programs side by side: round trips, idle CPU and memory."""
    by = {s.key: s for s in subjects}
    ticker = by["ticker"]
    server.configure(mode="serve", body=QUOTE_BODY)
    for s in subjects:
        s.start()
    started = time.monotonic()
    bars = {s.key: s.wait_visible() for s in subjects}
    h.park_pointer()
    time.sleep(0.5)
    shown = figures_shown(bars["ticker"])
    log("long run: all bars visible; the ticker shows figures: %s" % ("yes" if shown else "NO"))

    out = {"figures": shown, "idle_ping": {}, "waiting_ping": {}, "cpu_undocked": {}, "cpu_docked": {}}
    for s in subjects:
        out["idle_ping"][s.key] = s.ping()
    log("round trips idle: %s" % ", ".join("%s p50 %.2f p99 %.2f ms" % (s.label, out["idle_ping"][s.key]["p50"],
                                                                     out["idle_ping"][s.key]["p99"]) for s in subjects))

    # The refresh 20 s after the start goes to a server that takes it and never answers.
    server.configure(mode="hang")
    before = server.quote_count()
    if not h.wait_until(lambda: server.quote_count() > before, h.REFRESH_S + 15, 0.1):
        raise RuntimeError("no refresh request reached the server")
    log("refresh request waiting since %.1f s after the start" % (time.monotonic() - started))
    waiting_conn = server.quote_requests()[-1]["conn"]
    out["waiting_ping"]["ticker"] = ticker.ping()
    conn = [c for c in server.connections() if c["conn"] == waiting_conn][0]
    out["still_waiting"] = conn["closed"] is None and server.quote_count() == before + 1
    for s in subjects:
        if s.key != "ticker":
            out["waiting_ping"][s.key] = s.ping()
    log("round trips while the request waits (still waiting after the probes: %s): ticker p50 %.2f p99 %.2f "
        "max %.2f ms" % ("yes" if out["still_waiting"] else "NO", out["waiting_ping"]["ticker"]["p50"],
                         out["waiting_ping"]["ticker"]["p99"], out["waiting_ping"]["ticker"]["max"]))

    # The next refresh (40 s after the start) replaces the waiting one and gets its answer.
    server.configure(mode="serve", body=QUOTE_BODY)
    count = server.quote_count()
    if not h.wait_until(lambda: server.quote_count() > count, h.REFRESH_S + 15, 0.1):
        raise RuntimeError("the refresh after the waiting one did not come")
    time.sleep(1.0)

    idle_minutes(subjects, bars, out)

    for s in subjects:
        s.stop()
    out["memory"] = {s.key: {"anon": s.sampler.peak_anon_kib, "private": s.sampler.peak_private_kib,
                             "hwm": s.sampler.hwm_kib, "samples": s.sampler.samples} for s in subjects}
    return out


def idle_minutes(subjects, bars, out):
    """The four idle minutes: undocked, then docked and hidden, each quiet and then loaded."""
    h.park_pointer()
    log("idle, ticker undocked: %.0f s" % IDLE_S)
    out["cpu_undocked"] = idle_window(subjects)
    log("idle, ticker undocked, %d busy processes: %.0f s" % (LOAD_PROCESSES, IDLE_S))
    out["cpu_undocked_loaded"] = loaded_idle_window(subjects)

    # Docked at the top edge: a move proposed above the screen is held at the edge; with the
    # pointer away, the bar then slides up until a strip of 2 pixels is left. bare+timers takes
    # the same message and starts its poll.
    hidden_top = 2 - h.BAR_SIZE[1]
    for s in subjects:
        if s.key not in ("ticker", "timers", "dot"):
            continue
        b = bars[s.key]
        r = h.driver("send-moving", s.cls, "--exe", s.path, b["left"], -10, b["right"], b["bottom"] - b["top"] - 10)
        if not r.ok:
            raise RuntimeError("%s took no WM_MOVING: %s" % (s.label, r.values))
        if not h.wait_until(lambda: ticker_top(s) == hidden_top, 5, 0.2):
            raise RuntimeError("%s did not slide out (top %s)" % (s.label, ticker_top(s)))
    log("ticker, bare+timers and bare+dot docked at the top edge and hidden (top %d); idle: %.0f s" % (
        hidden_top, IDLE_S))
    out["cpu_docked"] = idle_window(subjects)
    log("idle, ticker docked and hidden, %d busy processes: %.0f s" % (LOAD_PROCESSES, IDLE_S))
    out["cpu_docked_loaded"] = loaded_idle_window(subjects)
    out["docked_top_after"] = ticker_top(subjects[0])


def measure_idle_only(subjects):
    """--idle-only: the programs started side by side, then the four idle minutes alone."""
    for s in subjects:
        s.start()
    bars = {s.key: s.wait_visible() for s in subjects}
    time.sleep(1.0)
    out = {}
    idle_minutes(subjects, bars, out)
    return out


def ticker_top(subject):
    r = h.driver("find", subject.cls, "--exe", subject.path)
    return r["top"] if r.ok else None


def idle_window(subjects):
    """Per program: (CPU seconds by its clock, CPU seconds by /proc/PID/stat, seconds of the window)."""
    cpu0 = {s.key: s.cpu_s() for s in subjects}
    t0 = time.monotonic()
    time.sleep(IDLE_S)
    elapsed = time.monotonic() - t0
    cpu1 = {s.key: s.cpu_s() for s in subjects}
    return {s.key: (cpu1[s.key][0] - cpu0[s.key][0], cpu1[s.key][1] - cpu0[s.key][1], elapsed) for s in subjects}


def measure_floods(server):
    """A ticker of its own, probed while each of three refreshes in a row meets one kind of flood."""
    ticker = Subject("ticker", "ticker", h.PROGRAM_EXE, h.BAR_CLASS)
    out = {}
    try:
        server.configure(**FLOOD_DEFAULTS)
        ticker.start()
        ticker.wait_visible()
        for key, label, config in FLOODS:
            server.configure(**dict(FLOOD_DEFAULTS, **config))
            before = server.quote_count()
            if not h.wait_until(lambda: server.quote_count() > before, h.REFRESH_S + 15, 0.05):
                raise RuntimeError("no refresh met the flood of %s" % label)
            t0 = time.monotonic()
            wall0 = time.time()
            out[key] = ticker.ping()
            out[key]["probe_s"] = time.monotonic() - t0
            # When the probes ran, counted from the request's arrival at the server.
            asked = server.quote_requests()[-1]["time"]
            out[key]["window"] = (wall0 - asked, wall0 - asked + out[key]["probe_s"])
            server.configure(**FLOOD_DEFAULTS)
            log("round trips, %s: p50 %.2f p99 %.2f max %.2f ms (probes from %.1f to %.1f s after the request)" % (
                label, out[key]["p50"], out[key]["p99"], out[key]["max"], out[key]["window"][0], out[key]["window"][1]))
    finally:
        ticker.stop()
        ticker.remove()
    return out


def measure_split():
    """bench_split.exe under Wine; its output goes through a file (see harness on Wine's pipes)."""
    exe = os.path.join(ARGS.bench_build, "tools", "benchmark", "bench_split.exe")
    with tempfile.TemporaryFile() as out:
        rc = subprocess.run([h.WINE64, exe], env=h.wine_environment(), stdout=out, stderr=subprocess.DEVNULL,
                            stdin=subprocess.DEVNULL, timeout=120).returncode
        out.seek(0)
        text = out.read().decode("latin-1")
    values = dict(word.split("=", 1) for word in text.split() if "=" in word)
    if rc != 0 or "short_ms" not in values:
        raise RuntimeError("bench_split failed (%d): %r" % (rc, text))
    result = {k: float(values[k]) for k in ("short_ms", "full_ms", "decode_ms")}
    log("split of 1 MiB of \"|\": to two items %.4f ms, whole %.2f ms; decoding %.2f ms" % (
        result["short_ms"], result["full_ms"], result["decode_ms"]))
    return result


def flood_rows(floods, split):
    """The table's rows for the floods and the split."""
    rows = []
    for key, label, _ in FLOODS:
        p = floods[key]
        rows.append(("round trip, %s, p50 / p99 / max (ms)" % label,
                     "%.2f / %.2f / %.2f" % (p["p50"], p["p99"], p["max"]), "", "",
                     "p99 <= %.0f ms" % GOAL_FLOOD_P99_MS, verdict(p["p99"] <= GOAL_FLOOD_P99_MS)))
    rows.append(("split of a 1 MiB reply of \"|\" (ms)", "%.4f" % split["short_ms"], "", "",
                 "< %.0f ms" % GOAL_SPLIT_MS, verdict(split["short_ms"] < GOAL_SPLIT_MS)))
    rows.append(("  whole split; decoding the body (ms)", "%.2f; %.2f" % (split["full_ms"], split["decode_ms"]),
                 "", "", "(reported)", ""))
    return rows


# ---- a name lookup that hangs ----------------------------------------------------------------

LOOKUP_PROBES = 100
# A name server on 127.0.0.1:53 that reads every question and answers none, as a captive portal's
# or a dropped VPN's resolver does. It logs each question's arrival, and ends with the program it
# was started beside (its parent) or after its lifetime.
SILENT_RESOLVER = """
import os, socket, sys, time
log, lifetime, parent = sys.argv[1], float(sys.argv[2]), os.getppid()
s = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
s.bind(("127.0.0.1", 53))
s.settimeout(0.5)
end = time.monotonic() + lifetime
with open(log, "a") as f:
    f.write("ready %.3f\\n" % time.time())
    f.flush()
    while time.monotonic() < end and os.getppid() == parent:
        try:
            s.recvfrom(4096)
        except socket.timeout:
            continue
        f.write("question %.3f\\n" % time.time())
        f.flush()
"""
# In a mount and network namespace of its own (loopback only): the silent resolver, then the
# program in this same process, so its PID is the one measured.
HANGING_LOOKUP_START = """set -e
ip link set lo up
mount --bind "$1" /etc/resolv.conf
"$5" "$2" "$3" "$4" &
n=0
until grep -q ready "$3" 2>/dev/null; do n=$((n + 1)); [ $n -lt 200 ] || exit 1; sleep 0.05; done
exec "$6" "$7"
"""


class HangingLookupTicker(Subject):
    """The ticker built with its quote host under ".test", whose every name lookup meets a
    resolver that never answers."""

    def __init__(self, build):
        super().__init__("ticker", "ticker, lookup hanging", os.path.join(build, "src", "app", "Project1.exe"),
                         h.BAR_CLASS)
        self.resolv_conf = os.path.join(self.folder, "resolv.conf")
        with open(self.resolv_conf, "w") as f:
            f.write("nameserver 127.0.0.1\n")
        self.resolver = os.path.join(self.folder, "silent_resolver.py")
        with open(self.resolver, "w") as f:
            f.write(SILENT_RESOLVER)
        self.log = os.path.join(self.folder, "questions.log")

    def start(self):
        self.started = time.time()
        self.proc = subprocess.Popen(
            ["unshare", "--mount", "--net", "sh", "-c", HANGING_LOOKUP_START, "sh", self.resolv_conf, self.resolver,
             self.log, "600", sys.executable, h.WINE64, self.path], cwd=self.folder, env=h.wine_environment(),
            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, stdin=subprocess.DEVNULL, start_new_session=True)
        self.sampler = MemorySampler(self.proc.pid)
        self.sampler.start()

    def questions(self):
        return [float(line.split()[1]) for line in read_text(self.log).splitlines() if line.startswith("question ")]


def measure_hanging_lookup(server):
    """The lookup ticker probed while a refresh's lookup hangs; the plain ticker beside it for
    the memory that the lookup's worker costs."""
    lookup = HangingLookupTicker(ARGS.lookup_build)
    plain = Subject("ticker", "ticker", h.PROGRAM_EXE, h.BAR_CLASS)
    out = {}
    try:
        server.configure(mode="serve", body=QUOTE_BODY)
        plain.start()
        plain.wait_visible()
        time.sleep(0.5)
        icons_before = {i["hwnd"] for i in h.tray_icons()}
        lookup.start()
        # The first request, made before the bar shows, waits until the resolver gives up.
        lookup.wait_visible(timeout=90)
        shown = time.time()
        icon = h.wait_until(lambda: next((i for i in h.tray_icons() if i["hwnd"] not in icons_before), None), 10, 0.1)
        if not icon:
            raise RuntimeError("the lookup ticker's tray icon did not show")
        if not lookup.questions():
            raise RuntimeError("the lookup ticker asked no name server: %r" % read_text(lookup.log))
        out["first_show_s"] = shown - lookup.started
        h.park_pointer()
        # The next refresh (20 s after the window's creation): probes from its first question on.
        if not h.wait_until(lambda: any(t > shown for t in lookup.questions()), h.REFRESH_S + 15, 0.01):
            raise RuntimeError("no refresh of the lookup ticker asked a name server")
        asked = [t for t in lookup.questions() if t > shown][0]
        wall0 = time.time()
        r = h.driver("ping", lookup.cls, "--exe", lookup.path, "--count", LOOKUP_PROBES, "--interval",
                     PROBE_INTERVAL_MS, "--jitter", PROBE_JITTER_MS, "--timeout", 2000, timeout=300)
        wall1 = time.time()
        if r.get("count") != LOOKUP_PROBES:
            raise RuntimeError("the lookup ticker's probes failed: %s" % r.values)
        out.update({"p50": r["p50_ms"], "p99": r["p99_ms"], "max": r["max_ms"],
                    "window": (wall0 - asked, wall1 - asked),
                    "questions": len([t for t in lookup.questions() if asked <= t <= wall1])})
        # "关闭程序" from the tray menu while the lookup still hangs: the program ends at once (on this
        # screen, as the plain ticker does, after Wine's wait of about 2 s for a window manager).
        x, y = h.icon_centre(icon)
        h.xdotool("mousemove", x, y, "sleep", 0.2, "click", 3)
        menu = h.driver("menu", "--exe", lookup.path, "--timeout", 5000, timeout=35)
        if not menu.ok:
            raise RuntimeError("the lookup ticker's tray menu did not open: %s" % menu.values)
        h.xdotool("key", "--delay", 150, "Down", "Down")
        quit_at = time.time()
        h.xdotool("key", "Return")
        try:
            lookup.proc.wait(30)
        except subprocess.TimeoutExpired:
            raise RuntimeError("the lookup ticker did not end after 关闭程序")
        ended = time.time()
        out["quit"] = (quit_at - asked, ended - quit_at, len(lookup.questions()))
        h.park_pointer()
    finally:
        for s in (lookup, plain):
            s.stop()
            s.remove()
    out["memory"] = {"lookup": lookup.sampler.peak_anon_kib, "plain": plain.sampler.peak_anon_kib}
    log("round trips while a name lookup hangs: p50 %.2f p99 %.2f max %.2f ms (probes from %.1f to %.1f s after "
        "the question; %d question(s) then); first bar after %.1f s; 关闭程序 %.1f s after the question, ended "
        "%.2f s later; peak private memory %.2f MiB (plain ticker %.2f MiB)" % (
            out["p50"], out["p99"], out["max"], out["window"][0], out["window"][1], out["questions"],
            out["first_show_s"], out["quit"][0], out["quit"][1], mib(out["memory"]["lookup"]),
            mib(out["memory"]["plain"])))
    return out


def lookup_rows(lookup):
    """The table's rows for the hanging name lookup."""
    ok = lookup["p99"] <= GOAL_LOOKUP_P99_MS and lookup["max"] <= ANTI_FREEZE_BOUND_MS
    return [("round trip, name lookup hanging, p50 / p99 / max (ms)",
             "%.2f / %.2f / %.2f" % (lookup["p50"], lookup["p99"], lookup["max"]), "", "",
             "p99 <= %.0f, max <= %.0f ms" % (GOAL_LOOKUP_P99_MS, ANTI_FREEZE_BOUND_MS), verdict(ok)),
            ("  关闭程序 while the lookup hangs: to the program's end (s)", "%.2f" % lookup["quit"][1], "", "",
             "(reported)", ""),
            ("  peak private memory, lookup ticker - plain (MiB)",
             "%+.2f" % mib(lookup["memory"]["lookup"] - lookup["memory"]["plain"]), "", "", "(reported)", "")]


# ---- the table ----------------------------------------------------------------------------

def mib(kib):
    return kib / 1024.0


def verdict(ok):
    return "met" if ok else "MISSED"


def rounds_ratio(times):
    """Each round starts the three one after another: the median of the rounds' own ticker /
    bare+browser ratios is the least moved by a machine whose speed drifts during the run."""
    return statistics.median(t / b for t, b in zip(times["ticker"], times["browser"]))


def startup_rows(rows, startup):
    """Per place: the medians of the three programs, then the ticker against both yardsticks.
    The goal holds on the virtual desktop; the bare screen's figures are shown beside it."""
    for place, where in STARTUP_PLACES:
        med = {k: statistics.median(v) for k, v in startup[place].items()}
        r_bare = med["ticker"] / med["bare"]
        r_browser = med["ticker"] / med["browser"]
        name = "virtual desktop" if place == "desktop" else "bare Xvfb"
        rows.append(("start-up to visible bar, %s, median of %d (ms)" % (name, STARTUP_RUNS[place]),
                     "%.0f" % med["ticker"], "%.0f" % med["bare"], "%.0f" % med["browser"], "", ""))
        goal = place == "desktop"
        rows.append(("  ticker / baseline start-up", "", "%.2fx" % r_bare, "%.2fx" % r_browser,
                     "<= %.1fx bare+browser" % GOAL_STARTUP_RATIO if goal else "(reported)",
                     verdict(r_browser <= GOAL_STARTUP_RATIO) if goal else ""))
        rows.append(("  the same, median of each round's ratio", "", "", "%.2fx" % rounds_ratio(startup[place]),
                     "(reported)", ""))


def cpu_pct(cpu):
    used, _, elapsed = cpu
    return 100.0 * used / elapsed


def idle_rows(rows, long_run):
    """The four idle minutes: each program's share of a core, and the ticker against bare+timers,
    the window that wakes as often as the ticker must, measured in the same minute."""
    for key, name in (("cpu_undocked", "idle CPU, undocked, %.0f s (%% of one core)" % IDLE_S),
                      ("cpu_docked", "idle CPU, docked and hidden, %.0f s (%%)" % IDLE_S),
                      ("cpu_undocked_loaded", "idle CPU, undocked, %d busy processes (%%)" % LOAD_PROCESSES),
                      ("cpu_docked_loaded", "idle CPU, docked and hidden, %d busy processes (%%)" % LOAD_PROCESSES)):
        c = {k: cpu_pct(v) for k, v in long_run[key].items() if k != "loadavg"}
        ratio = c["ticker"] / c["timers"] if c["timers"] > 0 else float("inf")
        rows.append((name, "%.3f" % c["ticker"], "%.3f" % c["bare"], "%.3f" % c["browser"],
                     "%.3f (%.2fx)" % (c["timers"], ratio), "<= %.1fx bare+timers" % GOAL_IDLE_RATIO,
                     verdict(ratio <= GOAL_IDLE_RATIO)))
        # The same minute's bare+dot: what drawing the dot alone costs above bare+timers.
        dot = c["dot"] / c["timers"] if c["timers"] > 0 else float("inf")
        ticker_dot = c["ticker"] / c["dot"] if c["dot"] > 0 else float("inf")
        rows.append(("  bare+dot (x bare+timers); ticker / bare+dot", "%.2fx" % ticker_dot, "", "",
                     "%.3f (%.2fx)" % (c["dot"], dot), "(reported)", ""))


TABLE_HEAD = ("figure", "ticker", "bare", "bare+browser", "bare+timers", "goal", "result")


def table_lines(rows):
    """The rows laid out in columns; a row without a bare+timers figure has an empty one."""
    rows = [r if len(r) == len(TABLE_HEAD) else r[:4] + ("",) + r[4:] for r in rows]
    widths = [max(len(r[i]) for r in rows) for i in range(len(TABLE_HEAD))]
    lines = []
    for i, r in enumerate(rows):
        lines.append("  ".join(c.ljust(widths[j]) if j == 0 else c.rjust(widths[j]) if j < 5 else c.ljust(widths[j])
                               for j, c in enumerate(r)).rstrip())
        if i == 0:
            lines.append("  ".join("-" * x for x in widths))
    return lines


def idle_note(cu, cd):
    def pct_ticks(cpu):
        _, used, elapsed = cpu
        return 100.0 * used / elapsed

    keys = ("ticker", "bare", "browser", "timers", "dot")
    return ("Idle CPU = the program's Wine process on its CPU-time clock (all threads, ns); /proc/PID/stat utime + "
            "stime in 10-ms ticks: undocked %s %%, docked %s %% (ticker / bare / bare+browser / bare+timers / "
            "bare+dot). The Wine server's share is not counted (it serves every Wine process on the display). "
            "bare+timers wakes as the ticker must (every 1.2 s; docked also every 200 ms, reading the cursor) and "
            "does nothing else; bare+dot wakes as it does and draws the dot's square at each blink." % (
                " / ".join("%.3f" % pct_ticks(cu[k]) for k in keys),
                " / ".join("%.3f" % pct_ticks(cd[k]) for k in keys)))


def table(info, startup, long_run, pe32, floods, split, lookup):
    rows = []
    lines = []
    w = lines.append
    w("Quote ticker benchmark, %s" % info["date"])
    w("Machine: %s" % info["machine"])
    w("Builds: x86_64 Release %s (run under wine64, Xvfb %s); PE32 i686 MinSizeRel %s" % (
        info["bench_build"], info["display"], info["pe32_build"]))
    w("")
    rows.append(TABLE_HEAD)

    startup_rows(rows, startup)
    ip, wp = long_run["idle_ping"], long_run["waiting_ping"]
    fmt = lambda p: "%.2f / %.2f" % (p["p50"], p["p99"])  # noqa: E731
    rows.append(("round trip idle, p50 / p99 of %d (ms)" % PROBES, fmt(ip["ticker"]), fmt(ip["bare"]),
                 fmt(ip["browser"]), "", ""))
    rows.append(("round trip, request waiting, p50 / p99 (ms)", fmt(wp["ticker"]), fmt(wp["bare"]),
                 fmt(wp["browser"]), "p99 <= %.0f ms" % GOAL_WAITING_P99_MS,
                 verdict(wp["ticker"]["p99"] <= GOAL_WAITING_P99_MS)))
    rows.append(("  max while waiting; anti-freeze bound (ms)", "%.2f" % wp["ticker"]["max"],
                 "%.2f" % wp["bare"]["max"], "%.2f" % wp["browser"]["max"],
                 "max <= %.0f ms" % ANTI_FREEZE_BOUND_MS, verdict(wp["ticker"]["max"] <= ANTI_FREEZE_BOUND_MS)))
    cu, cd = long_run["cpu_undocked"], long_run["cpu_docked"]
    idle_rows(rows, long_run)
    mem = long_run["memory"]
    priv = {k: mib(v["anon"]) for k, v in mem.items()}
    pcd = {k: mib(v["private"]) for k, v in mem.items()}
    ws = {k: mib(v["hwm"]) for k, v in mem.items()}
    rows.append(("peak private memory, anonymous (MiB)", "%.2f" % priv["ticker"], "%.2f" % priv["bare"],
                 "%.2f" % priv["browser"], "", ""))
    rows.append(("  ticker - bare+browser, private (MiB)", "%+.2f" % (priv["ticker"] - priv["browser"]), "", "",
                 "<= +%.1f MiB" % GOAL_PRIVATE_ABOVE_MIB,
                 verdict(priv["ticker"] - priv["browser"] <= GOAL_PRIVATE_ABOVE_MIB)))
    rows.append(("  peak Private_Clean + Private_Dirty (MiB)", "%.2f" % pcd["ticker"], "%.2f" % pcd["bare"],
                 "%.2f" % pcd["browser"], "(reported) %+.2f" % (pcd["ticker"] - pcd["browser"]), ""))
    rows.append(("peak working set (MiB)", "%.2f" % ws["ticker"], "%.2f" % ws["bare"], "%.2f" % ws["browser"],
                 "", ""))
    rows.append(("  ticker - bare+browser, working set (MiB)", "%+.2f" % (ws["ticker"] - ws["browser"]), "", "",
                 "(reported)", ""))
    size = lambda n: "%.3f" % mib(n / 1024.0) if n else "n/a"  # noqa: E731
    rows.append(("PE32 executable (MiB)", size(pe32["ticker"]), size(pe32["bare"]), size(pe32["browser"]),
                 "<= %.1f MiB" % GOAL_PE32_MIB, verdict(pe32["ticker"] and pe32["ticker"] <= GOAL_PE32_MIB * 1048576)))
    rows.extend(flood_rows(floods, split))
    rows.extend(lookup_rows(lookup))

    lines.extend(table_lines(rows))
    w("")
    w("Start-up runs (ms, CreateProcess to the visible bar):")
    for place, where in STARTUP_PLACES:
        w("  on the %s:" % where)
        for key, label in (("ticker", "ticker"), ("bare", "bare"), ("browser", "bare+browser")):
            w("    %-13s %s" % (label, " ".join("%.0f" % t for t in startup[place][key])))
    w("Desktops: start-up rows as named; the round trips, idle CPU and memory ran on the bare Xvfb screen %s. "
      "Loaded idle rows: %d busy processes on the %d CPUs (load average %s undocked, %s docked, 1 min, at "
      "the end of each minute)." % (info["display"], LOAD_PROCESSES, os.cpu_count(),
                                   long_run["cpu_undocked_loaded"]["loadavg"],
                                   long_run["cpu_docked_loaded"]["loadavg"]))
    w("PE32 bytes: ticker %s, bare %s, bare+browser %s" % (pe32["ticker"], pe32["bare"] or "n/a",
                                                          pe32["browser"] or "n/a"))
    w("Checks: the ticker's bar showed figures: %s; the refresh still waited after the probes: %s; "
      "docked bar top after the idle minute: %s" % (
          "yes" if long_run["figures"] else "NO", "yes" if long_run["still_waiting"] else "NO",
          long_run["docked_top_after"]))
    w("Private memory = peak of Anonymous in /proc/PID/smaps_rollup (sampled every %.2f s, %s samples): heap, "
      "stacks, bitmaps and PE sections that Wine copies into memory, what swap would back, the counterpart of "
      "Windows' private bytes. Private_Clean + Private_Dirty also counts file pages no other process happens to "
      "map (the CJK font file), which are page cache. Wine's committed address space (VmData) is mostly "
      "reservations. Working set = VmHWM (/proc/PID/status), the kernel's peak resident set, shared pages "
      "included." % (SAMPLE_S, "/".join(str(mem[k]["samples"]) for k in ("ticker", "bare", "browser"))))
    w(idle_note(cu, cd))
    w("Floods: the probes ran %s after the ticker's request reached the server (the interim replies span "
      "about 5 s from it, the 1 MiB body comes 1.5 s after it, the trickle spans 6 s)" % "; ".join(
          "%s from %.1f to %.1f s" % (label, floods[key]["window"][0], floods[key]["window"][1])
          for key, label, _ in FLOODS))
    w("Name lookup: %d probes from %.1f to %.1f s after the refresh's question reached the silent name server "
      "(%d question(s) in that time), 关闭程序 picked %.1f s after it; the lookup ticker's first bar showed %.1f s "
      "after its start, once the resolver gave up on the first request's name; peak private memory %.2f MiB, the "
      "plain ticker beside it %.2f MiB (the lookup's one worker thread)" % (
          LOOKUP_PROBES, lookup["window"][0], lookup["window"][1], lookup["questions"], lookup["quit"][0],
          lookup["first_show_s"], mib(lookup["memory"]["lookup"]), mib(lookup["memory"]["plain"])))
    slowest = sorted(wp["ticker"]["samples"])[-5:]
    w("Slowest ticker round trips while the request waited (ms): %s" % " ".join("%.1f" % v for v in slowest))
    return "\n".join(lines)


def main():
    info = {"date": datetime.datetime.now(datetime.timezone.utc).strftime("%Y-%m-%d %H:%M:%S UTC"),
            "bench_build": ARGS.bench_build, "pe32_build": ARGS.pe32_build}
    env = h.wine_environment()
    info["display"] = env["DISPLAY"]
    info["machine"] = machine()
    artifacts = os.path.join(ARGS.bench_build, "benchmark")
    shutil.rmtree(artifacts, ignore_errors=True)
    os.makedirs(artifacts)

    subjects = [
        Subject("ticker", "ticker", h.PROGRAM_EXE, h.BAR_CLASS),
        Subject("bare", "bare", os.path.join(ARGS.bench_build, "tools", "benchmark", "bench_bare.exe"), BARE_CLASS,
                shift=BAR_SPACING),
        Subject("browser", "bare+browser", os.path.join(ARGS.bench_build, "tools", "benchmark",
                                                        "bench_bare_browser.exe"), BARE_CLASS, shift=2 * BAR_SPACING),
    ]
    # Measured in the idle minutes beside the others; not started up or probed on their own.
    idle_yardsticks = [
        Subject(key, label, os.path.join(ARGS.bench_build, "tools", "benchmark", exe), BARE_CLASS,
                shift=row * BAR_SPACING)
        for row, key, label, exe in ((3, "timers", "bare+timers", "bench_bare_timers.exe"),
                                     (4, "dot", "bare+dot", "bench_bare_dot.exe"))]
    pe32 = {}
    for key, rel in (("ticker", "src/app/Project1.exe"), ("bare", "tools/benchmark/bench_bare.exe"),
                     ("browser", "tools/benchmark/bench_bare_browser.exe")):
        path = os.path.join(ARGS.pe32_build, rel)
        pe32[key] = os.path.getsize(path) if os.path.exists(path) else 0

    server = h.QuoteServer(artifacts, lifetime=900, body=QUOTE_BODY)
    t0 = time.monotonic()
    try:
        if ARGS.lookup_only:
            for r in lookup_rows(measure_hanging_lookup(server)):
                log("%s: %s  %s %s" % (r[0].strip(), r[1], r[4], r[5]))
            return
        if ARGS.idle_only:
            idle = measure_idle_only(subjects + idle_yardsticks)
            log("measured in %.0f s" % (time.monotonic() - t0))
            rows = [TABLE_HEAD]
            idle_rows(rows, idle)
            print("\n" + "\n".join(table_lines(rows) + [idle_note(idle["cpu_undocked"], idle["cpu_docked"])]))
            return
        startup = {place: measure_startup(subjects, server, place) for place, _ in STARTUP_PLACES}
        if ARGS.startup_only:
            for place, where in STARTUP_PLACES:
                med = {k: statistics.median(v) for k, v in startup[place].items()}
                log("%s: medians ticker %.0f, bare %.0f, bare+browser %.0f ms (%.2fx; rounds' own ratios %.2fx)" % (
                    where, med["ticker"], med["bare"], med["browser"], med["ticker"] / med["browser"],
                    rounds_ratio(startup[place])))
            return
        long_run = measure_long(subjects + idle_yardsticks, server)
        floods = measure_floods(server)
        split = measure_split()
        lookup = measure_hanging_lookup(server)
    finally:
        for s in subjects + idle_yardsticks:
            try:
                s.stop()
            except Exception as e:  # the others are still stopped
                log("cleanup: %s" % e)
            s.remove()
        server.stop()
    log("measured in %.0f s" % (time.monotonic() - t0))
    text = table(info, startup, long_run, pe32, floods, split, lookup)
    print("")
    print(text, flush=True)
    report = ARGS.report or os.path.join(ARGS.bench_build, "benchmark-report.txt")
    with open(report, "w") as f:
        f.write(text + "\n")
    print("\n(written to %s)" % report)


if __name__ == "__main__":
    main()
