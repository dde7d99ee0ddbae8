#include "toolkit/timer.h"

#include "toolkit/application.h"
#include "toolkit/exception.h"

namespace tk {
namespace {

constexpr wchar_t kTimerWindowClass[] = L"TTimerWindow";
constexpr UINT_PTR kTimerId = 1;

}  // namespace

TTimer::SetTimerFunction TTimer::set_timer = &::SetTimer;

TTimer::TTimer(UINT interval_ms, bool enabled, TNotifyEvent on_timer)
    : OnTimer(std::move(on_timer)), interval_(interval_ms) {
  CreateBoundWindow({kTimerWindowClass}, 0, L"", 0, 0, 0, 0, 0, HWND_MESSAGE);
  SetEnabled(enabled);
}

TTimer::~TTimer() {
  if (running_) KillTimer(Window(), kTimerId);
  DestroyBoundWindow();
}

void TTimer::SetEnabled(bool enabled) {
  if (enabled == enabled_) return;
  enabled_ = enabled;
  Update();
}

void TTimer::Update() {
  if (running_) {
    KillTimer(Window(), kTimerId);
    running_ = false;
  }
  if (enabled_ && interval_ != 0 && OnTimer) {
    if (!set_timer(Window(), kTimerId, interval_, nullptr)) throw Exception(L"Not enough timers available");
    running_ = true;
  }
}

LRESULT TTimer::HandleMessage(UINT msg, WPARAM wp, LPARAM lp) {
  if (msg != WM_TIMER) return WindowBase::HandleMessage(msg, wp, lp);
  if (enabled_ && OnTimer) OnTimer(this);
  return 0;
}

}  // namespace tk
