#include "toolkit/timer.h"

#include "toolkit/application.h"
#include "toolkit/exception.h"

namespace tk {
namespace {

constexpr wchar_t kTimerWindowClass[] = L"TTimerWindow";
constexpr UINT_PTR kTimerId = 1;

void RegisterTimerClass() {
  static bool registered = false;
  if (registered) return;
  WNDCLASSW wc{};
  wc.lpfnWndProc = DefWindowProcW;
  wc.hInstance = GetModuleHandleW(nullptr);
  wc.lpszClassName = kTimerWindowClass;
  RegisterClassW(&wc);
  registered = true;
}

}  // namespace

TTimer::SetTimerFunction TTimer::set_timer = &::SetTimer;

TTimer::TTimer(UINT interval_ms, bool enabled, TNotifyEvent on_timer)
    : OnTimer(std::move(on_timer)), interval_(interval_ms) {
  RegisterTimerClass();
  window_.reset(CreateWindowExW(0, kTimerWindowClass, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                GetModuleHandleW(nullptr), nullptr));
  SetWindowLongPtrW(window_.get(), GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
  SetWindowLongPtrW(window_.get(), GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&TTimer::WindowProc));
  SetEnabled(enabled);
}

TTimer::~TTimer() {
  if (running_) KillTimer(window_.get(), kTimerId);
}

void TTimer::SetEnabled(bool enabled) {
  if (enabled == enabled_) return;
  enabled_ = enabled;
  Update();
}

void TTimer::Update() {
  if (running_) {
    KillTimer(window_.get(), kTimerId);
    running_ = false;
  }
  if (enabled_ && interval_ != 0 && OnTimer) {
    if (!set_timer(window_.get(), kTimerId, interval_, nullptr)) throw Exception(L"Not enough timers available");
    running_ = true;
  }
}

LRESULT CALLBACK TTimer::WindowProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  auto* timer = reinterpret_cast<TTimer*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
  if (msg == WM_TIMER && timer) {
    try {
      if (timer->enabled_ && timer->OnTimer) timer->OnTimer(timer);
    } catch (...) {
      Application->HandleException();
    }
    return 0;
  }
  return DefWindowProcW(hwnd, msg, wp, lp);
}

}  // namespace tk
