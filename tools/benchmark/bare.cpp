// The yardsticks the benchmark sets the ticker beside, all from this one source:
//   bench_bare          shows a 286 x 31 topmost popup, centred on the desktop, and waits in
//                       its message loop; nothing else
//   bench_bare_browser  the same, and before the bar shows it makes a hidden window of the
//                       portal's size hosting the system's web browser control, activated in
//                       place through tk::TWebBrowser exactly as the portal hosts it
//   bench_bare_timers   the bare window with the timers the bar cannot do without, doing
//                       nothing else: a thread timer of 1200 ms (the blink's period) from the
//                       start, and, once a WM_MOVING proposes a place above the screen's top
//                       (as the benchmark docks the bar), a thread timer of 200 ms that reads
//                       the cursor's position (the docked bar's poll); the window then lies
//                       where the docked bar hides, all but 2 pixels above the top
//   bench_bare_dot      bench_bare_timers whose 1200 ms timer also draws the dot's 8 x 8 square
//                       on the window's own DC, lit and dark in turn, as cheaply as Win32
//                       allows: what no program that blinks the dot can go below
// All have the window class "BenchBar", so the driver finds them as it finds the bar. They
// never navigate anywhere and open no connection. BENCH_BAR_SHIFT in the environment moves the
// window that many pixels below the centre, so that the programs of the idle minutes cover none
// of each other: a covered window's drawing is clipped away and costs nothing.
#include <windows.h>

#include <cwchar>

#if defined(BENCH_WITH_DOT)
#define BENCH_WITH_TIMERS
#endif

#if defined(BENCH_WITH_BROWSER)
#include <ole2.h>

#include <memory>

#include "toolkit/web_browser.h"
#endif

namespace {

constexpr wchar_t kBarClass[] = L"BenchBar";
constexpr int kBarWidth = 286;
constexpr int kBarHeight = 31;

#if defined(BENCH_WITH_TIMERS)
constexpr UINT kBlinkMs = 1200;
constexpr UINT kPollMs = 200;
UINT_PTR poll_timer = 0;

#if defined(BENCH_WITH_DOT)
HDC bar_dc = nullptr;
bool dot_lit = false;

void CALLBACK BlinkTick(HWND, UINT, UINT_PTR, DWORD) {
  dot_lit = !dot_lit;
  const RECT dot{275, 21, 283, 29};
  FillRect(bar_dc, &dot, static_cast<HBRUSH>(GetStockObject(dot_lit ? WHITE_BRUSH : GRAY_BRUSH)));
}
#else
void CALLBACK BlinkTick(HWND, UINT, UINT_PTR, DWORD) {}
#endif

void CALLBACK PollTick(HWND, UINT, UINT_PTR, DWORD) {
  POINT cursor{0, 0};
  GetCursorPos(&cursor);
}

// Docked at the top: the poll runs from now on, and the window hides as the docked bar does.
void Dock(HWND hwnd, const RECT& proposed) {
  if (proposed.top >= 0 || poll_timer) return;
  poll_timer = SetTimer(nullptr, 0, kPollMs, &PollTick);
  SetWindowPos(hwnd, nullptr, proposed.left, 2 - kBarHeight, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}
#endif

LRESULT CALLBACK BarProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  if (msg == WM_DESTROY) {
    PostQuitMessage(0);
    return 0;
  }
#if defined(BENCH_WITH_TIMERS)
  if (msg == WM_MOVING) {
    const LRESULT result = DefWindowProcW(hwnd, msg, wp, lp);
    Dock(hwnd, *reinterpret_cast<RECT*>(lp));
    return result;
  }
#endif
  return DefWindowProcW(hwnd, msg, wp, lp);
}

HWND CreateBar(HINSTANCE instance) {
  WNDCLASSW wc{};
  wc.lpfnWndProc = BarProc;
#if defined(BENCH_WITH_DOT)
  wc.style = CS_OWNDC;  // as the bar's form: no DC to set up per tick
#endif
  wc.hInstance = instance;
  wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
  wc.lpszClassName = kBarClass;
  if (!RegisterClassW(&wc)) return nullptr;
  // Centred on the desktop, as the bar's first show places it.
  const int left = GetSystemMetrics(SM_XVIRTUALSCREEN) + GetSystemMetrics(SM_CXVIRTUALSCREEN) / 2 - kBarWidth / 2;
  int top = GetSystemMetrics(SM_YVIRTUALSCREEN) + GetSystemMetrics(SM_CYVIRTUALSCREEN) / 2 - kBarHeight / 2;
  wchar_t shift[16];
  const DWORD n = GetEnvironmentVariableW(L"BENCH_BAR_SHIFT", shift, 16);
  if (n > 0 && n < 16) top += static_cast<int>(std::wcstol(shift, nullptr, 10));
  return CreateWindowExW(WS_EX_TOPMOST, kBarClass, L"Bench", WS_POPUP | WS_CLIPSIBLINGS | WS_CLIPCHILDREN, left, top,
                         kBarWidth, kBarHeight, nullptr, nullptr, instance, nullptr);
}

#if defined(BENCH_WITH_BROWSER)
constexpr wchar_t kHostClass[] = L"BenchBrowserHost";

// The portal's window: overlapped, client 950 x 592, never shown here. The control sits where
// the portal puts it (0, 48, 953 x 545) and stays visible inside the hidden window, as there.
HWND CreateBrowserHost(HINSTANCE instance) {
  WNDCLASSW wc{};
  wc.lpfnWndProc = DefWindowProcW;
  wc.hInstance = instance;
  wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  wc.lpszClassName = kHostClass;
  if (!RegisterClassW(&wc)) return nullptr;
  const DWORD style = WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN;
  RECT r{0, 0, 950, 592};
  AdjustWindowRectEx(&r, style, FALSE, 0);
  return CreateWindowExW(0, kHostClass, L"Bench browser host", style, CW_USEDEFAULT, CW_USEDEFAULT, r.right - r.left,
                         r.bottom - r.top, nullptr, nullptr, instance, nullptr);
}
#endif

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
#if defined(BENCH_WITH_BROWSER)
  // As the application object does: OLE for the control, COM for the rest.
  const bool ole = SUCCEEDED(OleInitialize(nullptr));
#endif
  HWND bar = CreateBar(instance);
  if (!bar) return 1;
#if defined(BENCH_WITH_BROWSER)
  HWND host = CreateBrowserHost(instance);
  if (!host) return 1;
  std::unique_ptr<tk::TWebBrowser> browser;
  try {
    browser = std::make_unique<tk::TWebBrowser>(nullptr);
    browser->SetBounds(0, 48, 953, 545);
    browser->CreateWindowIn(host);
  } catch (...) {
    return 1;
  }
#endif
#if defined(BENCH_WITH_TIMERS)
#if defined(BENCH_WITH_DOT)
  bar_dc = GetDC(bar);
#endif
  // As the bar's blink, counting from the window's creation.
  if (!SetTimer(nullptr, 0, kBlinkMs, &BlinkTick)) return 1;
#endif
  ShowWindow(bar, SW_SHOWNORMAL);
  UpdateWindow(bar);

  MSG msg;
  while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
#if defined(BENCH_WITH_BROWSER)
  browser.reset();
  DestroyWindow(host);
  if (ole) OleUninitialize();
#endif
  return 0;
}
