// ticker_driver: drives the program's windows from a second Wine process.
//
// Every command prints its findings as "key=value" lines on stdout and exits with 0
// when it succeeded, 1 when it did not (window not found, time out, bad reply), and
// 2 on a usage error. Window filters, accepted by every command that takes CLASS:
//   --title TEXT     the window text must equal TEXT
//   --pid N          the window must belong to process N (a Windows process id)
//   --exe PATH       the window's process must run the executable PATH (Windows or
//                    Unix form; compared case-insensitively after normalising to Z:\...)
//   --exe-prefix P   the path of the window's executable must start with P (same rules)
//   --visible        only visible windows
//
// Commands:
//   find CLASS                      the first matching top-level window and its details
//   wait CLASS [--timeout MS]       wait until a matching window exists (default 10000 ms)
//   wait-gone CLASS [--timeout MS]  wait until no matching window exists
//   info CLASS                      same as find
//   list [--pid N | --exe PATH | --exe-prefix P]
//                                   every top-level window of the process(es), one block
//                                   each, keys prefixed "w0.", "w1.", ...
//   post CLASS MSG [WPARAM LPARAM]  PostMessage; MSG is a number or a WM_ name
//   send CLASS MSG [WPARAM LPARAM] [--timeout MS]   SendMessageTimeout; prints result
//   send-moving CLASS L T R B       send WM_MOVING with the rectangle, print it back, and
//                                   the machine's performance counter (ms) just before the
//                                   send and after its return (send_clock_ms, return_clock_ms)
//   ping CLASS [--count N] [--interval MS] [--jitter MS] [--timeout MS]
//                                   SendMessageTimeout(WM_NULL) round trips: p50/p99/max;
//                                   the probes are INTERVAL plus up to JITTER ms apart, so
//                                   they do not fall into step with the target's own cycle
//   msgbox [--pid N | --exe PATH] [--timeout MS]
//                                   wait for a message box (#32770) of the process;
//                                   print caption, text and buttons
//   msgbox-ok [--pid N | --exe PATH] [--timeout MS]
//                                   the same, then press its OK button
//   at X Y                          the top-level window that shows at the screen point
//   cursor X Y                      SetCursorPos
//   terminate [--pid N | --exe PATH | --exe-prefix P]
//                                   TerminateProcess (exit code 1) of the process that
//                                   owns the first matching window
//   launch CLASS PATH [--timeout MS] [--end]
//                                   start the program PATH (a Unix or Windows path; its
//                                   folder is the working folder) and wait until the new
//                                   process shows a visible top-level window of CLASS,
//                                   looking every millisecond; prints pid and visible_ms,
//                                   the time from just before CreateProcess to that sight.
//                                   It first waits until the desktop process answers
//                                   (desktop_wait_ms), so no earlier program's end is timed
//                                   With --end the process is then ended (TerminateProcess)
//                                   and awaited; without it the process goes on running
//   screen                          the virtual desktop and primary screen metrics
//   tray                            the notification-area icons: Wine's own tray window
//                                   "Wine System Tray" (tray.*) and every icon window in it
//                                   (i0.*, i1.*, ...) with its screen rectangle, and the
//                                   tray's tooltip windows (t0.*, t1.*, ...: visible, text,
//                                   rectangle); the shell shows one while the pointer rests
//                                   on an icon
//   menu [--pid N | --exe PATH] [--timeout MS]
//                                   wait for a shown pop-up menu (#32768) of the process and
//                                   print its rectangle (Wine lets no other process read a
//                                   menu's items: they are checked on the screen)
//   children CLASS                  the child windows of the first matching top-level window,
//                                   from the top of the stacking order down (c0.*, c1.*, ...:
//                                   hwnd, class, visible, text, rectangle in the parent's
//                                   client area); client_left/client_top: the parent's client
//                                   origin on the screen
//   attrib PATH [+r | -r]           set or clear the read-only attribute of a file;
//                                   print the attributes it has then
//   errtext CODE                    the system's text for an error code (FormatMessage)
//   track CLASS [--timeout MS] [--until L T] [--stop-file PATH]
//                                   watch the window's rectangle, visibility and the cursor
//                                   every few ms for up to MS (default 10000) and print every
//                                   change as "eN=MS LEFT TOP RIGHT BOTTOM VISIBLE CX CY" (ms
//                                   since tracking began; start_clock_ms is that beginning on
//                                   the performance counter). Prints "ready=1" (flushed) once
//                                   tracking runs, so a caller can act after it. Ends early
//                                   when the window's top-left reaches L,T (reached=1) or
//                                   when the file PATH exists (a Unix or Windows path)

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cwchar>
#include <string>
#include <vector>

namespace {

struct Filter {
  std::wstring cls;
  std::wstring title;
  bool has_title = false;
  DWORD pid = 0;
  std::wstring exe;  // normalised, upper case
  std::wstring exe_prefix;
  bool visible_only = false;
};

struct Options {
  Filter filter;
  std::vector<std::wstring> args;  // positional arguments after the command
  DWORD timeout_ms = 0;
  bool has_timeout = false;
  int count = 50;
  int interval_ms = 20;
  int jitter_ms = 0;
};

std::string Utf8(const std::wstring& w) {
  if (w.empty()) return {};
  int n = WideCharToMultiByte(CP_UTF8, 0, w.data(), static_cast<int>(w.size()), nullptr, 0, nullptr, nullptr);
  std::string s(static_cast<size_t>(n), '\0');
  WideCharToMultiByte(CP_UTF8, 0, w.data(), static_cast<int>(w.size()), s.data(), n, nullptr, nullptr);
  return s;
}

// Values go out on one line each: line breaks and backslashes are escaped.
std::string Escaped(const std::wstring& w) {
  std::string out;
  for (char c : Utf8(w)) {
    switch (c) {
      case '\\':
        out += "\\\\";
        break;
      case '\r':
        out += "\\r";
        break;
      case '\n':
        out += "\\n";
        break;
      case '\t':
        out += "\\t";
        break;
      default:
        out += c;
    }
  }
  return out;
}

void Put(const char* key, const std::string& value) { std::printf("%s=%s\n", key, value.c_str()); }
void Put(const char* key, const std::wstring& value) { Put(key, Escaped(value)); }
void Put(const char* key, long long value) { std::printf("%s=%lld\n", key, value); }
void PutHwnd(const char* key, HWND h) {
  std::printf("%s=0x%llx\n", key, static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(h)));
}

std::wstring Upper(std::wstring s) {
  CharUpperBuffW(s.data(), static_cast<DWORD>(s.size()));
  return s;
}

// "/tmp/x/P.exe" and "Z:\tmp\x\P.exe" name the same file under Wine.
std::wstring NormalisePath(std::wstring p) {
  std::replace(p.begin(), p.end(), L'/', L'\\');
  if (!p.empty() && p[0] == L'\\') p = L"Z:" + p;
  if (p.rfind(L"\\\\?\\", 0) == 0) p = p.substr(4);
  return Upper(p);
}

std::wstring ClassOf(HWND h) {
  wchar_t buf[256] = {};
  GetClassNameW(h, buf, 256);
  return buf;
}

std::wstring TextOf(HWND h) {
  // WM_GETTEXT through a time-out, so a hung target cannot hang the driver.
  wchar_t buf[1024] = {};
  DWORD_PTR copied = 0;
  if (!SendMessageTimeoutW(h, WM_GETTEXT, 1024, reinterpret_cast<LPARAM>(buf), SMTO_ABORTIFHUNG, 2000, &copied))
    return L"";
  return buf;
}

DWORD PidOf(HWND h) {
  DWORD pid = 0;
  GetWindowThreadProcessId(h, &pid);
  return pid;
}

std::wstring ImageOf(DWORD pid) {
  HANDLE p = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid);
  if (!p) return L"";
  wchar_t buf[MAX_PATH * 2] = {};
  DWORD n = MAX_PATH * 2;
  std::wstring out;
  if (QueryFullProcessImageNameW(p, 0, buf, &n)) out.assign(buf, n);
  CloseHandle(p);
  return out;
}

bool Matches(HWND h, const Filter& f) {
  if (!f.cls.empty() && ClassOf(h) != f.cls) return false;
  if (f.visible_only && !IsWindowVisible(h)) return false;
  if (f.pid && PidOf(h) != f.pid) return false;
  if (!f.exe.empty() || !f.exe_prefix.empty()) {
    const std::wstring image = NormalisePath(ImageOf(PidOf(h)));
    if (!f.exe.empty() && image != f.exe) return false;
    if (!f.exe_prefix.empty() && image.rfind(f.exe_prefix, 0) != 0) return false;
  }
  if (f.has_title && TextOf(h) != f.title) return false;
  return true;
}

// Window enumeration callbacks are CALLBACK (stdcall on i686): a plain lambda would not do.
BOOL CALLBACK AppendWindow(HWND h, LPARAM lp) {
  reinterpret_cast<std::vector<HWND>*>(lp)->push_back(h);
  return TRUE;
}

std::vector<HWND> TopLevelWindows() {
  std::vector<HWND> all;
  EnumWindows(AppendWindow, reinterpret_cast<LPARAM>(&all));
  return all;
}

std::vector<HWND> FindAll(const Filter& f) {
  std::vector<HWND> out;
  for (HWND h : TopLevelWindows())
    if (Matches(h, f)) out.push_back(h);
  return out;
}

HWND FindOne(const Filter& f) {
  auto all = FindAll(f);
  return all.empty() ? nullptr : all.front();
}

HWND WaitFor(const Filter& f, DWORD timeout_ms) {
  const ULONGLONG end = GetTickCount64() + timeout_ms;
  for (;;) {
    if (HWND h = FindOne(f)) return h;
    if (GetTickCount64() >= end) return nullptr;
    Sleep(20);
  }
}

void PrintWindow(HWND h, const char* prefix = "") {
  auto key = [&](const char* k) { return std::string(prefix) + k; };
  RECT r{};
  GetWindowRect(h, &r);
  LONG style = GetWindowLongW(h, GWL_STYLE);
  LONG ex = GetWindowLongW(h, GWL_EXSTYLE);
  HWND owner = GetWindow(h, GW_OWNER);
  DWORD pid = 0;
  DWORD tid = GetWindowThreadProcessId(h, &pid);
  PutHwnd(key("hwnd").c_str(), h);
  Put(key("class").c_str(), ClassOf(h));
  Put(key("title").c_str(), TextOf(h));
  Put(key("left").c_str(), r.left);
  Put(key("top").c_str(), r.top);
  Put(key("right").c_str(), r.right);
  Put(key("bottom").c_str(), r.bottom);
  Put(key("width").c_str(), r.right - r.left);
  Put(key("height").c_str(), r.bottom - r.top);
  Put(key("visible").c_str(), IsWindowVisible(h) ? 1 : 0);
  Put(key("iconic").c_str(), IsIconic(h) ? 1 : 0);
  Put(key("style").c_str(), static_cast<long long>(static_cast<DWORD>(style)));
  Put(key("exstyle").c_str(), static_cast<long long>(static_cast<DWORD>(ex)));
  Put(key("popup").c_str(), (style & WS_POPUP) ? 1 : 0);
  Put(key("caption").c_str(), ((style & WS_CAPTION) == WS_CAPTION) ? 1 : 0);
  Put(key("topmost").c_str(), (ex & WS_EX_TOPMOST) ? 1 : 0);
  Put(key("appwindow").c_str(), (ex & WS_EX_APPWINDOW) ? 1 : 0);
  Put(key("toolwindow").c_str(), (ex & WS_EX_TOOLWINDOW) ? 1 : 0);
  PutHwnd(key("owner").c_str(), owner);
  Put(key("owner_class").c_str(), owner ? ClassOf(owner) : std::wstring());
  Put(key("owner_visible").c_str(), (owner && IsWindowVisible(owner)) ? 1 : 0);
  if (owner) {
    RECT o{};
    GetWindowRect(owner, &o);
    Put(key("owner_width").c_str(), o.right - o.left);
    Put(key("owner_height").c_str(), o.bottom - o.top);
    Put(key("owner_exstyle").c_str(), static_cast<long long>(static_cast<DWORD>(GetWindowLongW(owner, GWL_EXSTYLE))));
  }
  Put(key("foreground").c_str(), GetForegroundWindow() == h ? 1 : 0);
  Put(key("pid").c_str(), static_cast<long long>(pid));
  Put(key("tid").c_str(), static_cast<long long>(tid));
  Put(key("exe").c_str(), ImageOf(pid));
}

struct NamedMessage {
  const wchar_t* name;
  UINT value;
};
const NamedMessage kMessages[] = {
    {L"WM_NULL", WM_NULL},
    {L"WM_CLOSE", WM_CLOSE},
    {L"WM_QUIT", WM_QUIT},
    {L"WM_DESTROY", WM_DESTROY},
    {L"WM_QUERYENDSESSION", WM_QUERYENDSESSION},
    {L"WM_ENDSESSION", WM_ENDSESSION},
    {L"WM_MOVING", WM_MOVING},
    {L"WM_COMMAND", WM_COMMAND},
    {L"WM_SYSCOMMAND", WM_SYSCOMMAND},
    {L"WM_TIMER", WM_TIMER},
    {L"WM_PAINT", WM_PAINT},
    {L"WM_LBUTTONDOWN", WM_LBUTTONDOWN},
    {L"WM_LBUTTONUP", WM_LBUTTONUP},
    {L"WM_LBUTTONDBLCLK", WM_LBUTTONDBLCLK},
    {L"WM_RBUTTONDOWN", WM_RBUTTONDOWN},
    {L"WM_RBUTTONUP", WM_RBUTTONUP},
    {L"WM_MOUSEMOVE", WM_MOUSEMOVE},
    {L"WM_NCLBUTTONDOWN", WM_NCLBUTTONDOWN},
    {L"WM_USER", WM_USER},
    {L"WM_APP", WM_APP},
};

bool ParseNumber(const std::wstring& s, long long* out) {
  if (s.empty()) return false;
  wchar_t* end = nullptr;
  long long v = std::wcstoll(s.c_str(), &end, 0);
  if (!end || *end) return false;
  *out = v;
  return true;
}

bool ParseMessage(const std::wstring& s, UINT* out) {
  for (const auto& m : kMessages)
    if (Upper(s) == m.name) {
      *out = m.value;
      return true;
    }
  long long v = 0;
  if (!ParseNumber(s, &v)) return false;
  *out = static_cast<UINT>(v);
  return true;
}

int Usage(const char* why) {
  std::fprintf(stderr, "ticker_driver: %s (see the comment at the top of driver.cpp)\n", why);
  return 2;
}

// ---- commands -------------------------------------------------------------------

int CmdFind(const Options& o) {
  HWND h = FindOne(o.filter);
  Put("found", h ? 1 : 0);
  if (!h) return 1;
  PrintWindow(h);
  return 0;
}

int CmdWait(const Options& o) {
  DWORD timeout = o.has_timeout ? o.timeout_ms : 10000;
  ULONGLONG t0 = GetTickCount64();
  HWND h = WaitFor(o.filter, timeout);
  Put("found", h ? 1 : 0);
  Put("waited_ms", static_cast<long long>(GetTickCount64() - t0));
  if (!h) return 1;
  PrintWindow(h);
  return 0;
}

int CmdWaitGone(const Options& o) {
  DWORD timeout = o.has_timeout ? o.timeout_ms : 10000;
  ULONGLONG t0 = GetTickCount64();
  const ULONGLONG end = t0 + timeout;
  while (FindOne(o.filter)) {
    if (GetTickCount64() >= end) {
      Put("gone", 0);
      return 1;
    }
    Sleep(20);
  }
  Put("gone", 1);
  Put("waited_ms", static_cast<long long>(GetTickCount64() - t0));
  return 0;
}

int CmdList(const Options& o) {
  if (!o.filter.pid && o.filter.exe.empty() && o.filter.exe_prefix.empty())
    return Usage("list needs --pid, --exe or --exe-prefix");
  auto all = FindAll(o.filter);
  Put("count", static_cast<long long>(all.size()));
  for (size_t i = 0; i < all.size(); ++i) PrintWindow(all[i], ("w" + std::to_string(i) + ".").c_str());
  return 0;
}

int CmdChildren(const Options& o) {
  HWND h = FindOne(o.filter);
  Put("found", h ? 1 : 0);
  if (!h) return 1;
  POINT origin{0, 0};
  ClientToScreen(h, &origin);
  Put("client_left", origin.x);
  Put("client_top", origin.y);
  long long n = 0;
  for (HWND child = GetWindow(h, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT), ++n) {
    const std::string p = "c" + std::to_string(n) + ".";
    RECT r{};
    GetWindowRect(child, &r);
    MapWindowPoints(nullptr, h, reinterpret_cast<POINT*>(&r), 2);
    PutHwnd((p + "hwnd").c_str(), child);
    Put((p + "class").c_str(), ClassOf(child));
    Put((p + "visible").c_str(), IsWindowVisible(child) ? 1 : 0);
    Put((p + "text").c_str(), TextOf(child));
    Put((p + "left").c_str(), r.left);
    Put((p + "top").c_str(), r.top);
    Put((p + "right").c_str(), r.right);
    Put((p + "bottom").c_str(), r.bottom);
  }
  Put("count", n);
  return 0;
}

bool MessageArgs(const Options& o, UINT* msg, WPARAM* wp, LPARAM* lp) {
  if (o.args.empty() || !ParseMessage(o.args[0], msg)) return false;
  long long w = 0, l = 0;
  if (o.args.size() > 1 && !ParseNumber(o.args[1], &w)) return false;
  if (o.args.size() > 2 && !ParseNumber(o.args[2], &l)) return false;
  *wp = static_cast<WPARAM>(w);
  *lp = static_cast<LPARAM>(l);
  return true;
}

int CmdPost(const Options& o) {
  UINT msg = 0;
  WPARAM wp = 0;
  LPARAM lp = 0;
  if (!MessageArgs(o, &msg, &wp, &lp)) return Usage("post CLASS MSG [WPARAM LPARAM]");
  HWND h = FindOne(o.filter);
  Put("found", h ? 1 : 0);
  if (!h) return 1;
  PutHwnd("hwnd", h);
  BOOL ok = PostMessageW(h, msg, wp, lp);
  Put("posted", ok ? 1 : 0);
  return ok ? 0 : 1;
}

int CmdSend(const Options& o) {
  UINT msg = 0;
  WPARAM wp = 0;
  LPARAM lp = 0;
  if (!MessageArgs(o, &msg, &wp, &lp)) return Usage("send CLASS MSG [WPARAM LPARAM]");
  HWND h = FindOne(o.filter);
  Put("found", h ? 1 : 0);
  if (!h) return 1;
  PutHwnd("hwnd", h);
  DWORD_PTR result = 0;
  LARGE_INTEGER f, a, b;
  QueryPerformanceFrequency(&f);
  QueryPerformanceCounter(&a);
  LRESULT ok = SendMessageTimeoutW(h, msg, wp, lp, SMTO_NORMAL, o.has_timeout ? o.timeout_ms : 5000, &result);
  QueryPerformanceCounter(&b);
  Put("sent", ok ? 1 : 0);
  Put("result", static_cast<long long>(result));
  std::printf("elapsed_ms=%.2f\n",
              1000.0 * static_cast<double>(b.QuadPart - a.QuadPart) / static_cast<double>(f.QuadPart));
  return ok ? 0 : 1;
}

// The performance counter in ms: one clock for every process on the machine, so the times
// that two driver runs print can be compared.
double ClockMs() {
  LARGE_INTEGER f, now;
  QueryPerformanceFrequency(&f);
  QueryPerformanceCounter(&now);
  return 1000.0 * static_cast<double>(now.QuadPart) / static_cast<double>(f.QuadPart);
}

int CmdSendMoving(const Options& o) {
  long long v[4];
  if (o.args.size() != 4) return Usage("send-moving CLASS L T R B");
  for (int i = 0; i < 4; ++i)
    if (!ParseNumber(o.args[static_cast<size_t>(i)], &v[i])) return Usage("send-moving: numbers expected");
  HWND h = FindOne(o.filter);
  Put("found", h ? 1 : 0);
  if (!h) return 1;
  PutHwnd("hwnd", h);
  RECT r{static_cast<LONG>(v[0]), static_cast<LONG>(v[1]), static_cast<LONG>(v[2]), static_cast<LONG>(v[3])};
  DWORD_PTR result = 0;
  const double sending = ClockMs();
  // The rectangle is marshalled into the target process and back.
  LRESULT ok = SendMessageTimeoutW(h, WM_MOVING, WMSZ_TOPLEFT /* unused by a move */, reinterpret_cast<LPARAM>(&r),
                                   SMTO_NORMAL, o.has_timeout ? o.timeout_ms : 5000, &result);
  const double returned = ClockMs();
  std::printf("send_clock_ms=%.1f\nreturn_clock_ms=%.1f\n", sending, returned);
  Put("sent", ok ? 1 : 0);
  Put("result", static_cast<long long>(result));
  Put("left", r.left);
  Put("top", r.top);
  Put("right", r.right);
  Put("bottom", r.bottom);
  return ok ? 0 : 1;
}

int CmdPing(const Options& o) {
  HWND h = FindOne(o.filter);
  Put("found", h ? 1 : 0);
  if (!h) return 1;
  const DWORD timeout = o.has_timeout ? o.timeout_ms : 2000;
  LARGE_INTEGER f;
  QueryPerformanceFrequency(&f);
  std::vector<double> ms;
  int timeouts = 0;
  unsigned state = GetTickCount() | 1u;
  auto next_random = [&state] {  // xorshift: enough to spread the probes
    state ^= state << 13;
    state ^= state >> 17;
    state ^= state << 5;
    return state;
  };
  for (int i = 0; i < o.count; ++i) {
    LARGE_INTEGER a, b;
    DWORD_PTR result = 0;
    QueryPerformanceCounter(&a);
    LRESULT ok = SendMessageTimeoutW(h, WM_NULL, 0, 0, SMTO_NORMAL, timeout, &result);
    QueryPerformanceCounter(&b);
    double elapsed = 1000.0 * static_cast<double>(b.QuadPart - a.QuadPart) / static_cast<double>(f.QuadPart);
    if (!ok) ++timeouts;
    ms.push_back(elapsed);
    if (i + 1 < o.count) {
      int gap = o.interval_ms +
                (o.jitter_ms > 0 ? static_cast<int>(next_random() % static_cast<unsigned>(o.jitter_ms + 1)) : 0);
      if (gap > 0) Sleep(static_cast<DWORD>(gap));
    }
  }
  std::vector<double> sorted = ms;
  std::sort(sorted.begin(), sorted.end());
  auto pct = [&](double p) {
    size_t idx = static_cast<size_t>(p * static_cast<double>(sorted.size() - 1) + 0.5);
    return sorted[std::min(idx, sorted.size() - 1)];
  };
  Put("count", static_cast<long long>(ms.size()));
  Put("timeouts", timeouts);
  std::printf("p50_ms=%.2f\np99_ms=%.2f\nmax_ms=%.2f\n", pct(0.5), pct(0.99), sorted.back());
  std::string all;
  for (double v : ms) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%s%.1f", all.empty() ? "" : ",", v);
    all += buf;
  }
  Put("samples_ms", all);
  return timeouts ? 1 : 0;
}

// A message box is a top-level dialog (#32770) of the process; its text sits in a
// Static child (the icon is a Static too, without text) and its buttons are Buttons.
HWND WaitForMessageBox(const Options& o) {
  Filter f = o.filter;
  f.cls = L"#32770";
  f.visible_only = false;
  return WaitFor(f, o.has_timeout ? o.timeout_ms : 5000);
}

struct BoxParts {
  std::vector<std::wstring> texts;
  std::vector<std::pair<int, std::wstring>> buttons;
};

BoxParts PartsOf(HWND box) {
  BoxParts parts;
  std::vector<HWND> children;
  EnumChildWindows(box, AppendWindow, reinterpret_cast<LPARAM>(&children));
  for (HWND c : children) {
    std::wstring cls = Upper(ClassOf(c));
    std::wstring text = TextOf(c);
    if (cls == L"STATIC" && !text.empty()) parts.texts.push_back(text);
    if (cls == L"BUTTON") parts.buttons.emplace_back(GetDlgCtrlID(c), text);
  }
  return parts;
}

int CmdMsgBox(const Options& o, bool press_ok) {
  if (!o.filter.pid && o.filter.exe.empty()) return Usage("msgbox needs --pid or --exe");
  HWND box = WaitForMessageBox(o);
  Put("found", box ? 1 : 0);
  if (!box) return 1;
  PrintWindow(box);
  BoxParts parts = PartsOf(box);
  std::wstring text;
  for (const auto& t : parts.texts) text += (text.empty() ? L"" : L"\n") + t;
  Put("text", text);
  Put("buttons", static_cast<long long>(parts.buttons.size()));
  for (size_t i = 0; i < parts.buttons.size(); ++i) {
    Put(("button" + std::to_string(i) + ".id").c_str(), parts.buttons[i].first);
    Put(("button" + std::to_string(i) + ".text").c_str(), parts.buttons[i].second);
  }
  if (!press_ok) return 0;
  HWND ok_button = GetDlgItem(box, IDOK);
  BOOL posted = PostMessageW(box, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), reinterpret_cast<LPARAM>(ok_button));
  Put("pressed", posted ? 1 : 0);
  if (!posted) return 1;
  // The box is gone once the press has been taken.
  const ULONGLONG end = GetTickCount64() + 5000;
  while (IsWindow(box) && GetTickCount64() < end) Sleep(20);
  Put("closed", IsWindow(box) ? 0 : 1);
  return IsWindow(box) ? 1 : 0;
}

int CmdCursor(const Options& o) {
  long long x = 0, y = 0;
  if (o.args.size() != 2 || !ParseNumber(o.args[0], &x) || !ParseNumber(o.args[1], &y)) return Usage("cursor X Y");
  BOOL ok = SetCursorPos(static_cast<int>(x), static_cast<int>(y));
  POINT p{};
  GetCursorPos(&p);
  Put("set", ok ? 1 : 0);
  Put("x", p.x);
  Put("y", p.y);
  return ok ? 0 : 1;
}

int CmdAt(const Options& o) {
  long long x = 0, y = 0;
  if (o.args.size() != 2 || !ParseNumber(o.args[0], &x) || !ParseNumber(o.args[1], &y)) return Usage("at X Y");
  HWND h = WindowFromPoint(POINT{static_cast<LONG>(x), static_cast<LONG>(y)});
  HWND top = h ? GetAncestor(h, GA_ROOT) : nullptr;
  Put("found", top ? 1 : 0);
  if (!top) return 1;
  PrintWindow(top);
  return 0;
}

int CmdTerminate(const Options& o) {
  DWORD pid = o.filter.pid;
  if (!pid) {
    if (o.filter.exe.empty() && o.filter.exe_prefix.empty())
      return Usage("terminate needs --pid, --exe or --exe-prefix");
    HWND h = FindOne(o.filter);
    if (!h) {
      Put("found", 0);
      return 1;
    }
    pid = PidOf(h);
  }
  HANDLE p = OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, pid);
  Put("pid", static_cast<long long>(pid));
  if (!p) {
    Put("terminated", 0);
    return 1;
  }
  BOOL ok = TerminateProcess(p, 1);
  DWORD wait = WaitForSingleObject(p, 5000);
  CloseHandle(p);
  Put("terminated", (ok && wait == WAIT_OBJECT_0) ? 1 : 0);
  return (ok && wait == WAIT_OBJECT_0) ? 0 : 1;
}

// The shell's tray as Wine shows it when the desktop has none: its own window "Wine System
// Tray" with one child window per icon. Each icon has a tooltip window, owned by the tray
// window, that the shell fills with the icon's tip and shows while the pointer rests on it.
constexpr wchar_t kTrayClass[] = L"__winex11_standalone_tray";
constexpr wchar_t kTrayIconClass[] = L"__winex11_tray_icon";

int CmdTray() {
  HWND tray = FindWindowW(kTrayClass, nullptr);
  Put("found", tray ? 1 : 0);
  if (!tray) return 1;
  PrintWindow(tray, "tray.");
  std::vector<HWND> children, icons;
  EnumChildWindows(tray, AppendWindow, reinterpret_cast<LPARAM>(&children));
  for (HWND h : children) {
    if (ClassOf(h) == kTrayIconClass) icons.push_back(h);
  }
  Put("count", static_cast<long long>(icons.size()));
  for (size_t i = 0; i < icons.size(); ++i) {
    const std::string p = "i" + std::to_string(i) + ".";
    HWND icon = icons[i];
    RECT r{};
    GetWindowRect(icon, &r);
    PutHwnd((p + "hwnd").c_str(), icon);
    Put((p + "visible").c_str(), IsWindowVisible(icon) ? 1 : 0);
    Put((p + "left").c_str(), r.left);
    Put((p + "top").c_str(), r.top);
    Put((p + "width").c_str(), r.right - r.left);
    Put((p + "height").c_str(), r.bottom - r.top);
  }
  int tips = 0;
  for (HWND h : TopLevelWindows()) {
    if (GetWindow(h, GW_OWNER) != tray || Upper(ClassOf(h)) != L"TOOLTIPS_CLASS32") continue;
    const std::string p = "t" + std::to_string(tips++) + ".";
    RECT t{};
    GetWindowRect(h, &t);
    PutHwnd((p + "hwnd").c_str(), h);
    Put((p + "visible").c_str(), IsWindowVisible(h) ? 1 : 0);
    Put((p + "text").c_str(), TextOf(h));
    Put((p + "left").c_str(), t.left);
    Put((p + "top").c_str(), t.top);
    Put((p + "width").c_str(), t.right - t.left);
    Put((p + "height").c_str(), t.bottom - t.top);
  }
  Put("tooltips", tips);
  return 0;
}

// "Z:\\..." for a Unix path, which Wine maps to its Z: drive; a Windows path stays as it is.
std::wstring WindowsPath(std::wstring p) {
  if (p.empty() || p[0] != L'/') return p;
  std::replace(p.begin(), p.end(), L'/', L'\\');
  return L"Z:" + p;
}

int CmdLaunch(const Options& o) {
  bool end_it = false;
  std::wstring path;
  for (const std::wstring& a : o.args) {
    if (a == L"--end")
      end_it = true;
    else if (path.empty())
      path = a;
    else
      return Usage("launch CLASS PATH [--timeout MS] [--end]");
  }
  if (path.empty()) return Usage("launch CLASS PATH [--timeout MS] [--end]");
  path = WindowsPath(path);
  std::wstring folder = path.substr(0, path.find_last_of(L'\\') + 1);
  std::wstring command = L"\"" + path + L"\"";
  LARGE_INTEGER f, t0, now;
  QueryPerformanceFrequency(&f);
  // The desktop process must be free first: while it is busy (Wine's tray, for one, waits up
  // to 2 s for its window to be withdrawn when an earlier program's icon went away), a new
  // process waits for it before its first window.
  QueryPerformanceCounter(&t0);
  DWORD_PTR answer = 0;
  SendMessageTimeoutW(GetDesktopWindow(), WM_NULL, 0, 0, SMTO_NORMAL, 10000, &answer);
  if (HWND tray = FindWindowW(kTrayClass, nullptr))
    SendMessageTimeoutW(tray, WM_NULL, 0, 0, SMTO_NORMAL, 10000, &answer);
  QueryPerformanceCounter(&now);
  std::printf("desktop_wait_ms=%.2f\n",
              1000.0 * static_cast<double>(now.QuadPart - t0.QuadPart) / static_cast<double>(f.QuadPart));
  STARTUPINFOW si{};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi{};
  QueryPerformanceCounter(&t0);
  if (!CreateProcessW(path.c_str(), command.data(), nullptr, nullptr, FALSE, 0, nullptr,
                      folder.empty() ? nullptr : folder.c_str(), &si, &pi)) {
    Put("started", 0);
    Put("error", static_cast<long long>(GetLastError()));
    return 1;
  }
  CloseHandle(pi.hThread);
  Filter filter = o.filter;
  filter.pid = pi.dwProcessId;
  filter.visible_only = true;
  const double timeout = o.has_timeout ? o.timeout_ms : 30000.0;
  HWND shown = nullptr;
  double ms = 0.0;
  for (;;) {
    shown = FindOne(filter);
    QueryPerformanceCounter(&now);
    ms = 1000.0 * static_cast<double>(now.QuadPart - t0.QuadPart) / static_cast<double>(f.QuadPart);
    if (shown || ms >= timeout || WaitForSingleObject(pi.hProcess, 0) == WAIT_OBJECT_0) break;
    Sleep(1);
  }
  Put("started", 1);
  Put("pid", static_cast<long long>(pi.dwProcessId));
  Put("found", shown ? 1 : 0);
  if (shown) std::printf("visible_ms=%.2f\n", ms);
  if (end_it) {
    TerminateProcess(pi.hProcess, 1);
    Put("ended", WaitForSingleObject(pi.hProcess, 10000) == WAIT_OBJECT_0 ? 1 : 0);
  }
  CloseHandle(pi.hProcess);
  return shown ? 0 : 1;
}

int CmdMenu(const Options& o) {
  if (!o.filter.pid && o.filter.exe.empty()) return Usage("menu needs --pid or --exe");
  Filter f = o.filter;
  f.cls = L"#32768";
  f.visible_only = true;
  HWND menu_window = WaitFor(f, o.has_timeout ? o.timeout_ms : 5000);
  Put("found", menu_window ? 1 : 0);
  if (!menu_window) return 1;
  PrintWindow(menu_window);
  return 0;
}

int CmdAttrib(const Options& o) {
  if (o.args.empty() || o.args.size() > 2) return Usage("attrib PATH [+r | -r]");
  const std::wstring path = o.args[0];
  if (o.args.size() == 2) {
    const std::wstring change = o.args[1];
    DWORD a = GetFileAttributesW(path.c_str());
    if (a == INVALID_FILE_ATTRIBUTES) {
      Put("error", static_cast<long long>(GetLastError()));
      return 1;
    }
    if (change == L"+r")
      a |= FILE_ATTRIBUTE_READONLY;
    else if (change == L"-r")
      a &= ~static_cast<DWORD>(FILE_ATTRIBUTE_READONLY);
    else
      return Usage("attrib PATH [+r | -r]");
    if (!SetFileAttributesW(path.c_str(), a)) {
      Put("error", static_cast<long long>(GetLastError()));
      return 1;
    }
  }
  const DWORD a = GetFileAttributesW(path.c_str());
  if (a == INVALID_FILE_ATTRIBUTES) {
    Put("error", static_cast<long long>(GetLastError()));
    return 1;
  }
  Put("attributes", static_cast<long long>(a));
  Put("readonly", (a & FILE_ATTRIBUTE_READONLY) ? 1 : 0);
  Put("directory", (a & FILE_ATTRIBUTE_DIRECTORY) ? 1 : 0);
  return 0;
}

int CmdErrText(const Options& o) {
  long long code = 0;
  if (o.args.size() != 1 || !ParseNumber(o.args[0], &code)) return Usage("errtext CODE");
  wchar_t* buffer = nullptr;
  const DWORD n =
      FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS | FORMAT_MESSAGE_ALLOCATE_BUFFER,
                     nullptr, static_cast<DWORD>(code), 0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
  Put("text", std::wstring(buffer ? buffer : L"", n));
  LocalFree(buffer);
  return n ? 0 : 1;
}

int CmdScreen() {
  Put("virtual_left", GetSystemMetrics(SM_XVIRTUALSCREEN));
  Put("virtual_top", GetSystemMetrics(SM_YVIRTUALSCREEN));
  Put("virtual_width", GetSystemMetrics(SM_CXVIRTUALSCREEN));
  Put("virtual_height", GetSystemMetrics(SM_CYVIRTUALSCREEN));
  Put("screen_width", GetSystemMetrics(SM_CXSCREEN));
  Put("screen_height", GetSystemMetrics(SM_CYSCREEN));
  Put("monitors", GetSystemMetrics(SM_CMONITORS));
  Put("acp", static_cast<long long>(GetACP()));
  return 0;
}

struct TrackSample {
  double ms;
  RECT rect;
  BOOL visible;
  POINT cursor;
};

int CmdTrack(const Options& o) {
  long long until_left = 0, until_top = 0;
  bool has_until = false;
  std::wstring stop_file;
  for (size_t i = 0; i < o.args.size(); ++i) {
    if (o.args[i] == L"--until" && i + 2 < o.args.size()) {
      if (!ParseNumber(o.args[i + 1], &until_left) || !ParseNumber(o.args[i + 2], &until_top))
        return Usage("track: --until L T");
      has_until = true;
      i += 2;
    } else if (o.args[i] == L"--stop-file" && i + 1 < o.args.size()) {
      stop_file = o.args[++i];
    } else {
      return Usage("track CLASS [--timeout MS] [--until L T] [--stop-file PATH]");
    }
  }
  if (!stop_file.empty() && stop_file[0] == L'/') stop_file = NormalisePath(stop_file);
  HWND h = FindOne(o.filter);
  Put("found", h ? 1 : 0);
  if (!h) return 1;
  PutHwnd("hwnd", h);
  const double duration = o.has_timeout ? o.timeout_ms : 10000.0;
  LARGE_INTEGER f, t0, now;
  QueryPerformanceFrequency(&f);
  std::vector<TrackSample> changes;
  auto take = [&](double ms) {
    TrackSample s{ms, {}, IsWindowVisible(h), {}};
    GetWindowRect(h, &s.rect);
    if (!GetCursorPos(&s.cursor)) s.cursor = POINT{-99999, -99999};
    return s;
  };
  auto same = [](const TrackSample& a, const TrackSample& b) {
    return EqualRect(&a.rect, &b.rect) && a.visible == b.visible && a.cursor.x == b.cursor.x &&
           a.cursor.y == b.cursor.y;
  };
  QueryPerformanceCounter(&t0);
  changes.push_back(take(0.0));
  std::printf("start_clock_ms=%.1f\n", 1000.0 * static_cast<double>(t0.QuadPart) / static_cast<double>(f.QuadPart));
  Put("ready", 1);
  std::fflush(stdout);
  bool reached = false, stopped = false;
  long long polls = 0;
  for (;;) {
    Sleep(2);
    QueryPerformanceCounter(&now);
    const double ms = 1000.0 * static_cast<double>(now.QuadPart - t0.QuadPart) / static_cast<double>(f.QuadPart);
    if (!IsWindow(h)) break;
    TrackSample s = take(ms);
    ++polls;
    if (!same(s, changes.back())) changes.push_back(s);
    if (has_until && s.rect.left == until_left && s.rect.top == until_top) {
      reached = true;
      break;
    }
    if (!stop_file.empty() && GetFileAttributesW(stop_file.c_str()) != INVALID_FILE_ATTRIBUTES) {
      stopped = true;
      break;
    }
    if (ms >= duration) break;
  }
  QueryPerformanceCounter(&now);
  Put("reached", reached ? 1 : 0);
  Put("stopped", stopped ? 1 : 0);
  Put("polls", polls);
  std::printf("tracked_ms=%.1f\n",
              1000.0 * static_cast<double>(now.QuadPart - t0.QuadPart) / static_cast<double>(f.QuadPart));
  Put("events", static_cast<long long>(changes.size()));
  for (size_t i = 0; i < changes.size(); ++i) {
    const TrackSample& s = changes[i];
    std::printf("e%zu=%.1f %ld %ld %ld %ld %d %ld %ld\n", i, s.ms, s.rect.left, s.rect.top, s.rect.right, s.rect.bottom,
                s.visible ? 1 : 0, s.cursor.x, s.cursor.y);
  }
  return (!has_until || reached) ? 0 : 1;
}

bool ParseOptions(int argc, wchar_t** argv, Options* o) {
  for (int i = 2; i < argc; ++i) {
    std::wstring a = argv[i];
    auto next = [&](std::wstring* v) {
      if (i + 1 >= argc) return false;
      *v = argv[++i];
      return true;
    };
    std::wstring v;
    long long n = 0;
    if (a == L"--title") {
      if (!next(&o->filter.title)) return false;
      o->filter.has_title = true;
    } else if (a == L"--pid") {
      if (!next(&v) || !ParseNumber(v, &n)) return false;
      o->filter.pid = static_cast<DWORD>(n);
    } else if (a == L"--exe") {
      if (!next(&v)) return false;
      o->filter.exe = NormalisePath(v);
    } else if (a == L"--exe-prefix") {
      if (!next(&v)) return false;
      o->filter.exe_prefix = NormalisePath(v);
    } else if (a == L"--visible") {
      o->filter.visible_only = true;
    } else if (a == L"--timeout") {
      if (!next(&v) || !ParseNumber(v, &n)) return false;
      o->timeout_ms = static_cast<DWORD>(n);
      o->has_timeout = true;
    } else if (a == L"--count") {
      if (!next(&v) || !ParseNumber(v, &n) || n < 1) return false;
      o->count = static_cast<int>(n);
    } else if (a == L"--jitter") {
      if (!next(&v) || !ParseNumber(v, &n) || n < 0) return false;
      o->jitter_ms = static_cast<int>(n);
    } else if (a == L"--interval") {
      if (!next(&v) || !ParseNumber(v, &n) || n < 0) return false;
      o->interval_ms = static_cast<int>(n);
    } else {
      o->args.push_back(a);
    }
  }
  return true;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc < 2) return Usage("no command");
  const std::wstring cmd = argv[1];
  Options o;
  if (!ParseOptions(argc, argv, &o)) return Usage("bad option");

  // Commands that act on a window take its class as the first positional argument.
  static const wchar_t* kWindowCommands[] = {L"find",        L"info", L"wait",  L"wait-gone", L"post",    L"send",
                                             L"send-moving", L"ping", L"track", L"launch",    L"children"};
  for (const wchar_t* c : kWindowCommands) {
    if (cmd != c) continue;
    if (o.args.empty()) return Usage("window class expected");
    o.filter.cls = o.args.front();
    o.args.erase(o.args.begin());
  }

  int rc;
  if (cmd == L"find" || cmd == L"info")
    rc = CmdFind(o);
  else if (cmd == L"wait")
    rc = CmdWait(o);
  else if (cmd == L"wait-gone")
    rc = CmdWaitGone(o);
  else if (cmd == L"list")
    rc = CmdList(o);
  else if (cmd == L"children")
    rc = CmdChildren(o);
  else if (cmd == L"post")
    rc = CmdPost(o);
  else if (cmd == L"send")
    rc = CmdSend(o);
  else if (cmd == L"send-moving")
    rc = CmdSendMoving(o);
  else if (cmd == L"ping")
    rc = CmdPing(o);
  else if (cmd == L"msgbox")
    rc = CmdMsgBox(o, false);
  else if (cmd == L"msgbox-ok")
    rc = CmdMsgBox(o, true);
  else if (cmd == L"cursor")
    rc = CmdCursor(o);
  else if (cmd == L"at")
    rc = CmdAt(o);
  else if (cmd == L"terminate")
    rc = CmdTerminate(o);
  else if (cmd == L"screen")
    rc = CmdScreen();
  else if (cmd == L"tray")
    rc = CmdTray();
  else if (cmd == L"menu")
    rc = CmdMenu(o);
  else if (cmd == L"attrib")
    rc = CmdAttrib(o);
  else if (cmd == L"errtext")
    rc = CmdErrText(o);
  else if (cmd == L"track")
    rc = CmdTrack(o);
  else if (cmd == L"launch")
    rc = CmdLaunch(o);
  else
    return Usage("unknown command");
  std::fflush(stdout);
  return rc;
}
