#include "toolkit/timer.h"

#include <unordered_map>

#include "toolkit/application.h"
#include "toolkit/exception.h"

namespace tk {
namespace {

// The running timers by the id the system gave them. Everything runs on the GUI thread.
std::unordered_map<UINT_PTR, TTimer*>& RunningTimers() {
  static std::unordered_map<UINT_PTR, TTimer*> timers;
  return timers;
}

}  // namespace

TTimer::SetTimerFunction TTimer::SetTimerCall = &::SetTimer;

TTimer::TTimer(UINT interval_ms, bool enabled, TNotifyEvent on_timer)
    : OnTimer(std::move(on_timer)), interval_(interval_ms) {
  SetEnabled(enabled);
}

TTimer::~TTimer() { Stop(); }

void TTimer::SetEnabled(bool enabled) {
  if (enabled == enabled_) return;
  enabled_ = enabled;
  Update();
}

void TTimer::Stop() {
  if (!id_) return;
  KillTimer(nullptr, id_);
  RunningTimers().erase(id_);
  id_ = 0;
}

void TTimer::Update() {
  Stop();
  if (enabled_ && interval_ != 0 && OnTimer) {
    const UINT_PTR id = SetTimerCall(nullptr, 0, interval_, &TTimer::TimerProc);
    if (!id) throw Exception(L"Not enough timers available");
    id_ = id;
    RunningTimers()[id] = this;
  }
}

void CALLBACK TTimer::TimerProc(HWND, UINT, UINT_PTR id, DWORD) {
  const auto found = RunningTimers().find(id);
  if (found == RunningTimers().end()) return;
  TTimer* timer = found->second;
  try {
    if (timer->enabled_ && timer->OnTimer) timer->OnTimer(timer);
  } catch (...) {
    ReportException();
  }
}

}  // namespace tk
