#include "toolkit/timer.h"

#include <unordered_map>
#include <vector>

#include "toolkit/application.h"
#include "toolkit/exception.h"

namespace tk {
namespace {

// The running timers by the id the system gave them. Everything runs on the GUI thread.
std::unordered_map<UINT_PTR, TTimer*>& RunningTimers() {
  static std::unordered_map<UINT_PTR, TTimer*> timers;
  return timers;
}

// System timers of timers switched off during an event, kept until the event ends: a timer
// switched on meanwhile takes one over (SetTimer with its id restarts it), one call where a
// stop and a start would be two. The blink's handlers switch one timer off and the other on.
std::vector<UINT_PTR>& SpareIds() {
  static std::vector<UINT_PTR> ids;
  return ids;
}
int events_running = 0;
// The system timer whose event runs now, and its period. It has just fired, so it already
// counts a fresh period from now: a timer of the same period that takes it over needs no call.
UINT_PTR firing_id = 0;
UINT firing_interval = 0;

void KillSpareTimers() {
  for (UINT_PTR id : SpareIds()) KillTimer(nullptr, id);
  SpareIds().clear();
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
  RunningTimers().erase(id_);
  if (events_running > 0) {
    SpareIds().push_back(id_);
  } else {
    KillTimer(nullptr, id_);
  }
  id_ = 0;
}

void TTimer::Update() {
  Stop();
  if (enabled_ && interval_ != 0 && OnTimer) {
    UINT_PTR spare = 0;
    if (!SpareIds().empty()) {
      spare = SpareIds().back();
      SpareIds().pop_back();
    }
    const UINT_PTR id = spare && spare == firing_id && interval_ == firing_interval
                            ? spare
                            : SetTimerCall(nullptr, spare, interval_, &TTimer::TimerProc);
    if (!id) {
      if (spare) KillTimer(nullptr, spare);
      throw Exception(L"Not enough timers available");
    }
    id_ = id;
    RunningTimers()[id] = this;
  }
}

void CALLBACK TTimer::TimerProc(HWND, UINT, UINT_PTR id, DWORD) {
  const auto found = RunningTimers().find(id);
  if (found == RunningTimers().end()) return;
  TTimer* timer = found->second;
  ++events_running;
  const UINT_PTR outer_id = firing_id;
  const UINT outer_interval = firing_interval;
  firing_id = id;
  firing_interval = timer->interval_;
  try {
    if (timer->enabled_ && timer->OnTimer) timer->OnTimer(timer);
  } catch (...) {
    ReportException();
  }
  firing_id = outer_id;
  firing_interval = outer_interval;
  --events_running;
  // What no timer took over stops now.
  KillSpareTimers();
}

}  // namespace tk
