#pragma once
// A message timer whose events run on the GUI thread. Each timer has a small hidden window of
// its own, so it can count before its form's window exists. The system keeps at most one
// WM_TIMER waiting, so missed events are not made up.
#include <windows.h>

#include "toolkit/classes.h"
#include "toolkit/window_base.h"

namespace tk {

class TTimer : public TComponent, private WindowBase {
 public:
  TTimer(UINT interval_ms, bool enabled, TNotifyEvent on_timer);
  ~TTimer() override;

  bool Enabled() const { return enabled_; }
  // Switching on starts a fresh count; switching to the state it has changes nothing.
  // Throws "Not enough timers available" when the system refuses; the timer then counts as on.
  void SetEnabled(bool enabled);
  UINT Interval() const { return interval_; }

  TNotifyEvent OnTimer;

  // Whether the system timer really runs (false after a refused SetTimer).
  bool Running() const { return running_; }

  // The call that asks the system for a timer; tests put one in that refuses.
  using SetTimerFunction = UINT_PTR(WINAPI*)(HWND, UINT_PTR, UINT, TIMERPROC);
  static SetTimerFunction set_timer;

 private:
  LRESULT HandleMessage(UINT msg, WPARAM wp, LPARAM lp) override;
  void Update();

  UINT interval_;
  bool enabled_ = false;
  bool running_ = false;
};

}  // namespace tk
